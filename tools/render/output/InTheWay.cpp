#include "InTheWay.h"

#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>

namespace zelvan::render {
namespace {

// How a refusal reads: "SUBJECT: SAYS. Fix: FIX", where the subject is the
// path, or "--out PATH" when the path is the option's value itself and the
// fix names it as {out}.
struct Words {
  const char* says;
  const char* fix;
  bool on_option = false;
};

struct Row {
  InTheWay what;
  bool overwrite_lifts;
  Words in_folder;
  Words as_movie;
};

constexpr Words kFolderBlocked{"is in the way and is not a file", "give --out another folder, or move it away"};
constexpr const char* kFolderReplace =
    "give --out another folder, move the file away, or pass --overwrite (-y) to replace it";
constexpr Words kMovieExists{
    "exists", "give --out another file name, move the file away, or pass --overwrite (-y) to replace it"};

constexpr Row kRows[] = {
    {InTheWay::kFootage, false,
     {"is footage this run reads, and the run would write a file of that name", "give --out another folder"},
     {"is footage this run reads", "give --out another file name"}},
    {InTheWay::kFolder, false, kFolderBlocked,
     {"is a folder", "name a movie file, or write frames into that folder with --out {out}/", true}},
    {InTheWay::kNotAFile, false, kFolderBlocked,
     {"is in the way and is not a file", "give --out another file name, or move it away"}},
    {InTheWay::kNotOurs, true, {"exists and zelvan-render did not write it", kFolderReplace}, kMovieExists},
    // A movie has no manifest: the tool never knows it wrote one.
    {InTheWay::kChanged, true, {"changed since zelvan-render wrote it", kFolderReplace}, kMovieExists},
};

const Row& RowOf(InTheWay what) {
  for (const Row& row : kRows) {
    if (row.what == what) return row;
  }
  throw std::logic_error("nothing in the way to refuse");
}

std::string Fill(const std::string& fix, const std::string& out) {
  const std::string mark = "{out}";
  const std::size_t at = fix.find(mark);
  return at == std::string::npos ? fix : fix.substr(0, at) + out + fix.substr(at + mark.size());
}

}  // namespace

InTheWay Judge(const std::string& path, const std::optional<FileSeen>& seen, const std::vector<std::string>& inputs,
               WrittenBefore written, bool overwrite) {
  if (!seen) return InTheWay::kNothing;
  std::error_code ec;
  for (const std::string& input : inputs) {
    if (std::filesystem::equivalent(path, input, ec)) return InTheWay::kFootage;
  }
  if (S_ISDIR(seen->mode)) return InTheWay::kFolder;
  if (!S_ISREG(seen->mode) && !S_ISLNK(seen->mode)) return InTheWay::kNotAFile;
  // Only a file is the tool's own: a link is someone else's.
  if (written == WrittenBefore::kUnchanged && S_ISREG(seen->mode)) return InTheWay::kNothing;
  const InTheWay what = written == WrittenBefore::kNo ? InTheWay::kNotOurs : InTheWay::kChanged;
  return overwrite && OverwriteLifts(what) ? InTheWay::kNothing : what;
}

bool OverwriteLifts(InTheWay what) { return RowOf(what).overwrite_lifts; }

UsageError Refusal(InTheWay what, Destination where, const std::string& path, const std::string& more) {
  const Row& row = RowOf(what);
  const Words& words = where == Destination::kFolder ? row.in_folder : row.as_movie;
  return UsageError((words.on_option ? "--out " : "") + path + more, words.says, Fill(words.fix, path));
}

}  // namespace zelvan::render
