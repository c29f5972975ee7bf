// A movie's decoded pictures by frame, kept as the decoder gives them (a
// fraction of a converted frame's size) so that a loop running backwards or
// holding a frame does not decode again. Bounded in bytes, the least
// recently used going first. It learns from the frames it lacks: while each
// comes after the one before, it keeps only the last picture stored; once one
// comes before, as many as the budget holds (always at least one), and the
// frames decoded on the way to one are worth keeping too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>

#include "FfmpegPtr.h"
#include "Limits.h"

namespace zelvan::render {

class PictureCache {
 public:
  void SetBudget(std::size_t bytes) { budget_ = bytes; }

  // The picture of frame i, now the most recently used; null when it is not
  // held, and the order of the frames lacked is noted.
  const AVFrame* Ask(int64_t i);
  // True once a frame lacked came before the one lacked last.
  bool backwards() const { return backwards_; }
  // Takes the decoded picture of frame i (its references move out of f) and
  // returns the one held.
  const AVFrame& Store(int64_t i, AVFrame& f);

  std::size_t pictures() const { return order_.size(); }
  std::size_t bytes() const { return held_; }

 private:
  struct Held {
    int64_t frame = -1;
    ffmpeg::FramePtr picture;
    std::size_t bytes = 0;
  };
  Held* Find(int64_t i);
  // True when `bytes` more fit.
  bool Room(std::size_t bytes) const;

  std::list<Held> order_;  // the most recently used first
  std::map<int64_t, std::list<Held>::iterator> by_frame_;
  std::size_t held_ = 0;
  std::size_t budget_ = kDefaultCacheBytes;
  bool backwards_ = false;
  int64_t last_lacked_ = -1;
};

}  // namespace zelvan::render
