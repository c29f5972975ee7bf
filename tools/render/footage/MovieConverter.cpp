#include "MovieConverter.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <type_traits>
#include <vector>

#include "DepthTable.h"
#include "NearestSample.h"

namespace zelvan::render {
namespace {

// The converter's channels: a file's at 8 and 16 bits, 16 bits for float.
template <class Row>
using ConvertedChannel =
    std::conditional_t<std::is_integral_v<typename Row::FileChannel>, typename Row::FileChannel, uint16_t>;

// A converted channel, 0 to its maximum, as the world holds it.
template <class Row, class In>
ChannelOf<Row> ToWorld(uint32_t v) {
  if constexpr (std::is_floating_point_v<ChannelOf<Row>>) {
    constexpr float kScale = 1.0f / static_cast<float>(std::numeric_limits<In>::max());
    return static_cast<float>(v) * kScale;
  } else {
    return Row::FromFile(static_cast<typename Row::FileChannel>(v));
  }
}

// Straight colour times alpha, as the image reader premultiplies image files
// (truncating), so that a movie and a picture of the same pixels agree.
inline uint32_t Premultiply(uint32_t c, uint32_t a, uint32_t max) { return c * a / max; }

template <class Row, class In, bool kStraight>
void CopyPixel(const In* s, typename Row::Pixel& q) {
  constexpr uint32_t kMax = std::numeric_limits<In>::max();
  const uint32_t a = s[3];
  if constexpr (kStraight) {
    q = {ToWorld<Row, In>(a), ToWorld<Row, In>(Premultiply(s[0], a, kMax)),
         ToWorld<Row, In>(Premultiply(s[1], a, kMax)), ToWorld<Row, In>(Premultiply(s[2], a, kMax))};
  } else {
    q = {ToWorld<Row, In>(a), ToWorld<Row, In>(s[0]), ToWorld<Row, In>(s[1]), ToWorld<Row, In>(s[2])};
  }
}

// Copies the converted picture (RGBA) into the world, turned as shown and
// scaled by nearest sample to the world's size.
template <class Row, bool kStraight>
void CopyShown(const AVFrame& rgb, const FrameShape& shape, PF_EffectWorld& w) {
  using In = ConvertedChannel<Row>;
  using Pixel = typename Row::Pixel;
  const Orientation& o = shape.orientation;
  const auto px = static_cast<std::ptrdiff_t>(4 * sizeof(In));
  const std::ptrdiff_t line = rgb.linesize[0];
  const int sw = rgb.width, sh = rgb.height;
  // Where in the stored picture the pixel shown at column x lies, from the
  // start of the stored row or column that holds the shown row.
  std::vector<std::ptrdiff_t> column(static_cast<std::size_t>(std::max<A_long>(w.width, 0)));
  for (A_long x = 0; x < w.width; ++x) {
    const auto u = static_cast<int>(NearestSample(x, shape.width(), w.width));
    column[static_cast<std::size_t>(x)] = o.swap ? (o.flip_y ? sh - 1 - u : u) * line : (o.flip_x ? sw - 1 - u : u) * px;
  }
  auto* out = static_cast<unsigned char*>(static_cast<void*>(w.data));
  // Upright and of the world's size (a clip played as it is): pixel x is
  // pixel x, a loop the compiler vectorises.
  const bool as_stored = !o.swap && !o.flip_x && !o.flip_y && w.width == sw && w.height == sh;
  for (A_long y = 0; y < w.height; ++y) {
    const auto v = static_cast<int>(NearestSample(y, shape.height(), w.height));
    const uint8_t* base = rgb.data[0] + (o.swap ? (o.flip_x ? sw - 1 - v : v) * px : (o.flip_y ? sh - 1 - v : v) * line);
    auto* q = reinterpret_cast<Pixel*>(out + static_cast<std::ptrdiff_t>(y) * w.rowbytes);
    if (as_stored) {
      const In* s = reinterpret_cast<const In*>(base);
      for (A_long x = 0; x < w.width; ++x) CopyPixel<Row, In, kStraight>(s + 4 * x, q[x]);
      continue;
    }
    for (A_long x = 0; x < w.width; ++x) {
      CopyPixel<Row, In, kStraight>(reinterpret_cast<const In*>(base + column[static_cast<std::size_t>(x)]), q[x]);
    }
  }
}

// Movies with alpha carry it straight (ProRes 4444, QuickTime RLE, PNG).
bool StraightAlpha(const AVFrame& picture) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture.format));
  return d != nullptr && (d->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
}

}  // namespace

const char* MovieConverter::Paint(const AVFrame& picture, const FrameShape& shape, PF_EffectWorld& world) {
  return WithDepth(pixels::DepthOf(world), [&](auto row) -> const char* {
    using Row = decltype(row);
    // RGBA, then turned to the host's alpha-first order: FFmpeg's own decode
    // to RGB takes that road, and its road to ARGB rounds differently.
    const AVPixelFormat rgba = sizeof(ConvertedChannel<Row>) == 1 ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGBA64;
    if (const char* cause = ToRgba(picture, shape, rgba)) return cause;
    if (StraightAlpha(picture)) {
      CopyShown<Row, true>(*rgb_, shape, world);
    } else {
      CopyShown<Row, false>(*rgb_, shape, world);
    }
    return nullptr;
  });
}

const char* MovieConverter::ToRgba(const AVFrame& f, const FrameShape& shape, AVPixelFormat format) {
  if (f.width <= 0 || f.height <= 0) return "the decoder gave a picture of no pixels";
  sws_.reset(sws_getCachedContext(sws_.release(), f.width, f.height, static_cast<AVPixelFormat>(f.format),
                                  shape.stored_width, shape.stored_height, format, SWS_BICUBIC, nullptr, nullptr,
                                  nullptr));
  if (!sws_) return "no conversion from its pixel format";
  // The matrix and range the frame declares, as FFmpeg's own scale filter
  // takes them: BT.601's matrix where it declares none, whatever its size.
  const int space = f.colorspace == AVCOL_SPC_UNSPECIFIED || f.colorspace == AVCOL_SPC_RGB ? SWS_CS_DEFAULT : f.colorspace;
  sws_setColorspaceDetails(sws_.get(), sws_getCoefficients(space), f.color_range == AVCOL_RANGE_JPEG ? 1 : 0,
                           sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
  // libswscale writes whole vectors past the end of a row: it converts into
  // a frame padded and aligned as FFmpeg allocates its own, never straight
  // into the world, whose rows are packed tight.
  if (!rgb_ || rgb_->format != format) {
    rgb_.reset(av_frame_alloc());
    if (!rgb_) throw std::bad_alloc();
    rgb_->format = format;
    rgb_->width = shape.stored_width;
    rgb_->height = shape.stored_height;
    if (av_frame_get_buffer(rgb_.get(), 0) < 0) {
      rgb_.reset();
      throw std::bad_alloc();
    }
  }
  const int rows = sws_scale(sws_.get(), f.data, f.linesize, 0, f.height, rgb_->data, rgb_->linesize);
  if (rows <= 0) return "the picture could not be converted";
  return nullptr;
}

}  // namespace zelvan::render
