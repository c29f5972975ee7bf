// A movie read through FFmpeg's libraries, from its file or from bytes in
// memory. Opening it reads every packet of its video stream once (no
// decoding) to learn the exact frames it holds, in presentation order, and
// where its keyframes are; a frame is then found by its presentation time:
// decode on from where the decoder stands, or seek to the keyframe before it
// (by its time, or in an MPEG stream, whose times may jump or wrap, by its
// place in the file) and decode forwards. The last frames come out of the
// decoder when it is drained at the end of the stream. A stream that
// carries no presentation times (H.264 in AVI) has its frames numbered in
// the order the decoder gives them, as FFmpeg numbers them.
//
// Frames are shown as FFmpeg's own player and converter show them: turned by
// the stream's display rotation, and counted at the stream's nominal rate, so
// that a variable-rate clip repeats or skips frames by their presentation
// time. Straight alpha is premultiplied on read, as the image reader does for
// image files, because the host's worlds hold premultiplied colour.
//
// Decoded pictures are kept as the decoder gives them (a fraction of a
// converted frame's size) in a cache bounded in bytes, so that a loop running
// backwards or holding a frame does not decode again; each is converted
// straight into the world it is painted into, at that world's depth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AE_Effect.h"
#include "Colour.h"
#include "FootageSource.h"
#include "Limits.h"
#include "Orientation.h"
#include "Rational.h"

struct AVFrame;

namespace zelvan::render {

class Movie {
 public:
  // Throws UsageError naming the file when it holds no readable video stream.
  explicit Movie(const FootageSource& source);
  ~Movie();
  Movie(const Movie&) = delete;
  Movie& operator=(const Movie&) = delete;

  // True when FFmpeg reads the bytes as a movie with pictures; false when it
  // does not know them, or reads them as one picture (a PNG, TIFF or EXR,
  // which the image library reads). Throws UsageError naming the cause and a
  // fix for what no reader can use: an empty file, a movie FFmpeg recognises
  // but cannot open (an MP4 or MOV without its index), a file of sound only.
  static bool Recognise(const FootageSource& source);

  const std::string& path() const;
  // The size as shown, after the display rotation.
  int width() const;
  int height() const;
  // Frames at the nominal rate: those the stream holds (for a variable-rate
  // stream, the slots its presentation times span), plus any its index lists
  // beyond the end of the data (a truncated file: the frames whose data the
  // cut lost, after it or between the frames before it), which fail when read.
  int64_t frames() const;
  std::optional<Rational> fps() const;
  // "h264 yuv420p 8-bit", for the summary line.
  std::string description() const;
  // The display rotation as ffprobe shows it (see Orientation::rotation).
  int rotation() const;
  // The shape of a shown pixel (width over height), when it is not square.
  std::optional<Rational> pixel_aspect() const;
  // True when the presentation times do not follow the nominal rate.
  bool variable_rate() const;
  // The colour the stream declares (MovieColour.h).
  const Colour& colour() const;
  // What the user should know before rendering (non-square pixels, a
  // variable rate, frames without times, a rotation that is not a quarter
  // turn, an HDR transfer), each said once.
  const std::vector<std::string>& warnings() const;

  // The cache's budget in bytes of decoded pictures. A clip played forwards
  // keeps only the picture it shows; once a frame before the last one is
  // asked for, the cache keeps as many as the budget holds (at least one).
  void SetCacheBudget(std::size_t bytes);
  // What the cache holds now: decoded pictures, and their bytes.
  std::size_t cached_pictures() const;
  std::size_t cached_bytes() const;

  // Paints frame k (0-based, at the nominal rate) into the world at its depth,
  // honouring its rowbytes, scaled by nearest sample when the world is smaller
  // than the shown size. Throws FootageError naming the file and the frame
  // when it cannot be decoded.
  void Paint(int64_t k, PF_EffectWorld& world);
  // Frame k as the decoder gives it, before any conversion (stored as
  // shape() says, alpha straight), for a reader that makes its own picture
  // of it; good until the next call. Throws FootageError as Paint does.
  const AVFrame& Decoded(int64_t k);
  const FrameShape& shape() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zelvan::render
