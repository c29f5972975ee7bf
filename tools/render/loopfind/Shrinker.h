// Makes a frame's small picture for the loop search (SmallFrames.h): its
// luma, area-averaged by libswscale (SWS_AREA), at full range (0 black, 255
// white). A movie's decoded picture is shrunk as stored, from any pixel
// format and range it declares, and turned as shown; a painted frame (a
// world of 8 bits) from its colour, alpha left out.
#pragma once

#include <cstdint>

#include "AE_Effect.h"
#include "FfmpegPtr.h"
#include "Orientation.h"

namespace zelvan::render {

class Shrinker {
 public:
  // Pictures come out width x height (the small size, as shown), into rows
  // `width` apart.
  Shrinker(int width, int height) : width_(width), height_(height) {}

  // A movie's picture as decoded, stored as `shape` says.
  void Shrink(const AVFrame& picture, const FrameShape& shape, uint8_t* out);
  // A painted 8-bit world whose rows are padded by at least kWorldPadding
  // bytes: libswscale reads whole vectors past a row's end.
  static constexpr A_long kWorldPadding = 64;
  void Shrink(const PF_EffectWorld& world, uint8_t* out);

 private:
  // Shrinks into small_, stored_width x stored_height.
  void Scale(const uint8_t* const data[], const int linesize[], int width, int height, AVPixelFormat format,
             int src_range, int stored_width, int stored_height);

  int width_, height_;
  ffmpeg::SwsPtr sws_;
  int src_range_ = -1;      // the range the context was told
  ffmpeg::FramePtr small_;  // libswscale writes whole vectors past a row's end: a frame padded as FFmpeg's
};

}  // namespace zelvan::render
