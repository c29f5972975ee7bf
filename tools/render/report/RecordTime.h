// Reading a render's record: a host time in seconds, and the loop turn a
// frame's "Time" angle is in.
#pragma once

#include <cmath>

#include "RenderRecord.h"

namespace zelvan::render {

inline double Seconds(const A_Time& t) {
  return t.scale == 0 ? 0.0 : static_cast<double>(t.value) / static_cast<double>(t.scale);
}

// Whole turns of the angle the host handed over (360 degrees each).
inline long long Turn(const HostParams& p) {
  return static_cast<long long>(std::floor(p.snapshot(kParamTime) / 360.0));
}

}  // namespace zelvan::render
