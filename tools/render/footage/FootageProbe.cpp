#include "FootageProbe.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>

#include "Limits.h"
#include "Picture.h"
#include "PngCut.h"
#include "UsageError.h"

namespace zelvan::render {
namespace fs = std::filesystem;

namespace {

// A file the user may not read, said before any reader tries it.
void CheckReadable(const std::string& file) {
  if (std::FILE* f = std::fopen(file.c_str(), "rb")) {
    std::fclose(f);
    return;
  }
  if (errno == EACCES) {
    throw UsageError(file, "cannot be read: permission denied",
                     "let the user running zelvan-render read it, e.g. chmod a+r " + file + ", or copy it somewhere readable");
  }
}

// Splits "dir/name.%04d.png" or "dir/name.####.png" into prefix, digits and suffix.
struct Pattern {
  std::string prefix, suffix;
  int width = 0;  // 0: any number of digits
};

// Hand-parsed: std::regex trips a false uninitialised warning under the sanitizers.
std::optional<Pattern> ParsePattern(const std::string& path) {
  const std::size_t pct = path.rfind('%');
  if (pct != std::string::npos) {
    std::size_t i = pct + 1;
    while (i < path.size() && std::isdigit(static_cast<unsigned char>(path[i]))) ++i;
    if (i < path.size() && path[i] == 'd' && i - pct - 1 <= 2) {
      const std::string digits = path.substr(pct + 1, i - pct - 1);
      return Pattern{path.substr(0, pct), path.substr(i + 1), digits.empty() ? 0 : std::stoi(digits)};
    }
  }
  const std::size_t last = path.rfind('#');
  if (last != std::string::npos) {
    std::size_t first = last;
    while (first > 0 && path[first - 1] == '#') --first;
    return Pattern{path.substr(0, first), path.substr(last + 1), static_cast<int>(last - first + 1)};
  }
  return std::nullopt;
}

// The files the pattern matches, by their number.
std::map<long long, std::string> MatchingFiles(const std::string& path, const Pattern& pattern) {
  const fs::path full(pattern.prefix);
  const fs::path dir = full.parent_path().empty() ? fs::path(".") : full.parent_path();
  const std::string stem = full.filename().string();
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    throw UsageError("source.path", "the folder '" + dir.string() + "' of the sequence " + path + " does not exist",
                     "check the path");
  }
  std::map<long long, std::string> found;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() <= stem.size() + pattern.suffix.size()) continue;
    if (name.compare(0, stem.size(), stem) != 0) continue;
    if (name.compare(name.size() - pattern.suffix.size(), pattern.suffix.size(), pattern.suffix) != 0) continue;
    const std::string digits = name.substr(stem.size(), name.size() - stem.size() - pattern.suffix.size());
    if (digits.empty() || digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), ::isdigit)) continue;
    if (pattern.width > 0 && static_cast<int>(digits.size()) != pattern.width) continue;
    found[std::stoll(digits)] = entry.path().string();
  }
  return found;
}

// A sequence: every frame there, numbered without a gap, of one size.
FootageInfo ProbeSequence(const std::string& path, const Pattern& pattern) {
  FootageInfo info;
  info.kind = "sequence";
  const std::map<long long, std::string> found = MatchingFiles(path, pattern);
  if (found.empty()) {
    throw UsageError("source.path", "no file matches the sequence " + path,
                     "check the folder and the pattern (e.g. name.%04d.png matches name.0001.png)");
  }
  long long expect = found.begin()->first;
  for (const auto& [number, file] : found) {
    if (number != expect) {
      throw UsageError("source.path", "the sequence " + path + " misses frame " + std::to_string(expect),
                       "render or copy the missing file, or trim the sequence");
    }
    info.files.push_back(file);
    ++expect;
  }
  if (static_cast<int64_t>(info.files.size()) > kMaxFrames) {
    throw UsageError("source.path", "the sequence holds more than " + std::to_string(kMaxFrames) + " frames",
                     "use a shorter sequence");
  }
  info.first_number = static_cast<int>(found.begin()->first);
  for (std::size_t i = 0; i < info.files.size(); ++i) {
    CheckReadable(info.files[i]);
    if (const std::optional<std::string> cut = PngCut(FootageSource::File(info.files[i]))) {
      throw UsageError(info.files[i], "frame " + std::to_string(i) + " of the sequence: " + *cut, kPngCutFix);
    }
  }
  const PictureHeader first = ReadPictureHeader(FootageSource::File(info.files.front()), false);
  info.width = first.width;
  info.height = first.height;
  info.colour = first.colour;
  // Every frame must be there and of the same size before anything renders.
  for (const std::string& file : info.files) {
    const PictureHeader s = ReadPictureHeader(FootageSource::File(file), false);
    if (s.width != info.width || s.height != info.height) {
      throw UsageError(file, "is " + std::to_string(s.width) + "x" + std::to_string(s.height) + ", unlike the " +
                                 std::to_string(info.width) + "x" + std::to_string(info.height) + " of the first frame",
                       "give a sequence whose frames share one size");
    }
  }
  info.frames = static_cast<int64_t>(info.files.size());
  return info;
}

FootageInfo ProbeMovie(const FootageSource& source) {
  FootageInfo info;
  info.kind = "movie";
  info.files = {source.name};
  info.movie = std::make_shared<Movie>(source);
  const Movie& m = *info.movie;
  info.width = m.width();
  info.height = m.height();
  info.frames = m.frames();
  info.fps = m.fps();
  info.codec = m.description();
  info.rotation = m.rotation();
  info.pixel_aspect = m.pixel_aspect();
  info.variable_rate = m.variable_rate();
  info.colour = m.colour();
  info.warnings = m.warnings();
  return info;
}

// One image, or several pictures in one file, one a frame.
FootageInfo ProbePictures(const FootageSource& source) {
  FootageInfo info;
  info.files = {source.name};
  const PictureHeader header = ReadPictureHeader(source, true);
  info.width = header.width;
  info.height = header.height;
  info.colour = header.colour;
  if (header.pictures <= 1) {
    info.kind = "image";
    return info;
  }
  info.kind = "pages";
  info.pages = header.pictures;
  info.frames = header.pictures;
  if (header.pictures > kMaxFrames) {
    throw UsageError(source.name, "holds more than " + std::to_string(kMaxFrames) + " pictures",
                     "split the file first");
  }
  return info;
}

}  // namespace

bool IsSequencePattern(const std::string& path) { return ParsePattern(path).has_value(); }

FootageInfo ProbeFootage(const std::string& path) {
  std::error_code fs_error;
  // A file of that name wins over a pattern: "take#1.mp4" is a file.
  const bool exists = fs::exists(path, fs_error);
  if (exists && fs::is_directory(path, fs_error)) {
    throw UsageError(path, "is a folder", "give a file, or a sequence pattern such as " + path + "/name.%04d.png");
  }
  if (!exists) {
    if (const std::optional<Pattern> pattern = ParsePattern(path)) return ProbeSequence(path, *pattern);
  }
  if (!exists || !fs::is_regular_file(path, fs_error)) {
    throw UsageError(path, "footage file not found", "check source.path, or use \"builtin\"");
  }
  CheckReadable(path);
  const FootageSource source = FootageSource::File(path);
  return Movie::Recognise(source) ? ProbeMovie(source) : ProbePictures(source);
}

}  // namespace zelvan::render
