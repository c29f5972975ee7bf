// A frame rate as an exact fraction, so that 30000/1001 stays exact, and the
// rates a render takes: the host counts a frame as `den` ticks of a second
// cut into `num`, and a composition's frame count times `den` must fit its
// 32-bit time. Below 1/kMinFpsDen an .mp4's 32-bit sample times overflow
// where x264 reorders frames (they fail from about 1/30000).
#pragma once

#include <cstdint>
#include <string>

namespace zelvan::render {

constexpr int64_t kMaxRateNum = 1000000;
constexpr int64_t kMaxRateDen = 100000;
constexpr int64_t kMaxFps = 1000;
constexpr int64_t kMinFpsDen = 1000;  // the lowest rate: 1/1000

// Why a rate is not one a render takes.
enum class RateFault {
  kNone,
  kTooLow,   // at or below 0, or below 1/kMinFpsDen
  kTooHigh,  // above kMaxFps
  kTooFine,  // a numerator above kMaxRateNum or a denominator above kMaxRateDen
};

struct Rational {
  int64_t num = 1;
  int64_t den = 1;
  double value() const { return static_cast<double>(num) / static_cast<double>(den); }
  std::string text() const;  // "30" or "30000/1001"
  RateFault fault() const;   // of the fraction as it is, not reduced
  // A rate a render takes: no fault.
  bool usable() const { return fault() == RateFault::kNone; }
};

// The lowest rate a render takes, "1/1000".
std::string LowestRateText();

}  // namespace zelvan::render
