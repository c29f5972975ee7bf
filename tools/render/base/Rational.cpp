#include "Rational.h"

namespace zelvan::render {

bool Rational::usable() const {
  return num > 0 && den > 0 && num <= kMaxRateNum && den <= kMaxRateDen && value() <= kMaxFps;
}

std::string Rational::text() const {
  return den == 1 ? std::to_string(num) : std::to_string(num) + "/" + std::to_string(den);
}

}  // namespace zelvan::render
