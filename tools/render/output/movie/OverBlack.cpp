#include "OverBlack.h"

#include <cstdint>
#include <cstring>

namespace zelvan::render {
namespace {

template <typename T, uint32_t kMax>
void Rows(unsigned char* rgba, int width, int rows, std::ptrdiff_t rowbytes) {
  for (int y = 0; y < rows; ++y) {
    unsigned char* row = rgba + static_cast<std::ptrdiff_t>(y) * rowbytes;
    for (int x = 0; x < width; ++x) {
      T p[4];
      std::memcpy(p, row + static_cast<std::ptrdiff_t>(x) * static_cast<std::ptrdiff_t>(sizeof p), sizeof p);
      const uint32_t a = p[3];
      if (a == kMax) continue;
      for (int c = 0; c < 3; ++c) p[c] = static_cast<T>((p[c] * a + kMax / 2) / kMax);
      p[3] = static_cast<T>(kMax);
      std::memcpy(row + static_cast<std::ptrdiff_t>(x) * static_cast<std::ptrdiff_t>(sizeof p), p, sizeof p);
    }
  }
}

}  // namespace

void CompositeOverBlack(unsigned char* rgba, int width, int rows, std::ptrdiff_t rowbytes, bool deep) {
  if (deep) {
    Rows<uint16_t, 65535>(rgba, width, rows, rowbytes);
  } else {
    Rows<uint8_t, 255>(rgba, width, rows, rowbytes);
  }
}

}  // namespace zelvan::render
