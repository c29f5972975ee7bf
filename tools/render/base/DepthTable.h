// The three depths a world comes in, one row each: the bits a channel has as
// a scene names the depth, the host's pixel type and its channels' maximum,
// the frame file that keeps that depth whole (and the name a scene gives its
// format), the
// channel type of that file (and so the image library's type for it), and
// how a channel goes between the file's scale and the host's. WithDepth calls
// code written once for any pixel type with the row of a world's depth, so
// that readers and writers hold no loop per depth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "AE_Effect.h"
#include "DeepChannels.h"
#include "ImageLibrary.h"
#include "PixelWorld.h"

namespace zelvan::render {

// The formats of frame files: PNG at 8 or 16 bits a channel, or EXR in float.
enum class FrameFormat { Png8, Png16, Exr };

template <pixels::Depth D>
struct DepthRow;

template <>
struct DepthRow<pixels::Depth::k8> {
  static constexpr int kBits = 8;
  using Pixel = PF_Pixel8;
  using FileChannel = uint8_t;
  static constexpr A_u_char kMax = PF_MAX_CHAN8;
  static constexpr FrameFormat kFormat = FrameFormat::Png8;
  static constexpr const char* kFormatName = "png8";
  static A_u_char FromFile(uint8_t v) { return v; }
  static uint8_t ToFile(A_u_char v) { return v; }
};

template <>
struct DepthRow<pixels::Depth::k16> {
  static constexpr int kBits = 16;
  using Pixel = PF_Pixel16;
  using FileChannel = uint16_t;
  static constexpr A_u_short kMax = PF_MAX_CHAN16;
  static constexpr FrameFormat kFormat = FrameFormat::Png16;
  static constexpr const char* kFormatName = "png16";
  // Files run to 65535, the host to 32768.
  static A_u_short FromFile(uint16_t v) { return To15(v); }
  static uint16_t ToFile(A_u_short v) { return From15(v); }
};

template <>
struct DepthRow<pixels::Depth::kFloat> {
  static constexpr int kBits = 32;  // float
  using Pixel = PF_PixelFloat;
  using FileChannel = float;
  static constexpr A_FpShort kMax = 1.0f;
  static constexpr FrameFormat kFormat = FrameFormat::Exr;
  static constexpr const char* kFormatName = "exr";
  static A_FpShort FromFile(float v) { return v; }
  static float ToFile(A_FpShort v) { return v; }
};

// What follows from a row.
template <class Row>
using ChannelOf = decltype(Row::Pixel::alpha);
template <class Row>
constexpr images::Channel kImageTypeOf = std::is_same_v<typename Row::FileChannel, uint8_t>    ? images::Channel::kUint8
                                         : std::is_same_v<typename Row::FileChannel, uint16_t> ? images::Channel::kUint16
                                                                                               : images::Channel::kFloat;

// f(DepthRow<depth>{}): f is generic over the row it is given.
template <class F>
constexpr decltype(auto) WithDepth(pixels::Depth depth, F&& f) {
  switch (depth) {
    case pixels::Depth::k8:
      return std::forward<F>(f)(DepthRow<pixels::Depth::k8>{});
    case pixels::Depth::k16:
      return std::forward<F>(f)(DepthRow<pixels::Depth::k16>{});
    case pixels::Depth::kFloat:
      break;
  }
  return std::forward<F>(f)(DepthRow<pixels::Depth::kFloat>{});
}

inline constexpr pixels::Depth kDepths[] = {pixels::Depth::k8, pixels::Depth::k16, pixels::Depth::kFloat};

constexpr FrameFormat FormatOf(pixels::Depth depth) {
  return WithDepth(depth, [](auto row) { return decltype(row)::kFormat; });
}

// The depth a frame format keeps whole.
constexpr pixels::Depth DepthKeptBy(FrameFormat format) {
  for (const pixels::Depth d : kDepths) {
    if (FormatOf(d) == format) return d;
  }
  return pixels::Depth::kFloat;
}

// The same for the depth whose file is of that format.
template <class F>
constexpr decltype(auto) WithFormat(FrameFormat format, F&& f) {
  return WithDepth(DepthKeptBy(format), std::forward<F>(f));
}

// A depth as a scene names it: 8, 16 or 32 bits a channel; none for another number.
constexpr std::optional<pixels::Depth> DepthOfBits(int64_t bits) {
  for (const pixels::Depth d : kDepths) {
    if (WithDepth(d, [](auto row) { return decltype(row)::kBits; }) == bits) return d;
  }
  return std::nullopt;
}
constexpr int BitsOf(pixels::Depth depth) {
  return WithDepth(depth, [](auto row) { return decltype(row)::kBits; });
}
// "8, 16 or 32 (float)", for messages and help.
inline std::string DepthBitsList() {
  std::string list;
  for (const pixels::Depth d : kDepths) {
    list += (list.empty() ? "" : d == pixels::Depth::kFloat ? " or " : ", ") + std::to_string(BitsOf(d));
  }
  return list + " (float)";
}

// A frame format as a scene names it: "png8", "png16" or "exr".
constexpr const char* FormatName(FrameFormat format) {
  return WithFormat(format, [](auto row) { return decltype(row)::kFormatName; });
}
inline std::optional<FrameFormat> FormatNamed(const std::string& name) {
  for (const pixels::Depth d : kDepths) {
    if (name == FormatName(FormatOf(d))) return FormatOf(d);
  }
  return std::nullopt;
}

inline images::Channel ImageType(pixels::Depth depth) {
  return WithDepth(depth, [](auto row) { return kImageTypeOf<decltype(row)>; });
}
inline images::Channel ImageType(FrameFormat format) { return ImageType(DepthKeptBy(format)); }
// The bytes of one channel of that type.
constexpr std::size_t ChannelSize(images::Channel c) {
  return c == images::Channel::kUint8 ? 1 : c == images::Channel::kUint16 ? 2 : 4;
}

// The table's own rules: four channels of one type a pixel, a file channel
// as wide as the host's, each format kept by one depth.
constexpr bool DepthTableIsSound() {
  bool sound = true;
  for (const pixels::Depth d : kDepths) {
    sound = sound && WithDepth(d, [](auto row) {
      using Row = decltype(row);
      using Channel = ChannelOf<Row>;
      return sizeof(typename Row::Pixel) == 4 * sizeof(Channel) &&
             sizeof(typename Row::FileChannel) == sizeof(Channel) &&
             std::is_floating_point_v<typename Row::FileChannel> == std::is_floating_point_v<Channel> &&
             ChannelSize(kImageTypeOf<Row>) == sizeof(typename Row::FileChannel);
    });
    sound = sound && DepthKeptBy(FormatOf(d)) == d && DepthOfBits(BitsOf(d)) == d;
  }
  return sound;
}
static_assert(DepthTableIsSound(), "see DepthTableIsSound");

}  // namespace zelvan::render
