// FFmpeg's fractions as the tool's exact ones.
#pragma once

extern "C" {
#include <libavutil/rational.h>
}

#include <cstdint>
#include <numeric>

#include "Rational.h"

namespace zelvan::render {

// In lowest terms; num and den above 0.
inline Rational Reduced(AVRational r) {
  const int64_t g = std::gcd<int64_t>(r.num, r.den);
  return Rational{r.num / g, r.den / g};
}

// A rate a render takes (see Rational::usable).
inline bool ValidRate(AVRational r) { return Rational{r.num, r.den}.usable(); }

}  // namespace zelvan::render
