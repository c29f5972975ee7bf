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
#include "FootageProbe.h"
#include "Limits.h"
#include "PixelWorld.h"

namespace zelvan::render {

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
  // The footage's colour as it declares it; the built-in clip is drawn as
  // sRGB, at the depth of the world it is drawn into (so of no bits its own).
  Colour colour() const;

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
