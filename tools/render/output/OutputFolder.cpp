#include "OutputFolder.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>

#include "Json.h"
#include "OutputFile.h"
#include "StopSignals.h"

namespace zelvan::render {
namespace fs = std::filesystem;

namespace {

Json ManifestEntry(const std::string& name, std::uintmax_t size, int64_t mtime_ns) {
  return Json{{"name", name}, {"size", size}, {"mtime_ns", mtime_ns}};
}

// The process id a lock file holds, "" when it holds none.
std::string LockHolder(int fd) {
  char text[32] = {};
  const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  std::string pid(text, n > 0 ? static_cast<std::size_t>(n) : 0);
  pid = pid.substr(0, pid.find_first_not_of("0123456789"));
  return pid;
}

}  // namespace

bool OutputFolder::Stat(const std::string& path, Entry* entry) {
  const std::optional<FileSeen> seen = LookAt(path);
  if (!seen || !S_ISREG(seen->mode)) return false;
  entry->size = seen->size;
  entry->mtime_ns = seen->mtime_ns;
  return true;
}

OutputFolder::OutputFolder(const std::string& dir, bool overwrite) : out_dir_(dir), overwrite_(overwrite) {
  std::error_code ec;
  const fs::file_status status = fs::status(out_dir_, ec);
  if (fs::exists(status) && !fs::is_directory(status)) {
    throw UsageError("--out " + out_dir_, "is a file, not a folder", "give a folder path (it is created when missing)");
  }
  try {
    if (!fs::exists(status)) made_.Make(out_dir_, out_dir_);
    Lock();
    stage_ = (fs::path(out_dir_) / (names::kStagingPrefix + std::to_string(::getpid()))).string();
    fs::remove_all(stage_, ec);  // only a run of this very process id could have made it
    if (::mkdir(stage_.c_str(), 0777) != 0) {
      const int error = errno;
      stage_.clear();
      throw CannotWrite(out_dir_, "cannot be written", error);
    }
  } catch (...) {
    Release();
    throw;
  }
  ReadManifest();
}

void OutputFolder::ReadManifest() {
  // The earlier run's manifest: what it wrote, with size and time. Only a
  // file is the tool's own (never read through a link).
  const fs::path manifest = fs::path(out_dir_) / kManifest;
  const std::optional<FileSeen> seen = LookAt(manifest.string());
  if (!seen) return;
  manifest_foreign_ = true;
  if (S_ISREG(seen->mode)) {
    try {
      std::ifstream in(manifest, std::ios::binary);
      const Json j = Json::parse(in);
      if (j.is_object() && j.value("written_by", "") == "zelvan-render" && j.contains("files") && j["files"].is_array()) {
        for (const Json& f : j["files"]) {
          const std::string name = f.at("name").get<std::string>();
          // Only plain names inside the folder.
          if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") continue;
          previous_[name] = Entry{f.at("size").get<std::uintmax_t>(), f.at("mtime_ns").get<int64_t>()};
        }
        manifest_foreign_ = false;
      }
    } catch (const Json::exception&) {
      previous_.clear();
    }
  }
}

void OutputFolder::Lock() {
  const std::string lock = (fs::path(out_dir_) / kLock).string();
  while (true) {
    const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) throw CannotWrite(out_dir_, "cannot be written", errno);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK) {
        // A file system without locks: the run goes on unguarded.
        lock_fd_ = fd;
        break;
      }
      const std::string pid = LockHolder(fd);
      ::close(fd);
      throw UsageError(out_dir_,
                       "another zelvan-render run" + (pid.empty() ? std::string() : " (process " + pid + ")") +
                           " is writing into this folder",
                       "wait until it ends, or give --out another folder");
    }
    // The run before may have removed the file between our open and our
    // lock: then the lock is on a file nobody else will find.
    struct stat held {}, now {};
    if (::fstat(fd, &held) == 0 && ::stat(lock.c_str(), &now) == 0 && held.st_dev == now.st_dev &&
        held.st_ino == now.st_ino) {
      lock_fd_ = fd;
      break;
    }
    ::close(fd);
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(lock_fd_, 0) != 0 || ::pwrite(lock_fd_, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
    throw CannotWrite(out_dir_, "cannot be written", errno);
  }
}

void OutputFolder::Release() noexcept {
  std::error_code ec;
  if (!stage_.empty()) fs::remove_all(stage_, ec);
  if (lock_fd_ >= 0) {
    // Removed while still held: a run that opened it meanwhile sees it gone.
    ::unlink((fs::path(out_dir_) / kLock).c_str());
    ::close(lock_fd_);
    lock_fd_ = -1;
  }
}

OutputFolder::~OutputFolder() { Release(); }

bool OutputFolder::Ours(const std::string& name) const {
  const auto it = previous_.find(name);
  Entry now;
  return it != previous_.end() && Stat(Shown(name), &now) && now.size == it->second.size &&
         now.mtime_ns == it->second.mtime_ns;
}

WrittenBefore OutputFolder::Written(const std::string& name) const {
  if (name == kManifest) return manifest_foreign_ ? WrittenBefore::kNo : WrittenBefore::kUnchanged;
  if (Ours(name)) return WrittenBefore::kUnchanged;
  // A file the manifest lists was ours until someone changed it.
  return previous_.count(name) != 0 ? WrittenBefore::kChanged : WrittenBefore::kNo;
}

void OutputFolder::Claim(const std::vector<std::string>& names, const std::vector<std::string>& inputs) {
  std::vector<std::pair<std::string, InTheWay>> replaceable;  // with --overwrite
  std::vector<std::string> all = names;
  all.push_back(kManifest);
  for (const std::string& name : all) {
    const std::string shown = Shown(name);
    const std::optional<FileSeen> seen = LookAt(shown);
    claimed_[name] = seen;
    const InTheWay what = Judge(shown, seen, inputs, Written(name), overwrite_);
    if (what == InTheWay::kNothing) continue;
    if (!OverwriteLifts(what)) throw Refusal(what, Destination::kFolder, shown);
    replaceable.emplace_back(name, what);
  }
  if (!replaceable.empty()) {
    const auto& [first, what] = replaceable.front();
    const std::string more = replaceable.size() > 1 ? " and " + std::to_string(replaceable.size() - 1) +
                                                          " more of the files this run writes"
                                                    : "";
    throw Refusal(what, Destination::kFolder, Shown(first), more);
  }
}

std::string OutputFolder::Path(const std::string& name) const { return (fs::path(stage_) / name).string(); }

std::string OutputFolder::Shown(const std::string& name) const { return (fs::path(out_dir_) / name).string(); }

void OutputFolder::Add(const std::string& name) { names_.push_back(name); }

void OutputFolder::WriteText(const std::string& name, const std::string& text) {
  OutputFile file(Path(name), Shown(name));
  file.Write(text);
  file.Close();
  Add(name);
}

std::optional<FileSeen> OutputFolder::Claimed(const std::string& name) const {
  const auto it = claimed_.find(name);
  return it != claimed_.end() ? it->second : std::nullopt;
}

void OutputFolder::Commit() {
  const HoldStopSignals hold;
  // A file the user wrote or changed while the run rendered stays, and so
  // does everything else: nothing moves.
  for (const std::string& name : names_) CheckUnchanged(Shown(name), Claimed(name));
  CheckUnchanged(Shown(kManifest), Claimed(kManifest));

  Json files = Json::array();
  for (const std::string& name : names_) {
    Entry e;
    if (!Stat(Path(name), &e)) throw std::runtime_error(Shown(name) + ": missing before it could be moved into place");
    files.push_back(ManifestEntry(name, e.size, e.mtime_ns));
  }
  for (const std::string& name : kept()) {
    const Entry& e = previous_.at(name);
    files.push_back(ManifestEntry(name, e.size, e.mtime_ns));
  }
  const Json manifest{{"written_by", "zelvan-render"},
                      {"note", "files this tool wrote here; a later run replaces only these, and only unchanged"},
                      {"files", files}};
  {
    OutputFile file(Path(kManifest), Shown(kManifest));
    file.Write(manifest.dump(2) + "\n");
    file.Close();
  }

  auto move = [this](const std::string& name) { return Move{Path(name), Shown(name), Claimed(name)}; };
  std::vector<Move> moves;
  for (const std::string& name : names_) moves.push_back(move(name));
  moves.push_back(move(kManifest));
  PlaceAll(moves, out_dir_);
  made_.Keep();
  names_.push_back(kManifest);
}

std::vector<std::string> OutputFolder::kept() const {
  std::set<std::string> written(names_.begin(), names_.end());
  std::vector<std::string> out;
  for (const auto& [name, entry] : previous_) {
    if (!written.count(name) && name != kManifest && Ours(name)) out.push_back(name);
  }
  return out;
}

std::vector<std::string> OutputFolder::abandoned_staging() const {
  return LeftByKilledRuns(out_dir_, names::kStagingPrefix, stage_);
}

}  // namespace zelvan::render
