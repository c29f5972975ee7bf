#include "LoopLength.h"

#include <cmath>
#include <stdexcept>

#include "Limits.h"
#include "UsageError.h"

namespace zelvan::render {

LoopLength ParseLoopLength(const std::string& option, const std::string& text) {
  const std::string where = option + " " + text;
  const std::string fix = "write seconds or frames, e.g. " + option + " 2s or " + option + " 48f";
  const char unit = text.empty() ? '\0' : text.back();
  if (unit != 's' && unit != 'f') throw UsageError(where, "needs a unit: s for seconds or f for frames", fix);
  const std::string number = text.substr(0, text.size() - 1);
  double value = 0.0;
  try {
    std::size_t used = 0;
    value = std::stod(number, &used);
    if (used != number.size() || number.find_first_not_of("0123456789.") != std::string::npos) {
      throw std::invalid_argument(number);
    }
  } catch (const std::logic_error&) {
    throw UsageError(where, "is not a length", fix);
  }
  if (!(value > 0.0) || value > static_cast<double>(kMaxFrames)) {
    throw UsageError(where, "must be above 0 and at most " + std::to_string(kMaxFrames), fix);
  }
  if (unit == 'f' && value != std::floor(value)) throw UsageError(where, "is not a whole number of frames", fix);
  return LoopLength{value, unit == 'f', text};
}

// A hair of slack, as the host's: a length exactly on a frame is that frame.
int64_t FramesAtLeast(const LoopLength& length, const Rational& fps) {
  if (length.frames) return static_cast<int64_t>(length.value);
  return static_cast<int64_t>(std::ceil(length.value * fps.value() - 1e-9));
}

int64_t FramesAtMost(const LoopLength& length, const Rational& fps) {
  if (length.frames) return static_cast<int64_t>(length.value);
  return static_cast<int64_t>(std::floor(length.value * fps.value() + 1e-9));
}

}  // namespace zelvan::render
