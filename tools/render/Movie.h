// A movie read through FFmpeg's libraries. Opening it reads every packet of
// its video stream once (no decoding) to learn the exact frames it holds, in
// presentation order, and where its keyframes are; a frame is then found by
// its presentation time: decode on from where the decoder stands, or seek to
// the keyframe before it and decode forwards. The last frames come out of the
// decoder when it is drained at the end of the stream. Decoded frames are
// converted straight to the composition's depth and kept in a small cache, so
// that a loop running backwards or holding a frame does not decode again.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "PixelWorld.h"
#include "Scene.h"

namespace zelvan::render {

class Movie {
 public:
  // Throws UsageError naming the file when it holds no readable video stream.
  explicit Movie(const std::string& path);
  ~Movie();
  Movie(const Movie&) = delete;
  Movie& operator=(const Movie&) = delete;

  // True when FFmpeg reads the file as a movie rather than a single picture
  // (a PNG, TIFF or EXR, which the image library reads). Never throws.
  static bool IsMovie(const std::string& path);

  const std::string& path() const;
  int width() const;
  int height() const;
  // Frames in the stream: the packets it holds, plus any its index lists
  // beyond the end of the data (a truncated file), which fail when read.
  int64_t frames() const;
  std::optional<Rational> fps() const;
  // "h264 yuv420p 8-bit", for the summary line.
  std::string description() const;

  // Frame k (0-based, presentation order) at the given depth and the movie's
  // size; valid until the next call. Throws FootageError naming the file and
  // the frame when it cannot be decoded.
  const pixels::PixelWorld& Frame(int64_t k, pixels::Depth depth);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zelvan::render
