#include "LoopTiming.h"

#include <cmath>
#include <cstdint>

#include "HostValues.h"
#include "Params.h"
#include "Rounding.h"

namespace zelvan {
namespace {

// The share u of a turn mapped onto the motion, which takes the first
// (1 - waiting) of the turn; the rest holds 1.
double MotionPhase(double u, double waitingFraction) {
  if (waitingFraction == 1.0) return 0.0;
  const double q = u / (1.0 - waitingFraction);
  return q < 1.0 ? q : 1.0;
}

}  // namespace

double TimeToSeconds(A_Time t) {
  if (t.scale == 0) return 0.0;
  return static_cast<double>(t.value) / static_cast<double>(t.scale);
}

double loopPhase(A_long loopType, double timeAngle, double waitingFraction, FmodFunc fmod) {
  if (loopType == kLoopCycle) {
    double r = fmod(timeAngle, 360.0);
    if (r < 0.0) r = r + 360.0;
    return MotionPhase(r / 360.0, waitingFraction);
  }
  if (loopType == kLoopPingpong) {
    double r = fmod(timeAngle, 720.0);
    if (r < 0.0) r = r + 720.0;
    const double u = r / 360.0;
    if (u <= 1.0) return MotionPhase(u, waitingFraction);
    return 1.0 - MotionPhase(u - 1.0, waitingFraction);
  }
  return 0.0;
}

A_Time trimLastFrame(A_Time duration, double frameRate) {
  int64_t frames = 0;
  if (frameRate > 0.0 && std::isfinite(frameRate)) {
    frames = TruncateToLong(static_cast<double>(duration.scale) / frameRate);
  }
  const int64_t trimmed = static_cast<int64_t>(duration.value) - frames;
  return MakeTime(trimmed > 0 ? static_cast<A_long>(trimmed) : 0, duration.scale);
}

double rangeOffset(const PreRenderRecord& record, double easedPhase, double durationSeconds) {
  if (record.rangeType == kRangePercent) {
    return durationSeconds *
           (record.rangeStartFraction + easedPhase * (record.rangeEndFraction - record.rangeStartFraction));
  }
  if (record.rangeType == kRangeSecond) {
    return record.rangeStartSeconds + easedPhase * (record.rangeEndSeconds - record.rangeStartSeconds);
  }
  return 0.0;
}

A_Time sourceCompTime(A_Time inPoint, double offset, A_u_long timeScale) {
  const double inSeconds = TimeToSeconds(inPoint);
  return MakeTime(RoundHalfUp((inSeconds + offset) * timeScale), timeScale);
}

}  // namespace zelvan
