#include "EncoderShape.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>

namespace zelvan::render {
namespace {

// Frames on their way whatever the threads: one being converted, one
// waiting for the feeding thread, and one more that FFmpeg takes in before
// it waits for its oldest frame thread.
constexpr std::size_t kOnTheWay = 3;

}  // namespace

EncoderShape ShapeEncoder(std::size_t frame_bytes, int thread_frames, int cores, std::size_t budget) {
  if (thread_frames <= 0) return {FF_THREAD_FRAME | FF_THREAD_SLICE, 0};
  const std::size_t held = budget / std::max<std::size_t>(frame_bytes, 1);
  const std::size_t room = held > kOnTheWay ? (held - kOnTheWay) / static_cast<std::size_t>(thread_frames) : 0;
  const auto threads = static_cast<int>(std::min(room, static_cast<std::size_t>(std::max(cores, 1))));
  // One frame thread is none: the frame's slices go on every core instead.
  if (threads < 2) return {FF_THREAD_SLICE, 0};
  return {FF_THREAD_FRAME, threads};
}

}  // namespace zelvan::render
