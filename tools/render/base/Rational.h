// A frame rate as an exact fraction, so that 30000/1001 stays exact.
#pragma once

#include <cstdint>
#include <string>

namespace zelvan::render {

struct Rational {
  int64_t num = 1;
  int64_t den = 1;
  double value() const { return static_cast<double>(num) / static_cast<double>(den); }
  std::string text() const;  // "30" or "30000/1001"
  // A rate a render takes: above 0, at most kMaxFps, in a fraction of at
  // most kMaxRateNum over kMaxRateDen.
  bool usable() const;
};

constexpr int64_t kMaxRateNum = 1000000;
constexpr int64_t kMaxRateDen = 100000;
constexpr double kMaxFps = 1000.0;

}  // namespace zelvan::render
