// The output folder of one run. The folder is the user's: the run writes its
// files into a staging folder inside it and moves them into place only when
// the whole run has succeeded; it replaces only files that an earlier run of
// this tool wrote there (named, with their size and time, in the manifest
// beside the report, and unchanged since); it refuses to overwrite any other
// file unless told to, and it removes nothing it did not write in this run.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace zelvan::render {

class OutputFolder {
 public:
  static constexpr const char* kManifest = "zelvan-render-manifest.json";

  // Creates the folder when missing (a run that fails removes it again).
  // Throws UsageError naming --out: a file, or a folder that cannot be made
  // or written.
  OutputFolder(const std::string& dir, bool overwrite);
  // Uncommitted: the staging folder goes, and the folder too if this run made it.
  ~OutputFolder();
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  // Before anything renders: the names this run will write. Throws
  // UsageError for a name that holds a file this tool did not write (unless
  // overwrite) or one of the input files (always).
  void Claim(const std::vector<std::string>& names, const std::vector<std::string>& inputs);

  // Where a file of that name is written before Commit().
  std::string Path(const std::string& name) const;
  // Records a finished file to move into place.
  void Add(const std::string& name);
  void WriteText(const std::string& name, const std::string& text);
  // Moves every finished file into place, each rename replacing the old file
  // whole, and the manifest last. Ctrl-C and SIGTERM wait until it is done.
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
  static bool Stat(const std::string& path, Entry* entry);

  std::string out_dir_;
  std::string stage_;
  bool overwrite_ = false;
  bool created_dir_ = false;
  bool committed_ = false;
  bool manifest_foreign_ = false;  // a file of the manifest's name that is not ours
  std::map<std::string, Entry> previous_;  // the earlier run's manifest
  std::vector<std::string> names_;
};

}  // namespace zelvan::render
