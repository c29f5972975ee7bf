// Owning pixel worlds of the simulated host, and helpers to fill, read,
// compare, checksum and frame-stamp any PF_EffectWorld.
#pragma once

#include <cstdint>
#include <memory>

#include "AE_Effect.h"

namespace zelvan::pixels {

enum class Depth { k8, k16, kFloat };

// FLOAT wins over DEEP when a world carries both flags.
Depth DepthOf(const PF_EffectWorld& world);
A_long BytesPerPixel(Depth depth);
A_long BytesPerChannel(Depth depth);
A_long DepthFlags(Depth depth);  // the world_flags bits of a depth

// A pixel as normalised channels: 8 bits over 255, 16 bits over 32768,
// float as stored. Member order follows the memory order, ARGB.
struct Color {
  float alpha = 0.0f, red = 0.0f, green = 0.0f, blue = 0.0f;
};
bool operator==(const Color& a, const Color& b);
inline bool operator!=(const Color& a, const Color& b) { return !(a == b); }

// Pixel access on any world; (x, y) must lie inside it. Integer depths clamp
// to [0, 1] and round half up; NaN stores as 0.
Color GetPixel(const PF_EffectWorld& world, A_long x, A_long y);
void SetPixel(PF_EffectWorld& world, A_long x, A_long y, const Color& c);
// The part of rect inside the world; the whole world for a null rect.
void FillRect(PF_EffectWorld& world, const PF_LRect* rect, const Color& c);

// Owns its pixels and exposes them as the PF_EffectWorld the host hands to
// the plug-in. Rows are rowbytes apart: width * BytesPerPixel + padding.
class PixelWorld {
 public:
  PixelWorld();  // 0 x 0, 8 bits, no pixels
  // Pixels start transparent (all zero); padding bytes start 0xA5 so that a
  // write into them shows. padding_bytes must be a non-negative multiple of
  // the channel size (rows stay aligned for 16-bit and float access).
  // Throws std::invalid_argument for negative sizes or bad padding and
  // std::bad_alloc when the size cannot be held.
  PixelWorld(A_long width, A_long height, Depth depth, A_long padding_bytes = 0);
  // The same, its pixels starting as `fill` (written once, not zeroed first).
  PixelWorld(A_long width, A_long height, Depth depth, A_long padding_bytes, const Color& fill);

  PixelWorld(const PixelWorld& other);
  PixelWorld& operator=(const PixelWorld& other);
  PixelWorld(PixelWorld&& other) noexcept;
  PixelWorld& operator=(PixelWorld&& other) noexcept;
  ~PixelWorld();

  // The view stays valid, at the same address, for the object's lifetime.
  PF_EffectWorld* world() { return &world_; }
  const PF_EffectWorld* world() const { return &world_; }

  A_long width() const { return world_.width; }
  A_long height() const { return world_.height; }
  A_long rowbytes() const { return world_.rowbytes; }
  Depth depth() const { return depth_; }
  A_long padding() const { return padding_; }

  void fill(const Color& c) { FillRect(world_, nullptr, c); }
  Color get(A_long x, A_long y) const { return GetPixel(world_, x, y); }
  void set(A_long x, A_long y, const Color& c) { SetPixel(world_, x, y, c); }

  // Raw bytes of row y (pixels then padding).
  unsigned char* row(A_long y);
  const unsigned char* row(A_long y) const;
  // True when every padding byte still holds its initial pattern (of the
  // rows as allocated, whatever the view's fields say now).
  bool paddingIntact() const;

 private:
  // `zeroed`: the pixels start all zero; else the caller writes every one.
  void init(A_long width, A_long height, Depth depth, A_long padding_bytes, bool zeroed = true);

  PF_EffectWorld world_{};
  Depth depth_ = Depth::k8;
  A_long padding_ = 0;
  std::size_t size_ = 0;
  A_long rows_ = 0, row_bytes_ = 0;  // as allocated
  std::unique_ptr<unsigned char[]> bytes_;
};

// Result of comparing two worlds channel by channel, in normalised units.
struct Comparison {
  bool same_shape = false;  // same width, height and depth
  double max_diff = 0.0;    // largest channel difference (infinite for NaN against a number)
  A_long worst_x = -1, worst_y = -1;
  std::int64_t over = 0;  // channels further apart than the tolerance
  bool within() const { return same_shape && over == 0; }
};
// Bit-identical channels are equal (NaN included). A non-null region limits
// the comparison to its part inside both worlds.
Comparison CompareWorlds(const PF_EffectWorld& a, const PF_EffectWorld& b, double tolerance,
                         const PF_LRect* region = nullptr);

// Whether two worlds hold the same size, depth and pixel bytes (padding
// excluded): what equal checksums would say, at the speed of memcmp.
bool SamePixels(const PF_EffectWorld& a, const PF_EffectWorld& b);

// 64-bit FNV-1a over size, depth and the pixel bytes (padding excluded), so
// equal pixels give equal sums on every little-endian IEEE platform.
std::uint64_t Checksum(const PF_EffectWorld& world);

// A digest of size, depth and the pixel bytes (padding excluded) at the speed
// of memory, to see within one run whether a world changed without keeping a
// copy of it: any one changed word always changes it. Not a stable sum
// across platforms, as Checksum is.
std::uint64_t Fingerprint(const PF_EffectWorld& world);

// Frame stamp: the world is tiled with square cells of constant colour that
// all encode the frame number, so any cell centre of a scaled or cropped copy
// still reads it back. Alternate cells use the complemented code so that the
// grid is visible and a misplaced copy differs from the expected one. Alpha
// is 1; code channels stay inside [0.1, 0.9], so black, white and transparent
// pixels never decode.
constexpr int kStampMaxFrame = 16383;
A_long DefaultStampCell(A_long width, A_long height);
// Throws std::out_of_range for a frame outside [0, kStampMaxFrame];
// cell <= 0 picks DefaultStampCell.
void PaintFrameStamp(PF_EffectWorld& world, int frame, A_long cell = 0);
// The frame encoded at (x, y) when it and its neighbours 2 pixels away in the
// four directions hold the same valid code; -1 otherwise (or outside).
int ReadStampAt(const PF_EffectWorld& world, A_long x, A_long y);
struct StampReading {
  int frame = -1;   // the most frequent frame read, -1 when none
  int votes = 0;    // samples that read it
  int samples = 0;  // samples tried
  int readable = 0; // samples that read any frame
};
// Samples a grid of about 64 x 64 points over region (null: whole world).
StampReading ReadFrameStamp(const PF_EffectWorld& world, const PF_LRect* region = nullptr);

// Large digits for people: a 5 x 7 font, each font pixel a scale x scale
// square, one font pixel between glyphs; drawing is clipped to the world.
PF_LRect NumberBounds(long long number, A_long left, A_long top, A_long scale);
void DrawNumber(PF_EffectWorld& world, long long number, A_long left, A_long top, A_long scale,
                const Color& ink);
// A demo frame: the stamp of frame modulo (kStampMaxFrame + 1) with the
// whole number drawn large, white on a black box, in the centre.
void PaintDemoFrame(PF_EffectWorld& world, long long frame);

}  // namespace zelvan::pixels
