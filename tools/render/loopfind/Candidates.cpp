#include "Candidates.h"

#include <algorithm>
#include <cstdlib>

namespace zelvan::render {

bool RanksBefore(const Candidate& a, const Candidate& b) {
  if (a.seam != b.seam) return a.seam < b.seam;
  if (a.start != b.start) return a.start < b.start;
  return a.end < b.end;
}

bool Near(const Candidate& a, const Candidate& b) {
  return std::llabs(a.start - b.start) <= kNearFrames && std::llabs(a.end - b.end) <= kNearFrames;
}

bool BestCandidates::Wants(const Candidate& c) const {
  return ranked_.size() < count_ || RanksBefore(c, ranked_.back());
}

void BestCandidates::Offer(const Candidate& c) {
  if (!Wants(c)) return;
  ranked_.insert(std::upper_bound(ranked_.begin(), ranked_.end(), c, RanksBefore), c);
  if (ranked_.size() > count_) ranked_.pop_back();
}

}  // namespace zelvan::render
