#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "LoopTiming.h"
#include "Params.h"
#include "ZelvanEasing.h"

namespace zelvan {
namespace {

double HostFmod(double x, double y) { return std::fmod(x, y); }

// The source layer of the worked examples: in at 2 s, 10 s long, 30 fps.
constexpr A_Time kInPoint{60, 30};
constexpr A_Time kDuration{300, 30};
constexpr double kFps = 30.0;

PreRenderRecord Record(A_long type, double angle, double waiting, A_long range) {
  PreRenderRecord r{};
  r.placementMode = kModeWhole;
  r.loopType = type;
  r.timeAngle = angle;
  r.waitingFraction = waiting;
  r.rangeType = range;
  r.rangeStartFraction = 0.0;
  r.rangeEndFraction = 1.0;
  r.rangeStartSeconds = 1.0;
  r.rangeEndSeconds = 3.0;
  r.easingType = 1;
  r.easingMode = 3;
  return r;
}

// The whole chain as the render runs it.
struct Result {
  double phase;
  double offset;
  A_Time time;
};
Result RunLoop(const PreRenderRecord& r, A_Time in = kInPoint, A_Time dur = kDuration, double fps = kFps,
           A_u_long scale = 30) {
  Easing easing(r.easingType, r.easingMode);
  const double phase = loopPhase(r.loopType, r.timeAngle, r.waitingFraction, HostFmod);
  const double offset = rangeOffset(r, easing.getTime(phase), TimeToSeconds(trimLastFrame(dur, fps)));
  return {phase, offset, sourceCompTime(in, offset, scale)};
}

struct WorkedExample {
  A_long type;
  double angle;
  double waiting;
  A_long range;
  double phase;
  double offset;
  A_long value;
};

class WorkedExamples : public ::testing::TestWithParam<WorkedExample> {};

TEST_P(WorkedExamples, PhaseOffsetAndTime) {
  const WorkedExample& e = GetParam();
  const Result r = RunLoop(Record(e.type, e.angle, e.waiting, e.range));
  EXPECT_NEAR(r.phase, e.phase, 1e-6);
  EXPECT_NEAR(r.offset, e.offset, 1e-6);
  EXPECT_EQ(r.time.value, e.value);
  EXPECT_EQ(r.time.scale, 30u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WorkedExamples,
    ::testing::Values(WorkedExample{kLoopCycle, 90, 0.0, kRangePercent, 0.25, 2.491667, 135},
                      WorkedExample{kLoopCycle, 72, 0.5, kRangePercent, 0.4, 3.986667, 180},
                      WorkedExample{kLoopCycle, 270, 0.5, kRangePercent, 1.0, 9.966667, 359},
                      WorkedExample{kLoopCycle, -90, 0.0, kRangePercent, 0.75, 7.475, 284},
                      WorkedExample{kLoopCycle, 359, 0.0, kRangePercent, 0.997222, 9.938981, 358},
                      WorkedExample{kLoopCycle, 360, 0.0, kRangePercent, 0.0, 0.0, 60},
                      WorkedExample{kLoopPingpong, 180, 0.0, kRangeSecond, 0.5, 2.0, 120},
                      WorkedExample{kLoopPingpong, 360, 0.0, kRangeSecond, 1.0, 3.0, 150},
                      WorkedExample{kLoopPingpong, 540, 0.0, kRangeSecond, 0.5, 2.0, 120},
                      WorkedExample{kLoopPingpong, 450, 0.5, kRangeSecond, 0.5, 2.0, 120},
                      WorkedExample{kLoopPingpong, 180, 1.0, kRangeSecond, 0.0, 1.0, 90},
                      WorkedExample{kLoopPingpong, 540, 1.0, kRangeSecond, 1.0, 3.0, 150}));

struct PhaseCase {
  const char* what;
  A_long type;
  double angle;
  double waiting;
  double phase;
};

TEST(LoopPhase, EdgeCases) {
  const PhaseCase cases[] = {
      {"cycle restarts at each whole turn", kLoopCycle, 720, 0.0, 0.0},
      {"cycle restarts at negative whole turns", kLoopCycle, -360, 0.0, 0.0},
      {"cycle negative wraps like 270", kLoopCycle, -90, 0.0, 0.75},
      {"cycle holds the end for the waiting share", kLoopCycle, 200, 0.5, 1.0},
      {"cycle at 100 % waiting stays at the start", kLoopCycle, 90, 1.0, 0.0},
      {"cycle at 99 % waiting is squeezed to its end", kLoopCycle, 90, 0.99, 1.0},
      {"pingpong 360 still belongs to the forward half", kLoopPingpong, 360, 0.0, 1.0},
      {"pingpong 360 at 100 % waiting is the forward half's hold", kLoopPingpong, 360, 1.0, 0.0},
      {"pingpong 720 is the start again", kLoopPingpong, 720, 0.0, 0.0},
      {"pingpong negative wraps like 630", kLoopPingpong, -90, 0.0, 0.25},
      {"pingpong backward half holds the start", kLoopPingpong, 630, 0.5, 0.0},
      {"pingpong 100 % forward holds 0", kLoopPingpong, 90, 1.0, 0.0},
      {"pingpong 100 % backward holds 1", kLoopPingpong, 450, 1.0, 1.0},
      {"unknown loop type shows the start", 0, 90, 0.0, 0.0},
      {"unknown loop type shows the start", 3, 90, 0.0, 0.0},
  };
  for (const PhaseCase& c : cases) {
    EXPECT_EQ(loopPhase(c.type, c.angle, c.waiting, HostFmod), c.phase) << c.what << " at " << c.angle;
  }
}

TEST(LoopPhase, PingpongTurnAroundIsContinuous) {
  const double just_after = loopPhase(kLoopPingpong, 360.0 + 1e-6, 0.0, HostFmod);
  EXPECT_LT(just_after, 1.0);
  EXPECT_GT(just_after, 1.0 - 1e-8);
}

TEST(LoopPhase, UsesTheHostRemainder) {
  // The remainder comes from the host's callback, not from the library.
  static int calls = 0;
  calls = 0;
  auto counting = [](double x, double y) {
    ++calls;
    return std::fmod(x, y);
  };
  loopPhase(kLoopCycle, 10, 0, counting);
  loopPhase(kLoopPingpong, 10, 0, counting);
  EXPECT_EQ(calls, 2);
}

TEST(TrimLastFrame, TruncatesTheFrameCount) {
  // 2997 / 29.97... = 99.9999... frames of scale, truncated to 99.
  const A_Time t = trimLastFrame(A_Time{29970, 2997}, 30000.0 / 1001.0);
  EXPECT_EQ(t.value, 29871);
  EXPECT_EQ(t.scale, 2997u);
}

TEST(TrimLastFrame, ShorterThanOneFrameTrimsToZero) {
  EXPECT_EQ(trimLastFrame(A_Time{20, 30}, 1.0).value, 0);
  EXPECT_EQ(trimLastFrame(A_Time{30, 30}, 1.0).value, 0);
  EXPECT_EQ(trimLastFrame(A_Time{300, 30}, 30.0).value, 299);
}

TEST(TrimLastFrame, UnusableFrameRatesTrimNothing) {
  const double rates[] = {0.0, -30.0, std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()};
  for (double rate : rates) {
    EXPECT_EQ(trimLastFrame(A_Time{300, 30}, rate).value, 300) << rate;
  }
}

TEST(TrimLastFrame, TinyRatesSaturateInsteadOfOverflowing) {
  EXPECT_EQ(trimLastFrame(A_Time{300, 4000000000u}, 1e-300).value, 0);
  EXPECT_EQ(trimLastFrame(A_Time{-5, 30}, 30.0).value, 0);
}

TEST(RangeOffset, PercentReversedPlaysBackwards) {
  PreRenderRecord r = Record(kLoopCycle, 0, 0, kRangePercent);
  r.rangeStartFraction = 1.0;
  r.rangeEndFraction = 0.0;
  EXPECT_NEAR(rangeOffset(r, 0.25, 299.0 / 30.0), 7.475, 1e-12);
}

TEST(RangeOffset, ShortSourceGivesTheInPoint) {
  const PreRenderRecord r = Record(kLoopCycle, 0, 0, kRangePercent);
  EXPECT_EQ(rangeOffset(r, 0.7, TimeToSeconds(trimLastFrame(A_Time{20, 30}, 1.0))), 0.0);
}

TEST(RangeOffset, SecondsAreNotClamped) {
  PreRenderRecord r = Record(kLoopCycle, 0, 0, kRangeSecond);
  r.rangeStartSeconds = 0.0;
  r.rangeEndSeconds = 50.0;
  EXPECT_EQ(rangeOffset(r, 1.0, 9.0), 50.0);
  r.rangeType = 0;
  EXPECT_EQ(rangeOffset(r, 1.0, 9.0), 0.0);
}

TEST(SourceCompTime, RoundsHalfUpSoNegativeFramesStayExact) {
  struct Case {
    A_Time in_point;
    double offset;
    A_long value;
  };
  const Case cases[] = {
      {{-81, 30}, 0.0, -81},             // an exact negative frame stays that frame
      {{-30, 30}, 0.0, -30},             // a source starting 1 s early, at its first frame
      {{-30, 30}, 29.0 / 30.0, -1},      // ... and its frame 29, one before the composition's start
      {{-30, 30}, 0.5 / 30.0, -29},      // halfway between two frames rounds up
      {{-30, 30}, 0.4 / 30.0, -30},
      {{60, 30}, 2.491666666, 135},      // non-negative results keep their bits
      {{0, 30}, 0.5 / 30.0, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sourceCompTime(c.in_point, c.offset, 30).value, c.value) << c.in_point.value << " + " << c.offset;
  }
}

TEST(SourceCompTime, SaturatesFarPastThe32BitRange) {
  // A huge seconds slider at a fine time scale.
  EXPECT_EQ(sourceCompTime(A_Time{0, 1}, 1000000.0, 1000000).value, std::numeric_limits<A_long>::max());
  EXPECT_EQ(sourceCompTime(A_Time{0, 1}, -1e12, 1000).value, std::numeric_limits<A_long>::min());
  EXPECT_EQ(sourceCompTime(A_Time{0, 0}, 1.0, 30).value, 30);
}

TEST(LoopTiming, EasingShapesTheOffset) {
  PreRenderRecord r = Record(kLoopCycle, 90, 0.0, kRangeSecond);
  r.easingType = 2;  // Quad In: 0.25 -> 0.0625
  r.easingMode = 1;
  const Result res = RunLoop(r);
  EXPECT_DOUBLE_EQ(res.offset, 1.0 + 0.0625 * 2.0);
}

TEST(LoopTiming, WaitingAtHundredPercentIsExact) {
  // 100 % arrives as 6553600 / 65536 * 0.01, which must equal 1.0 exactly.
  const double waiting = 6553600 / 65536.0 * 0.01;
  ASSERT_EQ(waiting, 1.0);
  EXPECT_EQ(loopPhase(kLoopCycle, 123.0, waiting, HostFmod), 0.0);
}

}  // namespace
}  // namespace zelvan
