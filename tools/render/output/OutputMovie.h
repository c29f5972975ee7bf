// The movie file of one run. The file is the user's: the run writes the
// movie under a hidden name beside it (.NAME.zelvan-render.PID) and moves it
// into place only when the whole run has succeeded. It refuses to replace a
// file or link that is there unless told to, and then only as the run found
// it (the link itself, never what it points to); it never replaces the
// footage it reads. A run that fails or is stopped leaves
// no file, and removes the folders it made for the movie.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "OutputPlace.h"

namespace zelvan::render {

class OutputMovie {
 public:
  // Makes the missing folders and the hidden file. Throws UsageError naming
  // --out: what the rule of InTheWay.h refuses (a folder of that name, the
  // footage, something not a file, a file or link there unless overwrite), a
  // parent that is a file; WriteError for a folder that cannot be written.
  OutputMovie(const std::string& path, bool overwrite, const std::vector<std::string>& inputs);
  // Uncommitted: the hidden file goes, and the folders this run made.
  ~OutputMovie();
  OutputMovie(const OutputMovie&) = delete;
  OutputMovie& operator=(const OutputMovie&) = delete;

  // Where the movie is written before Commit().
  const std::string& temp() const { return temp_; }
  // The movie as the user will see it.
  const std::string& path() const { return path_; }
  // Moves the finished movie into place. A file that appeared or changed
  // there since the run began is kept: UsageError. A failed move throws
  // WriteError and leaves the place as it was. Ctrl-C and SIGTERM wait until
  // it is done.
  void Commit();

  // Hidden files that runs killed outright left beside the movie.
  std::vector<std::string> abandoned() const;

 private:
  std::string path_;
  std::string temp_;
  std::string prefix_;               // the hidden name before the process id
  std::optional<FileSeen> claimed_;  // what the path held at the start
  MadeFolders made_;
  bool committed_ = false;
};

}  // namespace zelvan::render
