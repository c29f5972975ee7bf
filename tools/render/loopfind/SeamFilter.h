// How a seam is judged: not by one pair of frames but by the pairs around
// it, the nearer weighing more, so that the motion across the seam must
// match as well as the picture (a pendulum at one place swinging the other
// way is no match). The weights are the binomial (1, 4, 6, 4, 1) / 16 over
// the offsets -2 to 2: the temporal filter of "Video Textures" (SIGGRAPH
// 2000). Pure arithmetic.
//
// A Cycle [a, b) jumps from frame b - 1 to frame a where frame b would come:
// its pairs are (b + k, a + k). A Pingpong turns at frame e and shows e - k
// where e + k would come: its pairs are (e - k, e + k), the middle one the
// frame itself. A pair with a frame outside the clip is left out and the
// weights of the others scaled to sum to 1; the middle pair is always there.
#pragma once

namespace zelvan::render {

inline constexpr int kSeamReach = 2;  // the offsets run from -kSeamReach to kSeamReach
inline constexpr int kSeamTaps = 2 * kSeamReach + 1;
inline constexpr int kSeamWeights[kSeamTaps] = {1, 4, 6, 4, 1};

// The binomial row of the taps' count: each weight the sum of the two above
// it in Pascal's triangle, so symmetric, summing to 2^(taps - 1).
constexpr bool SeamWeightsAreBinomial() {
  int row[kSeamTaps] = {1};
  for (int n = 1; n < kSeamTaps; ++n) {
    for (int k = n; k > 0; --k) row[k] += row[k - 1];
  }
  for (int k = 0; k < kSeamTaps; ++k) {
    if (row[k] != kSeamWeights[k]) return false;
  }
  return true;
}
static_assert(SeamWeightsAreBinomial(), "the seam's weights are the binomial row (1, 4, 6, 4, 1)");

// The filtered cost from the distances of the pairs at offsets -2 to 2; a
// pair that is not there has a negative distance.
inline float FilteredSeam(const float (&distance)[kSeamTaps]) {
  float sum = 0.0f;
  int weight = 0;
  for (int k = 0; k < kSeamTaps; ++k) {
    if (distance[k] < 0.0f) continue;
    sum += static_cast<float>(kSeamWeights[k]) * distance[k];
    weight += kSeamWeights[k];
  }
  return sum / static_cast<float>(weight);
}

}  // namespace zelvan::render
