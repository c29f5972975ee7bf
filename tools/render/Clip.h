// The source layer's pictures: the built-in numbered clip, or footage read
// through the image library (an image sequence, a single image, a movie).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AE_Effect.h"
#include "Scene.h"

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
};

// Checks that the footage is there and readable. Throws UsageError naming the
// file and the fix: missing, unreadable, a sequence with a hole in it.
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

  // Paints clip frame `frame` (clamped to the clip) into world at its depth.
  // Throws UsageError when a footage frame cannot be read.
  void Paint(PF_EffectWorld& world, int64_t frame);

 private:
  Clip() = default;
  // One footage frame as RGBA floats, from a small cache.
  const std::vector<float>& FootagePixels(int64_t frame);

  bool builtin_ = true;
  int width_ = 0;
  int height_ = 0;
  int64_t frames_ = 0;
  std::string path_;
  std::string description_;
  FootageInfo info_;
  std::map<int64_t, std::vector<float>> cache_;
};

}  // namespace zelvan::render
