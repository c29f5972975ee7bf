#include "FrameWriter.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "DeepChannels.h"
#include "ImageFile.h"
#include "Limits.h"
#include "PixelWorld.h"

namespace zelvan::render {

bool CopyPixels(const PF_EffectWorld& world, FrameFormat format, unsigned char* out, std::ptrdiff_t out_rowbytes) {
  const pixels::Depth depth = pixels::DepthOf(world);
  const auto* data = static_cast<const unsigned char*>(static_cast<const void*>(world.data));
  auto row = [&](A_long y) { return data + static_cast<std::ptrdiff_t>(y) * world.rowbytes; };
  auto out_row = [&](A_long y) { return out + static_cast<std::ptrdiff_t>(y) * out_rowbytes; };
  bool translucent = false;
  if (format == FrameFormat::Png8 && depth == pixels::Depth::k8) {
    unsigned lowest = 255;
    for (A_long y = 0; y < world.height; ++y) {
      const unsigned char* p = row(y);
      unsigned char* q = out_row(y);
      for (A_long x = 0; x < world.width; ++x, p += 4, q += 4) {
        const unsigned a = p[0];
        lowest = std::min(lowest, a);
        if (a == 255 || a == 0) {
          q[0] = p[1];
          q[1] = p[2];
          q[2] = p[3];
        } else {
          // PNG keeps colour unpremultiplied.
          for (int c = 0; c < 3; ++c) q[c] = static_cast<unsigned char>(std::min(255u, (p[c + 1] * 255u + a / 2) / a));
        }
        q[3] = static_cast<unsigned char>(a);
      }
    }
    return lowest < 255;
  }
  if (format == FrameFormat::Png16 && depth == pixels::Depth::k16) {
    uint32_t lowest = 65535;
    for (A_long y = 0; y < world.height; ++y) {
      const auto* p = reinterpret_cast<const PF_Pixel16*>(row(y));
      auto* q = reinterpret_cast<uint16_t*>(out_row(y));
      for (A_long x = 0; x < world.width; ++x, q += 4) {
        const uint32_t a = From15(p[x].alpha);
        lowest = std::min(lowest, a);
        const bool straight = a == 65535 || a == 0;
        for (int c = 0; c < 3; ++c) {
          const uint32_t v = From15(c == 0 ? p[x].red : c == 1 ? p[x].green : p[x].blue);
          // PNG keeps colour unpremultiplied.
          q[c] = static_cast<uint16_t>(straight ? v : std::min<uint32_t>(65535u, (v * 65535u + a / 2) / a));
        }
        q[3] = static_cast<uint16_t>(a);
      }
    }
    return lowest < 65535;
  }
  // Any other pairing goes through the normalised colour.
  const std::size_t channel = ChannelBytes(format);
  for (A_long y = 0; y < world.height; ++y) {
    unsigned char* q = out_row(y);
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
  const OIIO::TypeDesc type = image.format == FrameFormat::Png8    ? OIIO::TypeDesc::UINT8
                              : image.format == FrameFormat::Png16 ? OIIO::TypeDesc::UINT16
                                                                   : OIIO::TypeDesc::FLOAT;
  OIIO::ImageSpec spec(image.width, image.height, 4, type);
  spec.attribute("Software", "zelvan-render");
  if (image.format == FrameFormat::Exr) {
    spec.attribute("compression", "zip");
  } else {
    // Fast PNG: one cheap filter and run-length deflate at level 1 write a
    // 1080p frame in a third of the default's time, and smaller.
    spec.attribute("png:compressionLevel", 1);
    spec.attribute("png:filter", 16);  // "sub"
    spec.attribute("compression", "rle");
    spec.attribute("oiio:UnassociatedAlpha", 1);  // ImageOf has unpremultiplied the colour
  }
  WriteImageFile(image.file, image.shown, spec, type, image.bytes.data());
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
