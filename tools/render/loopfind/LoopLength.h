// A loop's length as the user gives it to --min and --max: seconds ("2s",
// "0.5s") or frames ("48f"), counted in frames at the footage's rate.
#pragma once

#include <cstdint>
#include <string>

#include "Rational.h"

namespace zelvan::render {

struct LoopLength {
  double value = 0.0;
  bool frames = false;
  std::string text;  // as given, for messages
};

// Reads "2s" or "48f" for `option` (--min, --max). Throws UsageError naming
// the option: no unit, a fraction of a frame, nothing above 0.
LoopLength ParseLoopLength(const std::string& option, const std::string& text);

// The frames a loop at least that long needs at `fps` (seconds rounded up),
// and the frames a loop at most that long may have (rounded down).
int64_t FramesAtLeast(const LoopLength& length, const Rational& fps);
int64_t FramesAtMost(const LoopLength& length, const Rational& fps);

}  // namespace zelvan::render
