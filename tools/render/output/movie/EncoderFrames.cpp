#include "EncoderFrames.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <stdexcept>
#include <vector>

namespace zelvan::render {
namespace {

// Rows aligned for the widest vectors libswscale and the encoders use, and
// room past the last row for those that read beyond it.
constexpr int kAlign = 64;
constexpr std::size_t kTail = AV_INPUT_BUFFER_PADDING_SIZE;

}  // namespace

// What the pool and every frame it handed out share: the memory of the
// frames no one references, ready to be filled again.
struct EncoderFrames::Shared {
  std::mutex mutex;
  std::condition_variable given_back;
  std::vector<uint8_t*> free;
  std::size_t made = 0;

  // A frame's memory is free again; null: one that was never made.
  void GiveBack(uint8_t* block) {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      if (block != nullptr) {
        free.push_back(block);
      } else {
        --made;
      }
    }
    given_back.notify_one();
  }
  ~Shared() {
    for (uint8_t* block : free) av_free(block);
  }
};

// A frame's hold on what its memory goes back to, the pool gone or not.
struct EncoderFrames::Lease {
  std::shared_ptr<Shared> to;

  static void Ended(void* opaque, uint8_t* block) {
    std::unique_ptr<Lease> lease(static_cast<Lease*>(opaque));
    lease->to->GiveBack(block);
  }
};

EncoderFrames::EncoderFrames(AVPixelFormat format, int width, int height, std::size_t budget)
    : format_(format), width_(width), height_(height), shared_(std::make_shared<Shared>()) {
  const int bytes = av_image_get_buffer_size(format, width, height, kAlign);
  if (bytes <= 0) throw std::logic_error("frames of no size for the encoder");
  frame_bytes_ = static_cast<std::size_t>(bytes) + kTail;
  most_ = std::max<std::size_t>(1, budget / frame_bytes_);
}

EncoderFrames::~EncoderFrames() = default;

std::size_t EncoderFrames::made() const {
  const std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->made;
}

ffmpeg::FramePtr EncoderFrames::Take() { return Take(true); }
ffmpeg::FramePtr EncoderFrames::TryTake() { return Take(false); }

ffmpeg::FramePtr EncoderFrames::Take(bool wait) {
  Shared& s = *shared_;
  uint8_t* block = nullptr;
  {
    std::unique_lock<std::mutex> lock(s.mutex);
    if (wait) s.given_back.wait(lock, [&] { return !s.free.empty() || s.made < most_; });
    if (!s.free.empty()) {
      block = s.free.back();
      s.free.pop_back();
    } else if (s.made < most_) {
      ++s.made;
    } else {
      return nullptr;
    }
  }
  if (block == nullptr) block = static_cast<uint8_t*>(av_malloc(frame_bytes_));
  ffmpeg::FramePtr frame(av_frame_alloc());
  std::unique_ptr<Lease> lease(new (std::nothrow) Lease{shared_});
  AVBufferRef* buffer = block != nullptr && frame && lease
                            ? av_buffer_create(block, frame_bytes_, &Lease::Ended, lease.get(), 0)
                            : nullptr;
  if (buffer == nullptr) {
    s.GiveBack(block);
    throw std::bad_alloc();
  }
  lease.release();  // the buffer's now: Ended takes it back
  frame->buf[0] = buffer;
  frame->format = format_;
  frame->width = width_;
  frame->height = height_;
  av_image_fill_arrays(frame->data, frame->linesize, block, format_, width_, height_, kAlign);
  return frame;
}

}  // namespace zelvan::render
