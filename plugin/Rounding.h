// Turning doubles into the host's 32-bit integers.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace zelvan {

// Truncates toward zero, saturating at the 32-bit limits; NaN gives 0. A plain
// cast of an out-of-range double is undefined, and hostile sizes, rates or
// slider values can produce one.
inline int32_t TruncateToLong(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (x <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(x);
}

// Pixel values round by adding 0.5 and truncating toward zero, so a negative
// value rounds toward zero (-80.5 gives -80); placements clamp negatives to 0.
inline int32_t RoundToLong(double x) { return TruncateToLong(x + 0.5); }

// Times round half up (the floor of x + 0.5). Truncating would move an exact
// negative frame -k to -(k-1): a source layer that starts before the
// composition would show one frame late and repeat a frame at the zero
// crossing. For x >= -0.5 this equals RoundToLong to the bit.
inline int32_t RoundHalfUp(double x) { return TruncateToLong(std::floor(x + 0.5)); }

}  // namespace zelvan
