#include "TypicalStep.h"

#include <algorithm>

namespace zelvan::render {

float TypicalStep(std::vector<float> steps) {
  steps.erase(std::remove_if(steps.begin(), steps.end(), [](float s) { return !(s > 0.0f); }), steps.end());
  if (steps.empty()) return 0.0f;
  const std::size_t half = steps.size() / 2;
  std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(half), steps.end());
  const float upper = steps[half];
  if (steps.size() % 2 != 0) return upper;
  const float lower = *std::max_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(half));
  return (lower + upper) / 2.0f;
}

}  // namespace zelvan::render
