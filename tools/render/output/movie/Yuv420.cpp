#include "Yuv420.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "PixelWorld.h"

namespace zelvan::render {
namespace {

// BT.709 in video levels, for R, G, B from 0 to 255, scaled by 2^16:
// Y = 16 + 219/255 (0.2126 R + 0.7152 G + 0.0722 B), and the chroma rows
// 224/255 of (B - Y') / 1.8556 and (R - Y') / 1.5748; each chroma row sums to 0.
constexpr int32_t kYr = 11966, kYg = 40254, kYb = 4064;
constexpr int32_t kUr = -6596, kUg = -22188, kUb = 28784;
constexpr int32_t kVr = 28784, kVg = -26145, kVb = -2639;
static_assert(kUr + kUg + kUb == 0 && kVr + kVg + kVb == 0, "grey has no colour");

inline uint8_t Luma(int32_t r, int32_t g, int32_t b) {
  return static_cast<uint8_t>((kYr * r + kYg * g + kYb * b + (16 << 16) + (1 << 15)) >> 16);
}
// From the sums of four pixels; the offset keeps the sum positive before the shift.
inline uint8_t ChromaU(int32_t r4, int32_t g4, int32_t b4) {
  return static_cast<uint8_t>((kUr * r4 + kUg * g4 + kUb * b4 + (128 << 18) + (1 << 17)) >> 18);
}
inline uint8_t ChromaV(int32_t r4, int32_t g4, int32_t b4) {
  return static_cast<uint8_t>((kVr * r4 + kVg * g4 + kVb * b4 + (128 << 18) + (1 << 17)) >> 18);
}

// A pixel's premultiplied colour at 8 bits, and its alpha's distance below opaque.
struct Rgb {
  int32_t r, g, b;
};
inline Rgb Eight(const PF_Pixel8& p) { return {p.red, p.green, p.blue}; }
inline uint32_t Below(const PF_Pixel8& p) { return 255u - p.alpha; }
inline int32_t Eight16(A_u_short v) { return (std::min<int32_t>(v, 32768) * 255 + 16384) >> 15; }
inline Rgb Eight(const PF_Pixel16& p) { return {Eight16(p.red), Eight16(p.green), Eight16(p.blue)}; }
inline uint32_t Below(const PF_Pixel16& p) { return p.alpha < 32768 ? 1u : 0u; }
inline int32_t EightF(float v) { return static_cast<int32_t>((v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v) * 255.0f + 0.5f); }
inline Rgb Eight(const PF_PixelFloat& p) { return {EightF(p.red), EightF(p.green), EightF(p.blue)}; }
inline uint32_t Below(const PF_PixelFloat& p) { return p.alpha < 1.0f ? 1u : 0u; }

// Luma and the alpha check, pixel by pixel: a loop the compiler vectorises.
template <typename Pixel>
void LumaRow(const Pixel* p, uint8_t* y, int w, uint32_t& below) {
  for (int x = 0; x < w; ++x) {
    const Rgb c = Eight(p[x]);
    below |= Below(p[x]);
    y[x] = Luma(c.r, c.g, c.b);
  }
}

// Chroma from two rows, block by block. A block that the padding shares
// (the column past an odd width) takes the picture's colour alone: averaged
// with black, a saturated edge would show at half its colour.
template <typename Pixel>
void ChromaRow(const Pixel* p0, const Pixel* p1, uint8_t* u, uint8_t* v, int w) {
  const int pairs = w / 2;
  for (int i = 0; i < pairs; ++i) {
    const Rgb a = Eight(p0[2 * i]), b = Eight(p0[2 * i + 1]), c = Eight(p1[2 * i]), d = Eight(p1[2 * i + 1]);
    const int32_t r = a.r + b.r + c.r + d.r, g = a.g + b.g + c.g + d.g, bl = a.b + b.b + c.b + d.b;
    u[i] = ChromaU(r, g, bl);
    v[i] = ChromaV(r, g, bl);
  }
  if (w % 2 != 0) {
    const Rgb a = Eight(p0[w - 1]), c = Eight(p1[w - 1]);
    const int32_t r = 2 * (a.r + c.r), g = 2 * (a.g + c.g), bl = 2 * (a.b + c.b);
    u[pairs] = ChromaU(r, g, bl);
    v[pairs] = ChromaV(r, g, bl);
  }
}

// 8 bits, the common case, read as whole ARGB words: shifts and masks
// vectorise without the shuffles that byte fields need. These overloads
// win over the templates above for PF_Pixel8.
#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "an ARGB word holds alpha in its low byte only on a little-endian machine"
#endif
inline uint32_t Word(const PF_Pixel8* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline int32_t Channel(uint32_t word, int shift) { return static_cast<int32_t>((word >> shift) & 255u); }
constexpr int kRed = 8, kGreen = 16, kBlue = 24;

inline void LumaRow(const PF_Pixel8* p, uint8_t* y, int w, uint32_t& below) {
  uint32_t alpha = 255u;
  for (int x = 0; x < w; ++x) {
    const uint32_t v = Word(p + x);
    alpha &= v;
    y[x] = Luma(Channel(v, kRed), Channel(v, kGreen), Channel(v, kBlue));
  }
  below |= (alpha & 255u) != 255u ? 1u : 0u;
}

inline void ChromaRow(const PF_Pixel8* p0, const PF_Pixel8* p1, uint8_t* u, uint8_t* v, int w) {
  const int pairs = w / 2;
  for (int i = 0; i < pairs; ++i) {
    const uint32_t a = Word(p0 + 2 * i), b = Word(p0 + 2 * i + 1), c = Word(p1 + 2 * i), d = Word(p1 + 2 * i + 1);
    auto sum = [&](int shift) { return Channel(a, shift) + Channel(b, shift) + Channel(c, shift) + Channel(d, shift); };
    const int32_t r = sum(kRed), g = sum(kGreen), bl = sum(kBlue);
    u[i] = ChromaU(r, g, bl);
    v[i] = ChromaV(r, g, bl);
  }
  if (w % 2 != 0) {
    const uint32_t a = Word(p0 + w - 1), c = Word(p1 + w - 1);
    auto sum = [&](int shift) { return 2 * (Channel(a, shift) + Channel(c, shift)); };
    const int32_t r = sum(kRed), g = sum(kGreen), bl = sum(kBlue);
    u[pairs] = ChromaU(r, g, bl);
    v[pairs] = ChromaV(r, g, bl);
  }
}

template <typename Pixel>
bool Convert(const PF_EffectWorld& world, uint8_t* const planes[3], const int strides[3], Padding padding) {
  const int w = world.width, h = world.height;
  const auto* data = static_cast<const unsigned char*>(static_cast<const void*>(world.data));
  auto row = [&](int y) {
    return reinterpret_cast<const Pixel*>(data + static_cast<std::ptrdiff_t>(y) * world.rowbytes);
  };
  auto plane = [&](int p, int y) { return planes[p] + static_cast<std::ptrdiff_t>(y) * strides[p]; };
  const bool pad = padding == Padding::kToEven;
  uint32_t below = 0;
  // Two rows at a time, luma then their chroma, while the rows are in cache.
  for (int cy = 0; cy < (h + 1) / 2; ++cy) {
    const int y0 = 2 * cy, y1 = std::min(y0 + 1, h - 1);
    LumaRow(row(y0), plane(0, y0), w, below);
    if (y1 != y0) LumaRow(row(y1), plane(0, y1), w, below);
    ChromaRow(row(y0), row(y1), plane(1, cy), plane(2, cy), w);
    if (pad && w % 2 != 0) {
      plane(0, y0)[w] = 16;
      if (y1 != y0) plane(0, y1)[w] = 16;
    }
  }
  // The padding's luma is black; the chroma row it shares with the last
  // picture row takes that row's colour alone.
  if (pad && h % 2 != 0) std::fill(plane(0, h), plane(0, h) + w + w % 2, uint8_t{16});
  return below != 0;
}

// The common case, 8 bits, also compiled for AVX2, taken where the CPU has it.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target_clones("avx2", "default"), flatten))
#endif
bool Convert8(const PF_EffectWorld& world, uint8_t* const planes[3], const int strides[3], Padding padding) {
  return Convert<PF_Pixel8>(world, planes, strides, padding);
}

}  // namespace

bool WorldToYuv420(const PF_EffectWorld& world, uint8_t* const planes[3], const int strides[3], Padding padding) {
  switch (pixels::DepthOf(world)) {
    case pixels::Depth::k8:
      return Convert8(world, planes, strides, padding);
    case pixels::Depth::k16:
      return Convert<PF_Pixel16>(world, planes, strides, padding);
    case pixels::Depth::kFloat:
      break;
  }
  return Convert<PF_PixelFloat>(world, planes, strides, padding);
}

}  // namespace zelvan::render
