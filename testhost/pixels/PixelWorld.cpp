#include "PixelWorld.h"

#include "HostValues.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>


namespace zelvan::pixels {

namespace {

constexpr unsigned char kPaddingByte = 0xA5;

unsigned char* PixelAddress(const PF_EffectWorld& w, A_long x, A_long y, A_long bpp) {
  return static_cast<unsigned char*>(w.data) + static_cast<std::ptrdiff_t>(y) * w.rowbytes +
         static_cast<std::ptrdiff_t>(x) * bpp;
}

// Quantises a normalised value; NaN and out-of-range values never reach the
// float-to-integer conversion.
template <typename T>
T Quantise(float v, float max) {
  if (!(v > 0.0f)) return 0;
  if (v >= 1.0f) return static_cast<T>(max);
  return static_cast<T>(v * max + 0.5f);
}

// One channel (0 alpha .. 3 blue) of the pixel at p, normalised.
float LoadChannel(const unsigned char* p, Depth d, int c) {
  switch (d) {
    case Depth::k8:
      return static_cast<float>(p[c]) / 255.0f;
    case Depth::k16: {
      std::uint16_t v;
      std::memcpy(&v, p + 2 * c, sizeof v);
      return static_cast<float>(v) / 32768.0f;
    }
    case Depth::kFloat:
    default: {
      float v;
      std::memcpy(&v, p + 4 * c, sizeof v);
      return v;
    }
  }
}

// Packs c into one pixel of depth d at out (BytesPerPixel(d) bytes).
void PackPixel(const Color& c, Depth d, unsigned char* out) {
  const float ch[4] = {c.alpha, c.red, c.green, c.blue};
  for (int i = 0; i < 4; ++i) {
    switch (d) {
      case Depth::k8:
        out[i] = Quantise<unsigned char>(ch[i], 255.0f);
        break;
      case Depth::k16: {
        const std::uint16_t v = Quantise<std::uint16_t>(ch[i], 32768.0f);
        std::memcpy(out + 2 * i, &v, sizeof v);
        break;
      }
      case Depth::kFloat:
        std::memcpy(out + 4 * i, &ch[i], sizeof(float));
        break;
    }
  }
}

bool HasPixels(const PF_EffectWorld& w) {
  return w.data != nullptr && w.width > 0 && w.height > 0;
}

// rect clipped to the world, as [x0, x1) x [y0, y1); false when empty.
bool ClipToWorld(const PF_EffectWorld& w, const PF_LRect* rect, A_long& x0, A_long& y0, A_long& x1,
                 A_long& y1) {
  x0 = 0;
  y0 = 0;
  x1 = w.width;
  y1 = w.height;
  if (rect != nullptr) {
    x0 = std::max(x0, rect->left);
    y0 = std::max(y0, rect->top);
    x1 = std::min(x1, rect->right);
    y1 = std::min(y1, rect->bottom);
  }
  return x0 < x1 && y0 < y1;
}

// --- frame stamp ----------------------------------------------------------

constexpr int kStampLevels = 32;  // 5 bits per colour channel
constexpr float kStampLow = 0.1f;
constexpr float kStampSpan = 0.8f;
constexpr int kPayloadBits = 14;
constexpr int kPayloadMask = (1 << kPayloadBits) - 1;

float LevelValue(int level) {
  return kStampLow + kStampSpan * static_cast<float>(level) / static_cast<float>(kStampLevels - 1);
}

Color StampColor(int frame, bool odd) {
  const int code = odd ? ((1 << kPayloadBits) | (~frame & kPayloadMask)) : frame;
  Color c;
  c.alpha = 1.0f;
  c.red = LevelValue((code >> 10) & 31);  // holds the parity bit, so neighbours differ widely
  c.green = LevelValue((code >> 5) & 31);
  c.blue = LevelValue(code & 31);
  return c;
}

// The 15-bit code of a pixel, -1 when it is not a stamp colour.
int DecodePixel(const PF_EffectWorld& w, A_long x, A_long y) {
  const Color c = GetPixel(w, x, y);
  if (!(std::fabs(c.alpha - 1.0f) <= 0.02f)) return -1;
  int code = 0;
  for (float v : {c.red, c.green, c.blue}) {
    const float t = (v - kStampLow) / kStampSpan * static_cast<float>(kStampLevels - 1);
    if (!(t >= -0.35f && t <= static_cast<float>(kStampLevels - 1) + 0.35f)) return -1;
    const int level = static_cast<int>(std::floor(t + 0.5f));
    if (std::fabs(t - static_cast<float>(level)) > 0.35f) return -1;
    code = (code << 5) | level;
  }
  return code;
}

// --- font -----------------------------------------------------------------

// Rows top to bottom, bit 4 the leftmost column; index 10 is '-'.
constexpr unsigned char kGlyphs[11][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},  // 0
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},  // 1
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},  // 2
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},  // 3
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},  // 4
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},  // 5
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},  // 6
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},  // 7
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},  // 8
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},  // 9
    {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00},  // -
};

A_long Saturate(std::int64_t v) {
  return static_cast<A_long>(std::clamp<std::int64_t>(v, std::numeric_limits<A_long>::min(),
                                                      std::numeric_limits<A_long>::max()));
}

// Fills [x0, x1) x [y0, y1), given in 64 bits, clipped to the world.
void FillSpan(PF_EffectWorld& w, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
              const Color& c) {
  const PF_LRect r = MakeRect(Saturate(x0), Saturate(y0), Saturate(x1), Saturate(y1));
  FillRect(w, &r, c);
}

}  // namespace

Depth DepthOf(const PF_EffectWorld& world) {
  if (world.world_flags & PF_WorldFlag_FLOAT) return Depth::kFloat;
  if (world.world_flags & PF_WorldFlag_DEEP) return Depth::k16;
  return Depth::k8;
}

A_long BytesPerChannel(Depth depth) {
  switch (depth) {
    case Depth::k8:
      return 1;
    case Depth::k16:
      return 2;
    case Depth::kFloat:
    default:
      return 4;
  }
}

A_long BytesPerPixel(Depth depth) { return 4 * BytesPerChannel(depth); }

A_long DepthFlags(Depth depth) {
  switch (depth) {
    case Depth::k8:
      return 0;
    case Depth::k16:
      return PF_WorldFlag_DEEP;
    case Depth::kFloat:
    default:
      return PF_WorldFlag_FLOAT;
  }
}

bool operator==(const Color& a, const Color& b) {
  return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

Color GetPixel(const PF_EffectWorld& world, A_long x, A_long y) {
  const Depth d = DepthOf(world);
  const unsigned char* p = PixelAddress(world, x, y, BytesPerPixel(d));
  return Color{LoadChannel(p, d, 0), LoadChannel(p, d, 1), LoadChannel(p, d, 2), LoadChannel(p, d, 3)};
}

void SetPixel(PF_EffectWorld& world, A_long x, A_long y, const Color& c) {
  const Depth d = DepthOf(world);
  PackPixel(c, d, PixelAddress(world, x, y, BytesPerPixel(d)));
}

void FillRect(PF_EffectWorld& world, const PF_LRect* rect, const Color& c) {
  A_long x0, y0, x1, y1;
  if (!HasPixels(world) || !ClipToWorld(world, rect, x0, y0, x1, y1)) return;
  const Depth d = DepthOf(world);
  const A_long bpp = BytesPerPixel(d);
  unsigned char pixel[16];
  PackPixel(c, d, pixel);
  // A pixel of one repeated byte (transparent black at every depth) fills at memset speed.
  const bool one_byte = std::all_of(pixel, pixel + bpp, [&](unsigned char b) { return b == pixel[0]; });
  const auto span = static_cast<std::size_t>(x1 - x0) * static_cast<std::size_t>(bpp);
  const unsigned char* first = PixelAddress(world, x0, y0, bpp);
  for (A_long y = y0; y < y1; ++y) {
    unsigned char* p = PixelAddress(world, x0, y, bpp);
    if (one_byte) {
      std::memset(p, pixel[0], span);
    } else if (y > y0) {
      // Every row as the first: a copy at memory speed.
      std::memcpy(p, first, span);
    } else {
      for (A_long x = x0; x < x1; ++x, p += bpp) std::memcpy(p, pixel, static_cast<std::size_t>(bpp));
    }
  }
}

// --- PixelWorld -------------------------------------------------------------

PixelWorld::PixelWorld() { init(0, 0, Depth::k8, 0); }

PixelWorld::PixelWorld(A_long width, A_long height, Depth depth, A_long padding_bytes) {
  init(width, height, depth, padding_bytes);
}

PixelWorld::PixelWorld(A_long width, A_long height, Depth depth, A_long padding_bytes, const Color& fill) {
  init(width, height, depth, padding_bytes, false);
  FillRect(world_, nullptr, fill);
}

void PixelWorld::init(A_long width, A_long height, Depth depth, A_long padding_bytes, bool zeroed) {
  if (width < 0 || height < 0) throw std::invalid_argument("PixelWorld: negative size");
  if (padding_bytes < 0 || padding_bytes % BytesPerChannel(depth) != 0)
    throw std::invalid_argument("PixelWorld: padding must be a non-negative multiple of the channel size");
  const std::int64_t rowbytes = static_cast<std::int64_t>(width) * BytesPerPixel(depth) + padding_bytes;
  if (rowbytes > std::numeric_limits<A_long>::max())
    throw std::invalid_argument("PixelWorld: rowbytes exceed 32 bits");
  const std::int64_t size = width > 0 && height > 0 ? rowbytes * height : 0;
  if (static_cast<std::uint64_t>(size) > std::numeric_limits<std::size_t>::max() / 2) throw std::bad_alloc();

  depth_ = depth;
  padding_ = padding_bytes;
  size_ = static_cast<std::size_t>(size);
  rows_ = size > 0 ? height : 0;
  row_bytes_ = static_cast<A_long>(rowbytes);
  bytes_.reset(size_ > 0 ? new unsigned char[size_] : nullptr);

  world_ = PF_EffectWorld{};
  world_.world_flags = DepthFlags(depth);
  world_.data = bytes_.get();
  world_.rowbytes = static_cast<A_long>(rowbytes);
  world_.width = width;
  world_.height = height;
  world_.extent_hint = MakeRect(0, 0, width, height);
  world_.pix_aspect_ratio = MakeScale(1, 1);

  const std::size_t pixel_bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(BytesPerPixel(depth));
  for (A_long y = 0; y < (size_ > 0 ? height : 0); ++y) {
    if (zeroed) std::memset(row(y), 0, pixel_bytes);
    std::memset(row(y) + pixel_bytes, kPaddingByte, static_cast<std::size_t>(padding_bytes));
  }
}

PixelWorld::PixelWorld(const PixelWorld& other) {
  init(other.width(), other.height(), other.depth_, other.padding_);
  world_.world_flags = other.world_.world_flags;
  if (size_ > 0) std::memcpy(bytes_.get(), other.bytes_.get(), size_);
}

PixelWorld& PixelWorld::operator=(const PixelWorld& other) {
  if (this != &other) {
    PixelWorld copy(other);
    *this = std::move(copy);
  }
  return *this;
}

PixelWorld::PixelWorld(PixelWorld&& other) noexcept { *this = std::move(other); }

PixelWorld& PixelWorld::operator=(PixelWorld&& other) noexcept {
  if (this != &other) {
    world_ = other.world_;
    depth_ = other.depth_;
    padding_ = other.padding_;
    size_ = other.size_;
    rows_ = other.rows_;
    row_bytes_ = other.row_bytes_;
    bytes_ = std::move(other.bytes_);
    other.world_ = PF_EffectWorld{};
    other.world_.pix_aspect_ratio = MakeScale(1, 1);
    other.depth_ = Depth::k8;
    other.padding_ = 0;
    other.size_ = 0;
    other.rows_ = 0;
    other.row_bytes_ = 0;
  }
  return *this;
}

PixelWorld::~PixelWorld() = default;

unsigned char* PixelWorld::row(A_long y) {
  return bytes_.get() + static_cast<std::ptrdiff_t>(y) * world_.rowbytes;
}

const unsigned char* PixelWorld::row(A_long y) const {
  return bytes_.get() + static_cast<std::ptrdiff_t>(y) * world_.rowbytes;
}

bool PixelWorld::paddingIntact() const {
  if (size_ == 0) return true;
  const std::size_t pixel_bytes = static_cast<std::size_t>(row_bytes_ - padding_);
  for (A_long y = 0; y < rows_; ++y) {
    const unsigned char* p = bytes_.get() + static_cast<std::ptrdiff_t>(y) * row_bytes_ + pixel_bytes;
    for (A_long i = 0; i < padding_; ++i)
      if (p[i] != kPaddingByte) return false;
  }
  return true;
}

// --- comparison and checksum -------------------------------------------------

Comparison CompareWorlds(const PF_EffectWorld& a, const PF_EffectWorld& b, double tolerance,
                         const PF_LRect* region) {
  Comparison r;
  const Depth d = DepthOf(a);
  r.same_shape = a.width == b.width && a.height == b.height && d == DepthOf(b);
  A_long x0, y0, x1, y1;
  if (!r.same_shape || !HasPixels(a) || !HasPixels(b) || !ClipToWorld(a, region, x0, y0, x1, y1)) return r;
  const A_long bpp = BytesPerPixel(d);
  const A_long bpc = BytesPerChannel(d);
  for (A_long y = y0; y < y1; ++y) {
    const unsigned char* pa = PixelAddress(a, x0, y, bpp);
    const unsigned char* pb = PixelAddress(b, x0, y, bpp);
    for (A_long x = x0; x < x1; ++x, pa += bpp, pb += bpp) {
      for (int c = 0; c < 4; ++c) {
        if (std::memcmp(pa + c * bpc, pb + c * bpc, static_cast<std::size_t>(bpc)) == 0) continue;
        double diff = std::fabs(static_cast<double>(LoadChannel(pa, d, c)) - LoadChannel(pb, d, c));
        if (std::isnan(diff)) diff = std::numeric_limits<double>::infinity();
        if (diff > r.max_diff || r.worst_x < 0) {
          r.max_diff = std::max(r.max_diff, diff);
          r.worst_x = x;
          r.worst_y = y;
        }
        if (!(diff <= tolerance)) ++r.over;
      }
    }
  }
  return r;
}

bool SamePixels(const PF_EffectWorld& a, const PF_EffectWorld& b) {
  const Depth d = DepthOf(a);
  if (a.width != b.width || a.height != b.height || d != DepthOf(b)) return false;
  if (!HasPixels(a) || !HasPixels(b)) return HasPixels(a) == HasPixels(b);
  const std::size_t n = static_cast<std::size_t>(a.width) * static_cast<std::size_t>(BytesPerPixel(d));
  for (A_long y = 0; y < a.height; ++y) {
    if (std::memcmp(PixelAddress(a, 0, y, 0), PixelAddress(b, 0, y, 0), n) != 0) return false;
  }
  return true;
}

std::uint64_t Checksum(const PF_EffectWorld& world) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  auto mix = [&h](const unsigned char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      h ^= p[i];
      h *= 0x100000001b3ull;
    }
  };
  const Depth d = DepthOf(world);
  const std::int32_t header[3] = {world.width, world.height, static_cast<std::int32_t>(BytesPerChannel(d))};
  for (std::int32_t v : header) {
    unsigned char le[4];
    for (int i = 0; i < 4; ++i) le[i] = static_cast<unsigned char>(static_cast<std::uint32_t>(v) >> (8 * i));
    mix(le, 4);
  }
  if (!HasPixels(world)) return h;
  const std::size_t n = static_cast<std::size_t>(world.width) * static_cast<std::size_t>(BytesPerPixel(d));
  for (A_long y = 0; y < world.height; ++y) mix(PixelAddress(world, 0, y, 0), n);
  return h;
}

std::uint64_t Fingerprint(const PF_EffectWorld& world) {
  // Four independent lanes of xor, odd multiply and xorshift, each step a
  // bijection of the lane, so one changed word always reaches the result.
  constexpr std::uint64_t kOdd = 0x9e3779b97f4a7c15ull;
  auto step = [](std::uint64_t lane, std::uint64_t word) {
    lane = (lane ^ word) * kOdd;
    return lane ^ (lane >> 29);
  };
  const Depth d = DepthOf(world);
  std::uint64_t lane[4] = {std::uint64_t(std::uint32_t(world.width)), std::uint64_t(std::uint32_t(world.height)),
                           std::uint64_t(BytesPerChannel(d)), 0};
  if (HasPixels(world)) {
    const std::size_t n = static_cast<std::size_t>(world.width) * static_cast<std::size_t>(BytesPerPixel(d));
    for (A_long y = 0; y < world.height; ++y) {
      const unsigned char* p = PixelAddress(world, 0, y, 0);
      std::size_t i = 0;
      for (; i + 32 <= n; i += 32) {
        for (int k = 0; k < 4; ++k) {
          std::uint64_t word;
          std::memcpy(&word, p + i + 8 * k, 8);
          lane[k] = step(lane[k], word);
        }
      }
      for (; i < n; i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, p + i, std::min<std::size_t>(8, n - i));
        lane[3] = step(lane[3], word);
      }
    }
  }
  return step(step(step(lane[0], lane[1]), lane[2]), lane[3]);
}

// --- frame stamp ----------------------------------------------------------

A_long DefaultStampCell(A_long width, A_long height) { return std::max<A_long>(8, std::min(width, height) / 10); }

void PaintFrameStamp(PF_EffectWorld& world, int frame, A_long cell) {
  if (frame < 0 || frame > kStampMaxFrame) throw std::out_of_range("PaintFrameStamp: frame out of range");
  if (!HasPixels(world)) return;
  if (cell <= 0) cell = DefaultStampCell(world.width, world.height);
  const Depth d = DepthOf(world);
  const A_long bpp = BytesPerPixel(d);
  unsigned char even[16], odd[16];
  PackPixel(StampColor(frame, false), d, even);
  PackPixel(StampColor(frame, true), d, odd);
  for (A_long y = 0; y < world.height; ++y) {
    unsigned char* p = PixelAddress(world, 0, y, bpp);
    const A_long cy = y / cell;
    for (A_long x = 0; x < world.width; ++x, p += bpp)
      std::memcpy(p, ((x / cell + cy) & 1) ? odd : even, static_cast<std::size_t>(bpp));
  }
}

int ReadStampAt(const PF_EffectWorld& world, A_long x, A_long y) {
  constexpr A_long kReach = 2;
  if (!HasPixels(world) || x < kReach || y < kReach || x >= world.width - kReach || y >= world.height - kReach)
    return -1;
  const int code = DecodePixel(world, x, y);
  if (code < 0) return -1;
  if (DecodePixel(world, x - kReach, y) != code || DecodePixel(world, x + kReach, y) != code ||
      DecodePixel(world, x, y - kReach) != code || DecodePixel(world, x, y + kReach) != code)
    return -1;
  const bool odd = (code >> kPayloadBits) != 0;
  return odd ? (~code & kPayloadMask) : (code & kPayloadMask);
}

StampReading ReadFrameStamp(const PF_EffectWorld& world, const PF_LRect* region) {
  StampReading r;
  A_long x0, y0, x1, y1;
  if (!HasPixels(world) || !ClipToWorld(world, region, x0, y0, x1, y1)) return r;
  const A_long sx = std::max<A_long>(1, (x1 - x0) / 64);
  const A_long sy = std::max<A_long>(1, (y1 - y0) / 64);
  std::map<int, int> votes;
  for (A_long y = y0 + sy / 2; y < y1; y += sy) {
    for (A_long x = x0 + sx / 2; x < x1; x += sx) {
      ++r.samples;
      const int f = ReadStampAt(world, x, y);
      if (f >= 0) {
        ++r.readable;
        ++votes[f];
      }
    }
  }
  for (const auto& [frame, n] : votes) {
    if (n > r.votes) {
      r.frame = frame;
      r.votes = n;
    }
  }
  return r;
}

// --- digits -----------------------------------------------------------------

PF_LRect NumberBounds(long long number, A_long left, A_long top, A_long scale) {
  const std::int64_t glyphs = static_cast<std::int64_t>(std::to_string(number).size());
  const std::int64_t s = std::max<A_long>(scale, 1);
  return MakeRect(left, top, Saturate(left + (glyphs * 6 - 1) * s), Saturate(top + 7 * s));
}

void DrawNumber(PF_EffectWorld& world, long long number, A_long left, A_long top, A_long scale,
                const Color& ink) {
  if (!HasPixels(world)) return;
  const std::int64_t s = std::max<A_long>(scale, 1);
  const std::string text = std::to_string(number);
  std::int64_t gx = left;
  for (char ch : text) {
    const int g = ch == '-' ? 10 : ch - '0';
    for (int row = 0; row < 7; ++row) {
      for (int col = 0; col < 5; ++col) {
        if (!(kGlyphs[g][row] & (0x10 >> col))) continue;
        const std::int64_t x = gx + col * s;
        const std::int64_t y = static_cast<std::int64_t>(top) + row * s;
        FillSpan(world, x, y, x + s, y + s, ink);
      }
    }
    gx += 6 * s;
  }
}

void PaintDemoFrame(PF_EffectWorld& world, long long frame) {
  constexpr long long kPeriod = kStampMaxFrame + 1;
  PaintFrameStamp(world, static_cast<int>(((frame % kPeriod) + kPeriod) % kPeriod));
  if (!HasPixels(world)) return;
  const std::int64_t glyphs = static_cast<std::int64_t>(std::to_string(frame).size());
  // A quarter of the height, and no wider than 80 % of the width.
  const std::int64_t scale = std::max<std::int64_t>(
      1, std::min<std::int64_t>(world.height / 28, static_cast<std::int64_t>(world.width) * 4 / 5 / (glyphs * 6 - 1)));
  const std::int64_t w = (glyphs * 6 - 1) * scale;
  const std::int64_t h = 7 * scale;
  const std::int64_t left = (world.width - w) / 2;
  const std::int64_t top = (world.height - h) / 2;
  FillSpan(world, left - scale, top - scale, left + w + scale, top + h + scale, Color{1.0f, 0.0f, 0.0f, 0.0f});
  DrawNumber(world, frame, static_cast<A_long>(left), static_cast<A_long>(top), static_cast<A_long>(scale),
             Color{1.0f, 1.0f, 1.0f, 1.0f});
}

}  // namespace zelvan::pixels
