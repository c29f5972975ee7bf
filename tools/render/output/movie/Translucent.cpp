#include "Translucent.h"

#include <cstddef>

#include "PixelWorld.h"

namespace zelvan::render {
namespace {

inline bool Below(const PF_Pixel8& p) { return p.alpha < 255; }
inline bool Below(const PF_Pixel16& p) { return p.alpha < 32768; }
inline bool Below(const PF_PixelFloat& p) { return p.alpha < 1.0f; }

template <typename Pixel>
bool AnyBelow(const PF_EffectWorld& world) {
  const auto* data = static_cast<const unsigned char*>(static_cast<const void*>(world.data));
  for (int y = 0; y < world.height; ++y) {
    const auto* row = reinterpret_cast<const Pixel*>(data + static_cast<std::ptrdiff_t>(y) * world.rowbytes);
    for (int x = 0; x < world.width; ++x) {
      if (Below(row[x])) return true;
    }
  }
  return false;
}

}  // namespace

bool HasTranslucentPixel(const PF_EffectWorld& world) {
  if (world.data == nullptr) return false;
  switch (pixels::DepthOf(world)) {
    case pixels::Depth::k8:
      return AnyBelow<PF_Pixel8>(world);
    case pixels::Depth::k16:
      return AnyBelow<PF_Pixel16>(world);
    case pixels::Depth::kFloat:
      break;
  }
  return AnyBelow<PF_PixelFloat>(world);
}

}  // namespace zelvan::render
