// A number as messages show it: at most six significant digits, an exponent
// for the very large and very small ("1e+300", "0.25", "29.97").
#pragma once

#include <cstdio>
#include <string>

namespace zelvan::render {

inline std::string Compact(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace zelvan::render
