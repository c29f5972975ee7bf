#include "Rational.h"

namespace zelvan::render {

RateFault Rational::fault() const {
  if (num <= 0 || den <= 0) return RateFault::kTooLow;
  // Exact: a 64-bit numerator times the bounds needs more than 64 bits.
  const __int128 n = num, d = den;
  if (n * kMinFpsDen < d) return RateFault::kTooLow;
  if (n > d * kMaxFps) return RateFault::kTooHigh;
  if (num > kMaxRateNum || den > kMaxRateDen) return RateFault::kTooFine;
  return RateFault::kNone;
}

std::string Rational::text() const {
  return den == 1 ? std::to_string(num) : std::to_string(num) + "/" + std::to_string(den);
}

std::string LowestRateText() { return Rational{1, kMinFpsDen}.text(); }

}  // namespace zelvan::render
