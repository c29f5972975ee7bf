// The loop search's measure on tiny frames made by hand, without FFmpeg:
// the distance of two frames, the seam filter's weights, a Pingpong's turn,
// the typical step, the lengths asked and the candidates kept. Every
// expected value is worked out in the comment beside it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Candidates.h"
#include "FrameDistance.h"
#include "LoopLength.h"
#include "LoopSearch.h"
#include "SeamFilter.h"
#include "SimilarityMap.h"
#include "SmallFrames.h"
#include "TypicalStep.h"
#include "UsageError.h"

namespace zelvan::render {
namespace {

// A clip of frames of `width` x 1 pixels, each given as its levels.
SmallFrames Frames(int width, const std::vector<std::vector<uint8_t>>& levels) {
  SmallFrames f(width, 1, static_cast<int64_t>(levels.size()));
  for (const std::vector<uint8_t>& frame : levels) std::copy(frame.begin(), frame.end(), f.Add());
  return f;
}

// Two frames and their distance: Row("name").A({...}).B({...}).Is(d).
struct DistanceRow {
  std::string name;
  std::vector<uint8_t> a, b;
  float is = 0.0f;
  DistanceRow& A(std::vector<uint8_t> v) {
    a = std::move(v);
    return *this;
  }
  DistanceRow& B(std::vector<uint8_t> v) {
    b = std::move(v);
    return *this;
  }
  DistanceRow& Is(float d) {
    is = d;
    return *this;
  }
};
DistanceRow Distance(std::string name) { return DistanceRow{std::move(name), {}, {}, 0.0f}; }

TEST(LoopMeasure, TheDistanceIsTheRmsDifferenceInLevels) {
  const DistanceRow rows[] = {
      Distance("the same picture").A({7, 7, 7, 7}).B({7, 7, 7, 7}).Is(0.0f),
      // (9 + 16 + 0 + 0) / 4 = 6.25, whose root is 2.5.
      Distance("two pixels of four").A({0, 0, 9, 9}).B({3, 4, 9, 9}).Is(2.5f),
      Distance("black against white").A({0, 0, 0, 0}).B({255, 255, 255, 255}).Is(255.0f),
      // Either sign: (4 + 4 + 4 + 4) / 4 = 4, root 2.
      Distance("up and down").A({10, 12, 10, 12}).B({12, 10, 12, 10}).Is(2.0f),
  };
  for (const DistanceRow& r : rows) {
    SCOPED_TRACE(r.name);
    const SmallFrames f = Frames(4, {r.a, r.b});
    ASSERT_EQ(f.pixels(), 4u);
    ASSERT_EQ(f.block(), 32u) << "padded to whole vectors, the padding zero in both";
    EXPECT_EQ(FrameDistance(f[0], f[1], f.block(), f.pixels()), r.is);
  }
}

TEST(LoopMeasure, SmallFramesKeepTheShapeWithin64Pixels) {
  // 1920 x 1080: 64 x 36. 1080 x 1920: 36 x 64. 400 x 300: 64 x 48. 96 x 54:
  // 64 x 36. 50 x 20 is small already. 1000 x 1: 64 x 0.064, at least 1.
  const int sizes[][4] = {{1920, 1080, 64, 36}, {1080, 1920, 36, 64}, {400, 300, 64, 48},
                          {96, 54, 64, 36},     {50, 20, 50, 20},     {1000, 1, 64, 1}};
  for (const auto& s : sizes) {
    EXPECT_EQ(SmallFrames::SmallWidth(s[0], s[1]), s[2]) << s[0] << "x" << s[1];
    EXPECT_EQ(SmallFrames::SmallHeight(s[0], s[1]), s[3]) << s[0] << "x" << s[1];
  }
}

// Distances of the pairs at offsets -2..2 (negative: not there) and the seam.
struct FilterRow {
  std::string name;
  float pairs[kSeamTaps];
  float seam;
};

TEST(LoopMeasure, TheSeamFilterWeighsThePairsOneFourSixFourOne) {
  const FilterRow rows[] = {
      // (1 + 4*2 + 6*3 + 4*4 + 5) / 16 = 48 / 16.
      {"every pair", {1, 2, 3, 4, 5}, 3.0f},
      {"the middle pair alone counts six of sixteen", {0, 0, 16, 0, 0}, 6.0f},
      // Before the clip's start: (6*3 + 4*4 + 5) / (6 + 4 + 1) = 39 / 11.
      {"two pairs before the clip", {-1, -1, 3, 4, 5}, 39.0f / 11.0f},
      // Past the clip's end: (1 + 4*2 + 6*3) / 11 = 27 / 11.
      {"two pairs past the clip", {1, 2, 3, -1, -1}, 27.0f / 11.0f},
      {"the middle pair alone", {-1, -1, 7, -1, -1}, 7.0f},
  };
  for (const FilterRow& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_FLOAT_EQ(FilteredSeam(r.pairs), r.seam);
  }
  EXPECT_EQ(kSeamWeights[0] + kSeamWeights[1] + kSeamWeights[2] + kSeamWeights[3] + kSeamWeights[4], 16);
}

TEST(LoopMeasure, APingpongTurnsSmoothlyWhereTheMotionIsMirrored) {
  // One pixel a frame. A ramp up and down, turning at frame 2: frames 1 and
  // 3 are alike, 0 and 4 too, so the turn costs 0. A ramp straight on: at
  // frame 2 the pairs (1, 3) and (0, 4) differ by 20 and 40, weighed 4 + 4
  // and 1 + 1 of 16: (8 * 20 + 2 * 40) / 16 = 15. At frame 1 the pairs at
  // offsets 2 are not there: (8 * 20) / (6 + 4 + 4) = 160 / 14.
  const std::vector<float> mirrored = TurnCosts(Frames(1, {{0}, {10}, {20}, {10}, {0}}));
  EXPECT_EQ(mirrored[2], 0.0f);
  const std::vector<float> ramp = TurnCosts(Frames(1, {{0}, {10}, {20}, {30}, {40}}));
  EXPECT_FLOAT_EQ(ramp[2], 15.0f);
  EXPECT_FLOAT_EQ(ramp[1], 160.0f / 14.0f);
}

struct StepRow {
  std::string name;
  std::vector<float> steps;
  float typical;
};

TEST(LoopMeasure, TheTypicalStepIsTheMedianOfTheStepsThatMove) {
  const StepRow rows[] = {
      {"an odd count: the middle one", {3, 1, 2}, 2.0f},
      {"an even count: the mean of the middle two", {4, 1, 3, 2}, 2.5f},
      {"a frame shown again is no step", {0, 0, 5, 0, 7, 9}, 7.0f},
      {"a still: none", {0, 0, 0}, 0.0f},
      {"one frame: none", {}, 0.0f},
  };
  for (const StepRow& r : rows) EXPECT_EQ(TypicalStep(r.steps), r.typical) << r.name;
}

struct LengthRow {
  std::string text;
  Rational fps;
  int64_t at_least, at_most;
};

TEST(LoopMeasure, LengthsAreSecondsOrFrames) {
  const LengthRow rows[] = {
      {"0.5s", {25, 1}, 13, 12},      // 12.5 frames: 13 at least, 12 at most
      {"2s", {30000, 1001}, 60, 59},  // 59.94 frames
      {"2s", {30, 1}, 60, 60},        // exactly 60
      {"48f", {30000, 1001}, 48, 48},
  };
  for (const LengthRow& r : rows) {
    SCOPED_TRACE(r.text + " at " + r.fps.text());
    const LoopLength l = ParseLoopLength("--min", r.text);
    EXPECT_EQ(FramesAtLeast(l, r.fps), r.at_least);
    EXPECT_EQ(FramesAtMost(l, r.fps), r.at_most);
  }
  for (const char* bad : {"2", "-1s", "0f", "1.5f", "2x", "s", "1e3s"}) {
    EXPECT_THROW(ParseLoopLength("--min", bad), UsageError) << bad;
  }
}

TEST(LoopMeasure, TheSearchFindsTheRepeatAndKeepsNoTwoNearCandidates) {
  // Period 5 on one pixel: 0, 50, 100, 150, 200, 0, 50, ... over 20 frames.
  // A Cycle of a length divisible by 5 has each pair (b + k, a + k) alike: a
  // seam of 0. Any other length compares pictures at least 50 apart.
  std::vector<std::vector<uint8_t>> levels;
  for (int k = 0; k < 20; ++k) levels.push_back({static_cast<uint8_t>(50 * (k % 5))});
  const SmallFrames f = Frames(1, levels);
  SimilarityMap map(f.count());
  const LoopSpan span{false, 2, LongestLoop(false, f.count()), 4};
  const auto found = SearchLoops(f, span, map, [] { return false; });
  ASSERT_TRUE(found);
  // Ties go to the earlier start, then the shorter. (0, 5), (0, 10) and
  // (0, 15) are 5 frames apart at the end: not near. (1, 6) and every later
  // start of a seam of 0 is within 4 frames at both ends of one that ranks
  // before it, and so is every stretch with a seam: from its own start, a
  // length divisible by 5 ends within 2 frames of it. Asked for 4, there
  // are 3. The frame after the loop must be there: (0, 20) is not judged.
  const std::vector<std::pair<int64_t, int64_t>> want = {{0, 5}, {0, 10}, {0, 15}};
  ASSERT_EQ(found->size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ((*found)[i].start, want[i].first);
    EXPECT_EQ((*found)[i].end, want[i].second);
    EXPECT_EQ((*found)[i].seam, 0.0f);
  }
  EXPECT_TRUE(Near({0, 5, 0.0f}, {1, 6, 0.0f}));
  EXPECT_FALSE(Near({0, 5, 0.0f}, {0, 10, 0.0f}));
}

TEST(LoopMeasure, EveryPairIsComparedWhicheverCoreComparesIt) {
  // Frame k is the level 2k on one pixel, 100 frames: the distance of frames
  // i and j is 2 |i - j|, so every Cycle of length L has each pair 2L apart
  // and a seam of 2L. The shortest, 2 frames, from the earliest start: (0, 2)
  // with a seam of 4; a pair left uncompared would show as a lower seam. A
  // band of 100 frames is shared out among the cores.
  std::vector<std::vector<uint8_t>> levels;
  for (int k = 0; k < 100; ++k) levels.push_back({static_cast<uint8_t>(2 * k)});
  const SmallFrames f = Frames(1, levels);
  SimilarityMap map(f.count());
  const auto found = SearchLoops(f, LoopSpan{false, 2, 40, 1}, map, [] { return false; });
  ASSERT_TRUE(found && found->size() == 1);
  EXPECT_EQ((*found)[0].start, 0);
  EXPECT_EQ((*found)[0].end, 2);
  EXPECT_EQ((*found)[0].seam, 4.0f);
}

}  // namespace
}  // namespace zelvan::render
