#include "FrameWriter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <type_traits>

#include "DepthTable.h"
#include "ImageFile.h"
#include "Limits.h"
#include "PixelWorld.h"

namespace zelvan::render {

namespace {

// A world into a PNG of its own depth's channels: exact integers, the colour
// unpremultiplied to the nearest level. True when some pixel is translucent.
template <class Row>
bool CopyStraight(const PF_EffectWorld& world, unsigned char* out, std::ptrdiff_t out_rowbytes) {
  using File = typename Row::FileChannel;
  constexpr uint32_t kMax = std::numeric_limits<File>::max();
  const auto* data = static_cast<const unsigned char*>(static_cast<const void*>(world.data));
  uint32_t lowest = kMax;
  for (A_long y = 0; y < world.height; ++y) {
    const auto* p = reinterpret_cast<const typename Row::Pixel*>(data + static_cast<std::ptrdiff_t>(y) * world.rowbytes);
    auto* q = reinterpret_cast<File*>(out + static_cast<std::ptrdiff_t>(y) * out_rowbytes);
    for (A_long x = 0; x < world.width; ++x, q += 4) {
      const uint32_t a = Row::ToFile(p[x].alpha);
      lowest = std::min(lowest, a);
      const bool straight = a == kMax || a == 0;
      const uint32_t colour[3] = {Row::ToFile(p[x].red), Row::ToFile(p[x].green), Row::ToFile(p[x].blue)};
      for (int c = 0; c < 3; ++c) {
        const uint32_t v = colour[c];
        // PNG keeps colour unpremultiplied.
        q[c] = static_cast<File>(straight ? v : std::min<uint32_t>(kMax, (v * kMax + a / 2) / a));
      }
      q[3] = static_cast<File>(a);
    }
  }
  return lowest < kMax;
}

// Any other pairing goes through the host's normalised colour.
bool CopyNormalised(const PF_EffectWorld& world, FrameFormat format, unsigned char* out, std::ptrdiff_t out_rowbytes) {
  bool translucent = false;
  const std::size_t channel = ChannelBytes(format);
  for (A_long y = 0; y < world.height; ++y) {
    unsigned char* q = out + static_cast<std::ptrdiff_t>(y) * out_rowbytes;
    for (A_long x = 0; x < world.width; ++x) {
      pixels::Color c = pixels::GetPixel(world, x, y);
      translucent = translucent || c.alpha < 1.0f;
      if (format != FrameFormat::Exr && c.alpha > 0.0f && c.alpha < 1.0f) {
        // PNG keeps colour unpremultiplied; EXR keeps it premultiplied.
        c.red /= c.alpha;
        c.green /= c.alpha;
        c.blue /= c.alpha;
      }
      for (float v : {c.red, c.green, c.blue, c.alpha}) {
        if (format == FrameFormat::Exr) {
          std::memcpy(q, &v, sizeof v);
        } else {
          const float clamped = v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v;
          if (format == FrameFormat::Png8) {
            *q = static_cast<unsigned char>(clamped * 255.0f + 0.5f);
          } else {
            const auto u = static_cast<uint16_t>(clamped * 65535.0f + 0.5f);
            std::memcpy(q, &u, sizeof u);
          }
        }
        q += channel;
      }
    }
  }
  return translucent;
}

}  // namespace

bool CopyPixels(const PF_EffectWorld& world, FrameFormat format, unsigned char* out, std::ptrdiff_t out_rowbytes) {
  return WithDepth(pixels::DepthOf(world), [&](auto row) {
    using Row = decltype(row);
    if constexpr (std::is_integral_v<typename Row::FileChannel>) {
      if (Row::kFormat == format) return CopyStraight<Row>(world, out, out_rowbytes);
    }
    return CopyNormalised(world, format, out, out_rowbytes);
  });
}

FrameImage ImageOf(const PF_EffectWorld& world, FrameFormat format) {
  FrameImage img;
  img.width = world.width;
  img.height = world.height;
  img.format = format;
  const std::size_t rowbytes = static_cast<std::size_t>(world.width) * 4 * ChannelBytes(format);
  img.bytes.resize(rowbytes * static_cast<std::size_t>(world.height));
  CopyPixels(world, format, img.bytes.data(), static_cast<std::ptrdiff_t>(rowbytes));
  return img;
}

void WriteFrameImage(const FrameImage& image) {
  images::ImageOut out;
  out.width = image.width;
  out.height = image.height;
  out.stored = out.given = ImageType(image.format);
  out.pixels = image.bytes.data();
  out.attributes = {{"Software", std::string("zelvan-render")}};
  if (image.format == FrameFormat::Exr) {
    out.attributes.push_back({"compression", std::string("zip")});
  } else {
    // Fast PNG: one cheap filter and run-length deflate at level 1 write a
    // 1080p frame in a third of the default's time, and smaller.
    out.attributes.push_back({"png:compressionLevel", 1});
    out.attributes.push_back({"png:filter", 16});  // "sub"
    out.attributes.push_back({"compression", std::string("rle")});
    out.attributes.push_back({"oiio:UnassociatedAlpha", 1});  // ImageOf has unpremultiplied the colour
  }
  WriteImageFile(image.file, image.shown, out);
}

WriterShape ShapeWriter(int width, int height, FrameFormat format, int cores) {
  const std::size_t bytes =
      static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4 * ChannelBytes(format);
  const std::size_t held = std::max<std::size_t>(1, kWaitingFramesBytes / std::max<std::size_t>(bytes, 1));
  const auto c = static_cast<std::size_t>(cores);
  if (held >= 2 * c + 2) return WriterShape{cores, c + 1, false};  // one being written a core, a core and one more waiting
  if (held < 3) return WriterShape{1, 1, true};
  const std::size_t threads = std::min<std::size_t>((held - 1) / 2, c);
  return WriterShape{static_cast<int>(threads), held - 1 - threads, false};
}

void FrameWriter::Submit(FrameImage image) {
  queue_.Submit([image = std::move(image)] { WriteFrameImage(image); });
}

}  // namespace zelvan::render
