// The loops the search keeps: a stretch [start, end) of the clip's frames
// and the cost of its seam (SeamFilter.h), ranked. Two candidates whose
// starts and ends both lie within kNearFrames of each other are one loop
// seen twice (their seams compare overlapping pairs of frames): the search
// keeps only a candidate that ranks before every other near it, so that no
// two it reports are near. Pure arithmetic.
#pragma once

#include <cstdint>
#include <vector>

namespace zelvan::render {

struct Candidate {
  int64_t start = 0;
  int64_t end = 0;  // exclusive: the loop shows start .. end - 1
  float seam = 0.0f;
  int64_t length() const { return end - start; }
};

// Two frames either side of a seam's own pair are in its filter.
inline constexpr int64_t kNearFrames = 4;

// The ranking: the lower seam first, then the earlier start, then the shorter.
bool RanksBefore(const Candidate& a, const Candidate& b);
bool Near(const Candidate& a, const Candidate& b);

// The best `count` candidates offered, in rank order.
class BestCandidates {
 public:
  explicit BestCandidates(int count) : count_(static_cast<std::size_t>(count)) {}
  // Whether `c` would be kept: fewer than `count` yet, or it ranks before the last.
  bool Wants(const Candidate& c) const;
  void Offer(const Candidate& c);
  const std::vector<Candidate>& ranked() const { return ranked_; }

 private:
  std::size_t count_;
  std::vector<Candidate> ranked_;
};

}  // namespace zelvan::render
