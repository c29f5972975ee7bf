// What a footage path holds, learnt before any frame is rendered: an image
// sequence (a pattern such as "shot.%04d.png" whose files are all there and
// of one size), a movie (opened and indexed), a file of several pictures
// (a multi-page TIFF), or a single image.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Movie.h"
#include "Rational.h"

namespace zelvan::render {

struct FootageInfo {
  std::string kind;  // "sequence", "movie", "pages" or "image"
  int width = 0;
  int height = 0;
  std::optional<int64_t> frames;    // none for a single image, which lasts as long as the layer
  std::optional<Rational> fps;      // a movie's own rate
  std::vector<std::string> files;   // a sequence's files in frame order
  int first_number = 0;             // a sequence's first frame number
  int pages = 1;                    // an image file of several pictures (multi-page TIFF)
  std::shared_ptr<Movie> movie;     // a movie, opened and indexed
  std::string codec;                // a movie's codec, for the summary
  int rotation = 0;                 // a movie's display rotation, applied (as ffprobe shows it)
  std::optional<Rational> pixel_aspect;  // a movie's pixel shape, when not square
  bool variable_rate = false;       // a movie whose frame times do not follow its rate
  Colour colour;                    // as the file declares it (a sequence's first file)
  std::vector<std::string> warnings;  // to say once, before rendering
};

// Checks that the footage is there and readable. Throws UsageError naming the
// file and the fix: missing, unreadable, a sequence with a hole in it. A path
// that exists is that file, whatever characters it holds; it is read as a
// sequence pattern only when no such file exists.
FootageInfo ProbeFootage(const std::string& path);

// A pattern such as "shot.%04d.png" or "shot.####.png" (false for plain paths).
bool IsSequencePattern(const std::string& path);

}  // namespace zelvan::render
