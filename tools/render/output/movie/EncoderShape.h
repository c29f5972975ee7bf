// How a movie's encoder spreads over the cores within the budget of frames
// waiting to be written. FFmpeg's frame threads each keep frames of their
// own (the one they encode, and buffers as large), so they run only while
// those fit the budget beside the frames on their way to the encoder; else
// the encoder takes one frame at a time and spreads its slices over every
// core. Encoders without FFmpeg's frame threads keep FFmpeg's default.
#pragma once

#include <cstddef>

namespace zelvan::render {

struct EncoderShape {
  int thread_type;   // FFmpeg's FF_THREAD_* bits
  int thread_count;  // 0: as many as the machine has
};

// frame_bytes: one frame in the encoder's pixels; thread_frames: what one
// frame thread keeps, in frames (0: the encoder has no frame threads of
// FFmpeg's); budget in bytes.
EncoderShape ShapeEncoder(std::size_t frame_bytes, int thread_frames, int cores, std::size_t budget);

}  // namespace zelvan::render
