// Frame files written by worker threads while the next frames render: the
// render thread hands over a copy of each output in the file's own channel
// type, and the workers encode and write it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "AE_Effect.h"
#include "FrameFormat.h"
#include "WorkQueue.h"

namespace zelvan::render {

// One frame ready to encode: RGBA, 8 or 16 bits or float a channel as the
// format stores it.
struct FrameImage {
  std::string file;   // where it is written
  std::string shown;  // the file as the user will see it, for messages
  int width = 0;
  int height = 0;
  FrameFormat format = FrameFormat::Png8;
  std::vector<unsigned char> bytes;
};

// The world's pixels as RGBA in the format's channel type (8 bits over 255,
// 16 bits over 65535, float as stored), honouring the world's rowbytes, into
// rows of out_rowbytes bytes at `out`. PNG keeps the colour unpremultiplied,
// EXR premultiplied. True when some pixel's alpha is below 1.
bool CopyPixels(const PF_EffectWorld& world, FrameFormat format, unsigned char* out, std::ptrdiff_t out_rowbytes);
// The same as a frame of its own.
FrameImage ImageOf(const PF_EffectWorld& world, FrameFormat format);
// Encodes and writes it; throws WriteError (or std::runtime_error) naming the
// file as shown.
void WriteFrameImage(const FrameImage& image);

// How the frame writer may hold frames: each waits whole in memory, in the
// file's channel type, so at most kWaitingFramesBytes of them are held at once. A
// frame too large for three (4K float) is made only once the one before is
// written, while the next renders.
struct WriterShape {
  int threads;
  std::size_t waiting;
  bool one_at_a_time;
};

WriterShape ShapeWriter(int width, int height, FrameFormat format, int cores);

// Frame files encoded and written by worker threads.
class FrameWriter {
 public:
  // threads >= 1; at most queue_limit frames wait (the render thread waits
  // beyond that).
  FrameWriter(int threads, std::size_t queue_limit) : queue_(threads, queue_limit) {}

  // Rethrows the first failure of an earlier write.
  void Submit(FrameImage image);
  // Waits until every frame is written; rethrows the first failure.
  void Finish() { queue_.Finish(); }

 private:
  WorkQueue queue_;
};

}  // namespace zelvan::render
