// What the GIF and the contact sheet share in making their small pictures:
// a size fitted into a box, and a channel value as a byte.
#pragma once

#include <algorithm>
#include <cmath>

namespace zelvan::render {

// w x h fitted into a box of at most max_w x max_h, keeping the aspect,
// never enlarged and never under one pixel a side.
inline void Fit(int w, int h, int max_w, int max_h, int* tw, int* th) {
  const double s = std::min({1.0, static_cast<double>(max_w) / w, static_cast<double>(max_h) / h});
  *tw = std::max(1, static_cast<int>(std::lround(w * s)));
  *th = std::max(1, static_cast<int>(std::lround(h * s)));
}

// A value of 0 to 1 (clamped) as a byte, to the nearest.
inline unsigned char Byte(float v) { return static_cast<unsigned char>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f); }

}  // namespace zelvan::render
