// The source layer's pictures: the built-in numbered clip, or footage: an
// image sequence or a single image through the image library, a movie
// through FFmpeg's libraries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AE_Effect.h"
#include "Movie.h"
#include "PixelWorld.h"
#include "Rational.h"

namespace zelvan::render {

// What a footage file holds, learnt before any frame is rendered.
struct FootageInfo {
  std::string kind;  // "sequence", "image" or "movie"
  int width = 0;
  int height = 0;
  std::optional<int64_t> frames;    // none for a single image, which lasts as long as the layer
  std::optional<Rational> fps;      // a movie's own rate
  std::vector<std::string> files;   // a sequence's files in frame order
  int first_number = 0;             // a sequence's first frame number
  int pages = 1;                    // an image file of several pictures (multi-page TIFF)
  std::shared_ptr<Movie> movie;     // a movie, opened and indexed
  std::string codec;                // a movie's codec, for the summary
  int rotation = 0;                 // a movie's display rotation, applied (degrees clockwise)
  std::optional<Rational> pixel_aspect;  // a movie's pixel shape, when not square
  bool variable_rate = false;       // a movie whose frame times do not follow its rate
  std::vector<std::string> warnings;  // to say once, before rendering
};

// Checks that the footage is there and readable. Throws UsageError naming the
// file and the fix: missing, unreadable, a sequence with a hole in it. A path
// that exists is that file, whatever characters it holds; it is read as a
// sequence pattern only when no such file exists.
FootageInfo ProbeFootage(const std::string& path);

// A pattern such as "shot.%04d.png" or "shot.####.png" (false for plain paths).
bool IsSequencePattern(const std::string& path);

class Clip {
 public:
  // The built-in clip: every frame shows its number large and carries it in
  // the machine-readable stamp.
  static std::unique_ptr<Clip> Builtin(int width, int height, int64_t frames);
  static std::unique_ptr<Clip> Footage(const std::string& path, FootageInfo info);

  int width() const { return width_; }
  int height() const { return height_; }
  // Frames the clip holds; a single image counts as one, shown throughout.
  int64_t frames() const { return frames_; }
  const std::string& description() const { return description_; }
  // What the footage is (empty for the built-in clip).
  const FootageInfo& footage() const { return info_; }

  // The bytes of decoded footage frames kept for reuse: a loop that runs
  // backwards or holds a frame reads it again from memory.
  void SetCacheBudget(std::size_t bytes);

  // Paints clip frame `frame` (clamped to the clip) into world at its depth
  // and size, honouring its rowbytes. Throws FootageError naming the file and
  // the frame when a footage frame cannot be read.
  void Paint(PF_EffectWorld& world, int64_t frame);

 private:
  Clip() = default;
  // One picture of an image file at full size and the given depth, from a small cache.
  const pixels::PixelWorld& FootageFrame(int64_t frame, pixels::Depth depth);

  bool builtin_ = true;
  int width_ = 0;
  int height_ = 0;
  int64_t frames_ = 0;
  std::string path_;
  std::string description_;
  FootageInfo info_;
  std::map<std::pair<int64_t, int>, pixels::PixelWorld> cache_;  // by frame and depth
  std::size_t cache_budget_ = kDefaultCacheBytes;
};

}  // namespace zelvan::render
