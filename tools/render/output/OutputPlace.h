// What the output folder and the output movie share in putting their files
// where the user asked: the folders a run makes for them (and removes again
// when it fails), what a path held when the run looked, the moves into place
// (all or none, made durable), and the files runs that were killed outright
// left behind.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "OutputFile.h"
#include "UsageError.h"

namespace zelvan::render {

// What a path held: compared whole, so a file replaced by another of the
// same size and time differs too.
struct FileSeen {
  std::uintmax_t size = 0;
  int64_t mtime_ns = 0;
  dev_t dev = 0;
  ino_t ino = 0;
  mode_t mode = 0;
  bool operator==(const FileSeen& o) const {
    return size == o.size && mtime_ns == o.mtime_ns && dev == o.dev && ino == o.ino && mode == o.mode;
  }
  bool operator!=(const FileSeen& o) const { return !(*this == o); }
};
// The path itself (a link is not followed); nothing when there is none.
std::optional<FileSeen> LookAt(const std::string& path);

// Throws UsageError when `path` holds something other than what the run
// found there at its start (`claimed`: nothing, or that file); a path that
// holds nothing now is fine.
void CheckUnchanged(const std::string& path, const std::optional<FileSeen>& claimed);

// A finished file moved into place, and how, to put it back.
struct Placed {
  std::string from, to;
  enum How { kAdded, kExchanged, kReplaced } how;  // exchanged: the file it replaced is at `from`
};
// Moves the finished file `from` to `to`, replacing what is there whole and
// only while it is what `claimed` says, never a file that appears at this
// very moment. Throws UsageError for a file that appeared or changed (it is
// kept), WriteError for a move that failed.
Placed MoveIntoPlace(const std::string& from, const std::string& to, const std::optional<FileSeen>& claimed);
// Undoes the move (a file replaced where the file system cannot exchange
// two files stays replaced).
void PutBack(const Placed& placed);

// A finished file, where it goes, and what that held when the run claimed it.
struct Move {
  std::string from, to;
  std::optional<FileSeen> claimed;
};
// Moves every file into place in order, then puts the moves on the device
// (the folder `dir` synced): all of them, or, when one fails, none: those
// that moved are put back, the last first, and it rethrows.
std::vector<Placed> PlaceAll(const std::vector<Move>& moves, const std::string& dir);

// "--out OUT: ACTION: CAUSE. Fix: FIX" for a system error met preparing the
// output: an output that cannot be written, as a failed write later is.
WriteError CannotWrite(const std::string& out, const std::string& action, int error);

// The folders a run made for its output: removed again (they are empty by
// then) unless the run succeeded and keeps them.
class MadeFolders {
 public:
  MadeFolders() = default;
  ~MadeFolders();
  MadeFolders(const MadeFolders&) = delete;
  MadeFolders& operator=(const MadeFolders&) = delete;

  // Makes `dir` and its missing parents, one by one from the outermost, so
  // that exactly those are removed. Throws UsageError naming --out `out`
  // when a file stands where a folder must, WriteError when one cannot be
  // made.
  void Make(const std::string& dir, const std::string& out);
  void Keep() { made_.clear(); }

 private:
  std::vector<std::string> made_;  // outermost first
};

// Entries of `dir` named `prefix` and a process id, left by runs that were
// killed outright (their process is gone), `own` aside.
std::vector<std::string> LeftByKilledRuns(const std::string& dir, const std::string& prefix, const std::string& own);

// The folder's entries (files moved in, removed) on the device; throws
// WriteError naming it.
void SyncFolder(const std::string& dir);

}  // namespace zelvan::render
