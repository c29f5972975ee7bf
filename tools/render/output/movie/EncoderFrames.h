// The frames a movie's encoder is fed, bounded in bytes: made in its pixel
// format as they are needed, at most as many as the budget holds (always at
// least one, however large), and filled again once every reference to one
// is gone, the encoder's own included. The caller waits beyond that, so the
// frames converted and waiting for the encoder, or still held by it, never
// take more than the budget; the same memory serves the whole run.
//
// A frame's memory comes back on whatever thread drops its last reference,
// and outlives the pool while a reference to it does. Taking waits for the
// encoder to let a frame go: the encoders fed here let each go once it is
// encoded or copied, whatever comes after it.
#pragma once

#include <cstddef>
#include <memory>

#include "FfmpegPtr.h"

namespace zelvan::render {

class EncoderFrames {
 public:
  EncoderFrames(AVPixelFormat format, int width, int height, std::size_t budget);
  ~EncoderFrames();
  EncoderFrames(const EncoderFrames&) = delete;
  EncoderFrames& operator=(const EncoderFrames&) = delete;

  // A frame no one else references, of the pool's format and size; waits
  // while every frame the budget holds is referenced.
  ffmpeg::FramePtr Take();
  // The same, or null at once where Take would wait.
  ffmpeg::FramePtr TryTake();

  // The bytes of one frame, and how many frames the budget holds.
  std::size_t frame_bytes() const { return frame_bytes_; }
  std::size_t most() const { return most_; }
  // The frames made so far, taken or free: never more than most().
  std::size_t made() const;

 private:
  struct Shared;
  struct Lease;
  ffmpeg::FramePtr Take(bool wait);

  AVPixelFormat format_;
  int width_;
  int height_;
  std::size_t frame_bytes_;
  std::size_t most_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace zelvan::render
