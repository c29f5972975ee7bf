// Loop timing: from the "Time" angle and the frame's snapshot to the moment of
// the source layer to show. Pure double-precision arithmetic, in the order the
// results depend on to the bit.
#pragma once

#include "A.h"
#include "PreRenderRecord.h"

namespace zelvan {

// The host's fmod callback: truncated remainder with the dividend's sign.
using FmodFunc = A_FpLong (*)(A_FpLong, A_FpLong);

// The loop phase, 0 to 1, of the angle for "Cycle" (one turn a loop) or
// "Pingpong" (forwards, then backwards, every 720 degrees); waitingFraction of
// each turn holds the motion's last value. Unknown loop types give phase 0.
double loopPhase(A_long loopType, double timeAngle, double waitingFraction, FmodFunc fmod);

// The duration shortened by one composition frame, never below 0; the scale
// is kept. A frame rate that is not a positive finite number trims nothing.
A_Time trimLastFrame(A_Time duration, double frameRate);

// Seconds from the source's in-point for the eased phase, by the record's
// range type; not clamped. Unknown range types give 0.
double rangeOffset(const PreRenderRecord& record, double easedPhase, double durationSeconds);

// The composition time to show, rounded half up to the render's time scale (saturated
// at the 32-bit limits).
A_Time sourceCompTime(A_Time inPoint, double offset, A_u_long timeScale);

// value / scale, signed over unsigned; a zero scale counts as 0 seconds.
double TimeToSeconds(A_Time t);

}  // namespace zelvan
