// Frame files written by worker threads while the next frames render: the
// render thread hands over a copy of each output in the file's own channel
// type, and the workers encode and write it.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AE_Effect.h"
#include "Outputs.h"

namespace zelvan::render {

// One frame ready to encode: RGBA, 8 or 16 bits or float a channel as the
// format stores it.
struct FrameImage {
  std::string file;
  int width = 0;
  int height = 0;
  FrameFormat format = FrameFormat::Png8;
  std::vector<unsigned char> bytes;
};

// The world's pixels in the format's channel type (8 bits over 255, 16 bits
// over 65535, float as stored), honouring the world's rowbytes.
FrameImage ImageOf(const PF_EffectWorld& world, FrameFormat format);
// Encodes and writes it; throws std::runtime_error naming the file.
void WriteFrameImage(const FrameImage& image);

class FrameWriter {
 public:
  // threads >= 1; at most queue_limit frames wait (the render thread waits
  // beyond that).
  FrameWriter(int threads, std::size_t queue_limit);
  // Stops the workers; frames still waiting are dropped.
  ~FrameWriter();
  FrameWriter(const FrameWriter&) = delete;
  FrameWriter& operator=(const FrameWriter&) = delete;

  // Rethrows the first failure of an earlier write.
  void Submit(FrameImage image);
  // Waits until every frame is written; rethrows the first failure.
  void Finish();

 private:
  void Work();
  void RethrowFailure();

  std::mutex mutex_;
  std::condition_variable wake_;   // workers: work or stop
  std::condition_variable room_;   // the render thread: room in the queue, or all done
  std::deque<FrameImage> queue_;
  std::size_t limit_;
  int busy_ = 0;
  bool stop_ = false;
  std::exception_ptr failure_;
  std::vector<std::thread> workers_;
};

}  // namespace zelvan::render
