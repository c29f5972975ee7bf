// Shared helpers of the pixel tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "PixelWorld.h"

namespace zelvan::pixels::test {

inline const char* DepthName(Depth d) {
  switch (d) {
    case Depth::k8:
      return "8bit";
    case Depth::k16:
      return "16bit";
    case Depth::kFloat:
    default:
      return "float";
  }
}

// One quantisation step of a depth, in normalised units (float: a small epsilon).
inline double Step(Depth d) {
  switch (d) {
    case Depth::k8:
      return 1.0 / 255.0;
    case Depth::k16:
      return 1.0 / 32768.0;
    case Depth::kFloat:
    default:
      return 1e-6;
  }
}

// Deterministic noise in every channel, the full range of the depth.
inline void FillNoise(PixelWorld& w, std::uint32_t seed) {
  std::uint32_t s = seed * 2654435761u + 1u;
  for (A_long y = 0; y < w.height(); ++y) {
    for (A_long x = 0; x < w.width(); ++x) {
      float ch[4];
      for (float& c : ch) {
        s = s * 1664525u + 1013904223u;
        c = static_cast<float>(s >> 8) / static_cast<float>(1u << 24);
      }
      w.set(x, y, Color{ch[0], ch[1], ch[2], ch[3]});
    }
  }
}

// Opaque and out of the stamp's code range, so it never reads as a frame.
inline Color Sentinel() { return Color{1.0f, 1.0f, 0.0f, 1.0f}; }

inline bool IsTransparent(const Color& c) {
  return c.alpha == 0.0f && c.red == 0.0f && c.green == 0.0f && c.blue == 0.0f;
}

// Every channel within tol (normalised units).
inline bool Near(const Color& a, const Color& b, double tol) {
  auto close = [tol](float x, float y) { return x == y || std::fabs(static_cast<double>(x) - y) <= tol; };
  return close(a.alpha, b.alpha) && close(a.red, b.red) && close(a.green, b.green) && close(a.blue, b.blue);
}

inline std::string RectText(const PF_LRect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

constexpr Depth kDepths[] = {Depth::k8, Depth::k16, Depth::kFloat};

}  // namespace zelvan::pixels::test
