// The search for loops over a clip's small frames: every stretch [a, b) of
// the lengths asked is judged, a Cycle by its seam, a Pingpong by the worse
// of its two turns (SeamFilter.h), and the best that rank before every
// stretch near them are kept (Candidates.h). A seam compares frame b with
// frame a, so the loop ends before the clip's last frame (b <= frames - 1);
// a turn needs a frame on either side of it (a >= 1 for a Pingpong).
//
// Memory stays bounded by the clip's length: the distances are computed
// along the matrix's diagonals, a band of lags at a time (the pairs (i, i +
// L) for L in the band and every i, shared out among the cores), each
// band's seams filtered along its diagonals and then let go; only the candidates and the similarity map
// (SimilarityMap.h) outlive it. The time is proportional to the frames times
// the longest loop. Pure arithmetic.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "Candidates.h"
#include "SimilarityMap.h"
#include "SmallFrames.h"

namespace zelvan::render {

struct LoopSpan {
  bool pingpong = false;
  int64_t shortest = 2;  // lengths b - a, in frames
  int64_t longest = 2;
  int top = 5;
};

// The first frame a loop of that type may start on, and the longest it may
// be in a clip of `frames` frames.
int64_t FirstStart(bool pingpong);
int64_t LongestLoop(bool pingpong, int64_t frames);

// The candidates in rank order, every distance it computed added to `map`.
// `stop` is asked between bands: true ends the search with nothing.
std::optional<std::vector<Candidate>> SearchLoops(const SmallFrames& frames, const LoopSpan& span, SimilarityMap& map,
                                                  const std::function<bool()>& stop);

// The cost of a Pingpong turning at each frame (none where a turn cannot be
// judged: the clip's first and last frames).
std::vector<float> TurnCosts(const SmallFrames& frames);

}  // namespace zelvan::render
