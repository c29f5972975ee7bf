#include "OutputPlace.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "OutputFile.h"

namespace zelvan::render {
namespace fs = std::filesystem;

std::optional<FileSeen> LookAt(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
  const int64_t mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return FileSeen{static_cast<std::uintmax_t>(st.st_size), mtime_ns, st.st_dev, st.st_ino, st.st_mode};
}

namespace {

[[noreturn]] void Changed(const std::string& path, bool appeared) {
  throw UsageError(
      path,
      std::string(appeared ? "appeared" : "changed") +
          " while this run was rendering; it is kept as it is and nothing of this run was moved into place",
      "move the file away and run again, or choose another --out");
}

}  // namespace

void CheckUnchanged(const std::string& path, const std::optional<FileSeen>& claimed) {
  const std::optional<FileSeen> now = LookAt(path);
  if (!now || (claimed && *now == *claimed)) return;
  Changed(path, !claimed);
}

Placed MoveIntoPlace(const std::string& from, const std::string& to, const std::optional<FileSeen>& claimed) {
  if (!LookAt(to)) {
    // Never over a file that appears at this very moment.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
      return {from, to, Placed::kAdded};
    if (errno == EEXIST) Changed(to, true);
    if (errno != EINVAL && errno != ENOSYS) throw WriteError(to, errno, "cannot be moved into place");
  } else {
    CheckUnchanged(to, claimed);
    // Swapped, so that the file that left can be checked and put back.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) {
      const std::optional<FileSeen> left = LookAt(from);
      if (left && claimed && *left == *claimed) return {from, to, Placed::kExchanged};
      ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE);
      Changed(to, false);
    }
    if (errno != EINVAL && errno != ENOSYS) throw WriteError(to, errno, "cannot be moved into place");
  }
  // A file system without these moves: the check just made has to do.
  const bool replaces = LookAt(to).has_value();
  if (::rename(from.c_str(), to.c_str()) != 0) throw WriteError(to, errno, "cannot be moved into place");
  return {from, to, replaces ? Placed::kReplaced : Placed::kAdded};
}

void PutBack(const Placed& placed) {
  const char* from = placed.from.c_str();
  const char* to = placed.to.c_str();
  if (placed.how == Placed::kAdded) ::rename(to, from);
  if (placed.how == Placed::kExchanged) ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE);
}

std::vector<Placed> PlaceAll(const std::vector<Move>& moves, const std::string& dir) {
  std::vector<Placed> done;
  try {
    for (const Move& m : moves) done.push_back(MoveIntoPlace(m.from, m.to, m.claimed));
    // The moves themselves on the device before the run says it is done.
    SyncFolder(dir);
  } catch (...) {
    for (auto it = done.rbegin(); it != done.rend(); ++it) PutBack(*it);
    throw;
  }
  return done;
}

WriteError CannotWrite(const std::string& out, const std::string& action, int error) {
  return WriteError("--out " + out, error, action);
}

void MadeFolders::Make(const std::string& dir, const std::string& out) {
  std::error_code ec;
  fs::path target(dir);
  if (target.filename().empty()) target = target.parent_path();  // "a/b/" names b
  std::vector<fs::path> missing;
  for (fs::path p = target; !p.empty(); p = p.parent_path()) {
    if (fs::exists(fs::symlink_status(p, ec))) {
      // The nearest that is there holds the rest: a file cannot.
      if (!fs::is_directory(p, ec)) {
        throw UsageError("--out " + out, p.string() + " is a file, not a folder", "give --out a path inside a folder");
      }
      break;
    }
    missing.push_back(p);
    if (p == p.parent_path()) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0777) == 0) {
      made_.push_back(it->string());
    } else if (errno != EEXIST) {
      throw CannotWrite(out, "cannot be created", errno);
    }
  }
}

MadeFolders::~MadeFolders() {
  for (auto it = made_.rbegin(); it != made_.rend(); ++it) ::rmdir(it->c_str());
}

std::vector<std::string> LeftByKilledRuns(const std::string& dir, const std::string& prefix, const std::string& own) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir.empty() ? "." : dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) != 0 || entry.path().filename() == fs::path(own).filename()) continue;
    const std::string pid = name.substr(prefix.size());
    // A run still going (another process writing here) has not left it.
    if (!pid.empty() && pid.find_first_not_of("0123456789") == std::string::npos && pid.size() < 10 &&
        ::kill(static_cast<pid_t>(std::stol(pid)), 0) == 0) {
      continue;
    }
    out.push_back(entry.path().string());
  }
  return out;
}

void SyncFolder(const std::string& dir) {
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 || (::fsync(fd) != 0 && errno != EINVAL)) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    throw WriteError(dir, error, "cannot be updated");
  }
  ::close(fd);
}

}  // namespace zelvan::render
