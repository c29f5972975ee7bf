#include "OutputMovie.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "OutputFile.h"
#include "StopSignals.h"

namespace zelvan::render {
namespace fs = std::filesystem;

OutputMovie::OutputMovie(const std::string& path, bool overwrite, const std::vector<std::string>& inputs)
    : path_(path) {
  const fs::path p(path);
  std::error_code ec;
  if (fs::is_directory(p, ec)) {
    throw UsageError("--out " + path, "is a folder",
                     "name a movie file, or write frames into that folder with --out " + path + "/");
  }
  claimed_ = LookAt(path);
  if (claimed_) {
    for (const std::string& input : inputs) {
      if (fs::equivalent(p, input, ec)) {
        throw UsageError(path, "is footage this run reads", "give --out another file name");
      }
    }
    if (!S_ISREG(claimed_->mode) && !S_ISLNK(claimed_->mode)) {
      throw UsageError(path, "is in the way and is not a file", "give --out another file name, or move it away");
    }
    if (!overwrite) {
      throw UsageError(path, "exists",
                       "give --out another file name, move the file away, or pass --overwrite (-y) to replace it");
    }
  }
  const fs::path dir = p.parent_path();
  if (!dir.empty()) {
    if (fs::exists(dir, ec) && !fs::is_directory(dir, ec)) {
      throw UsageError("--out " + path, dir.string() + " is a file, not a folder", "give a movie path inside a folder");
    }
    made_.Make(dir.string(), path);
  }
  prefix_ = "." + p.filename().string() + ".zelvan-render.";
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
  const Placed placed = MoveIntoPlace(temp_, path_, claimed_);
  try {
    // The move itself on the device before the run says it is done.
    SyncFolder(fs::path(path_).parent_path().string());
  } catch (...) {
    PutBack(placed);
    throw;
  }
  committed_ = true;
  made_.Keep();
  // The file it replaced.
  if (placed.how == Placed::kExchanged) ::unlink(temp_.c_str());
}

std::vector<std::string> OutputMovie::abandoned() const {
  return LeftByKilledRuns(fs::path(path_).parent_path().string(), prefix_, temp_);
}

}  // namespace zelvan::render
