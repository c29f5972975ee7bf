#include "PictureCache.h"

#include <new>
#include <utility>

namespace zelvan::render {

PictureCache::Held* PictureCache::Find(int64_t i) {
  const auto it = by_frame_.find(i);
  if (it == by_frame_.end()) return nullptr;
  order_.splice(order_.begin(), order_, it->second);
  return &order_.front();
}

const AVFrame* PictureCache::Ask(int64_t i) {
  if (const Held* h = Find(i)) return h->picture.get();
  if (i < last_lacked_) backwards_ = true;
  last_lacked_ = i;
  return nullptr;
}

bool PictureCache::Room(std::size_t bytes) const {
  if (order_.empty()) return true;
  return backwards_ && held_ + bytes <= budget_;
}

const AVFrame& PictureCache::Store(int64_t i, AVFrame& f) {
  std::size_t bytes = 0;
  for (const AVBufferRef* b : f.buf) bytes += b != nullptr ? b->size : 0;
  if (const Held* have = Find(i)) {
    av_frame_unref(&f);
    return *have->picture;
  }
  // The least recently used pictures make room.
  while (!Room(bytes)) {
    const Held& old = order_.back();
    held_ -= old.bytes;
    by_frame_.erase(old.frame);
    order_.pop_back();
  }
  ffmpeg::FramePtr picture(av_frame_alloc());
  if (!picture) throw std::bad_alloc();
  av_frame_move_ref(picture.get(), &f);
  order_.push_front(Held{i, std::move(picture), bytes});
  by_frame_[i] = order_.begin();
  held_ += bytes;
  return *order_.front().picture;
}

}  // namespace zelvan::render
