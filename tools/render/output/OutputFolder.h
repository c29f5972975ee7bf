// The output folder of one run. The folder is the user's: the run holds it
// (a lock file inside, so that a second run into it stops at once), writes
// its files into a staging folder inside it and moves them into place only
// when the whole run has succeeded; it replaces only files that an earlier
// run of this tool wrote there (named, with their size and time, in the
// manifest beside the report, and unchanged since) and only as the run found
// them at its start; it refuses to overwrite any other file unless told to,
// and it removes nothing it did not write in this run.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "InTheWay.h"
#include "OutputNames.h"
#include "OutputPlace.h"

namespace zelvan::render {

class OutputFolder {
 public:
  static constexpr const char* kManifest = names::kManifest;
  static constexpr const char* kLock = names::kLock;

  // Creates the folder and its missing parents (a run that fails removes
  // those again) and locks it. Throws UsageError naming --out for a file or
  // a folder another run is writing, WriteError for one that cannot be made
  // or written.
  OutputFolder(const std::string& dir, bool overwrite);
  // Uncommitted: the staging folder goes, and the folders this run made.
  ~OutputFolder();
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  // Before anything renders: the names this run will write. Throws
  // UsageError for a name the rule of InTheWay.h refuses: one of the input
  // files, something not a file, a file or link this tool did not write or
  // one that changed since it did (unless overwrite). What each name holds
  // now is what Commit() may replace.
  void Claim(const std::vector<std::string>& names, const std::vector<std::string>& inputs);

  // Where a file of that name is written before Commit().
  std::string Path(const std::string& name) const;
  // The same file as the user will see it once in place, for messages.
  std::string Shown(const std::string& name) const;
  // Records a finished file to move into place.
  void Add(const std::string& name);
  // Writes a whole text file; throws WriteError.
  void WriteText(const std::string& name, const std::string& text);
  // Moves every finished file into place, each move replacing the old file
  // whole, and the manifest last. A file that appeared or changed since
  // Claim() is left alone: nothing moves and it throws UsageError. A move
  // that fails puts back the ones before it and throws WriteError. Ctrl-C
  // and SIGTERM wait until it is done.
  void Commit();

  // Files that earlier runs wrote and this one did not replace: they stay,
  // listed in the manifest so that a later run may replace them.
  std::vector<std::string> kept() const;
  // Staging folders that runs killed outright left in the folder.
  std::vector<std::string> abandoned_staging() const;
  const std::string& dir() const { return out_dir_; }

 private:
  struct Entry {
    std::uintmax_t size = 0;
    int64_t mtime_ns = 0;
  };
  // True when the file is one an earlier run wrote and nobody changed since.
  bool Ours(const std::string& name) const;
  // What the earlier run's manifest says of the name.
  WrittenBefore Written(const std::string& name) const;
  void ReadManifest();
  static bool Stat(const std::string& path, Entry* entry);
  void Lock();
  // What the name held at Claim(), nothing when it was not claimed.
  std::optional<FileSeen> Claimed(const std::string& name) const;
  // The staging folder and the lock (made_ removes the folders this run
  // made, unless it succeeded).
  void Release() noexcept;

  std::string out_dir_;
  std::string stage_;
  bool overwrite_ = false;
  MadeFolders made_;  // kept once the run has committed
  int lock_fd_ = -1;
  bool manifest_foreign_ = false;  // a file of the manifest's name that is not ours
  std::map<std::string, Entry> previous_;  // the earlier run's manifest
  std::map<std::string, std::optional<FileSeen>> claimed_;  // what each name held at Claim()
  std::vector<std::string> names_;
};

}  // namespace zelvan::render
