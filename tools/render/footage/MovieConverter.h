// A movie's decoded picture painted into a world, as FFmpeg's own decode to
// RGB shows it: converted by libswscale (the matrix and range the picture
// declares) into RGBA of 8 or 16 bits a channel, in a frame padded as FFmpeg
// allocates its own; then turned as shown, scaled by nearest sample to the
// world's size, premultiplied when its alpha is straight, and put in the
// host's alpha-first order at the world's depth, honouring its rowbytes.
#pragma once

#include "AE_Effect.h"
#include "FfmpegPtr.h"
#include "Orientation.h"

namespace zelvan::render {

class MovieConverter {
 public:
  // Null when painted, else the cause it could not be.
  const char* Paint(const AVFrame& picture, const FrameShape& shape, PF_EffectWorld& world);

 private:
  // Converts the picture into rgb_ in `format`.
  const char* ToRgba(const AVFrame& picture, const FrameShape& shape, AVPixelFormat format);

  ffmpeg::SwsPtr sws_;
  ffmpeg::FramePtr rgb_;
};

}  // namespace zelvan::render
