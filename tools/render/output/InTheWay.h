// What stands where a run is to put a file, and the one rule for it, for a
// file of the output folder and for the movie alike. The path is looked at
// itself: a symbolic link is a file in the way like any other and is never
// followed, so that --overwrite replaces the link and never the file it
// points to. In order:
// - the footage the run reads (a link to it too) is never replaced;
// - a folder, or anything else that is neither a file nor a link, is in the way;
// - a file the tool wrote there and nobody changed since is replaced;
// - any other file or link is replaced only with --overwrite (-y).
// A refusal's words come from the row of what is in the way, in the column
// of where the file goes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "OutputPlace.h"
#include "UsageError.h"

namespace zelvan::render {

enum class InTheWay {
  kNothing,  // nothing there, or something the run may replace
  kFootage,
  kFolder,
  kNotAFile,  // a device, a pipe, a socket
  kNotOurs,   // a file or link the tool did not write
  kChanged,   // a file the tool wrote, changed since
};

// What the output folder's manifest says of a name: the tool never wrote
// it, or wrote it and it is as written, or wrote it and it changed since.
enum class WrittenBefore { kNo, kUnchanged, kChanged };

// Where the file goes: a name in the output folder, or the movie.
enum class Destination { kFolder, kMovie };

// What `path` holding `seen` (what LookAt found) is to a run that reads the
// files `inputs`.
InTheWay Judge(const std::string& path, const std::optional<FileSeen>& seen, const std::vector<std::string>& inputs,
               WrittenBefore written, bool overwrite);

// Whether --overwrite would let the run replace it: a run refuses those only
// once it has looked at every name, and names how many more there are.
bool OverwriteLifts(InTheWay what);

// "PATH MORE: SAYS. Fix: FIX" for something in the way (not kNothing); `more`
// follows the path ("and 2 more of the files this run writes").
UsageError Refusal(InTheWay what, Destination where, const std::string& path, const std::string& more = "");

}  // namespace zelvan::render
