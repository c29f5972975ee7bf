#include "OutputMovie.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "InTheWay.h"
#include "OutputFile.h"
#include "OutputNames.h"
#include "StopSignals.h"

namespace zelvan::render {
namespace fs = std::filesystem;

OutputMovie::OutputMovie(const std::string& path, bool overwrite, const std::vector<std::string>& inputs)
    : path_(path) {
  const fs::path p(path);
  std::error_code ec;
  claimed_ = LookAt(path);
  const InTheWay what = Judge(path, claimed_, inputs, WrittenBefore::kNo, overwrite);
  if (what != InTheWay::kNothing) throw Refusal(what, Destination::kMovie, path);
  const fs::path dir = p.parent_path();
  if (!dir.empty()) {
    if (fs::exists(dir, ec) && !fs::is_directory(dir, ec)) {
      throw UsageError("--out " + path, dir.string() + " is a file, not a folder", "give a movie path inside a folder");
    }
    made_.Make(dir.string(), path);
  }
  prefix_ = names::MovieTempPrefix(p.filename().string());
  temp_ = (dir / (prefix_ + std::to_string(::getpid()))).string();
  ::unlink(temp_.c_str());  // only a run of this very process id could have made it
  const int fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) {
    const int error = errno;
    temp_.clear();
    throw CannotWrite(path, "cannot be written", error);
  }
  ::close(fd);
}

OutputMovie::~OutputMovie() {
  if (!committed_ && !temp_.empty()) ::unlink(temp_.c_str());
}

void OutputMovie::Commit() {
  const HoldStopSignals hold;
  const std::vector<Placed> placed = PlaceAll({Move{temp_, path_, claimed_}}, fs::path(path_).parent_path().string());
  committed_ = true;
  made_.Keep();
  // The file it replaced.
  if (placed.front().how == Placed::kExchanged) ::unlink(temp_.c_str());
}

std::vector<std::string> OutputMovie::abandoned() const {
  return LeftByKilledRuns(fs::path(path_).parent_path().string(), prefix_, temp_);
}

}  // namespace zelvan::render
