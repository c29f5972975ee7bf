#include "Picture.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CaughtStderr.h"
#include "DepthTable.h"
#include "FootageError.h"
#include "ImageColour.h"
#include "Limits.h"
#include "PngCut.h"
#include "UsageError.h"

namespace zelvan::render {
namespace {

// The library's error on one line; what it printed itself (libpng's lines)
// only when it reported nothing.
std::string LibraryError(std::string reported, const std::string& printed) {
  return OneLine(reported.empty() ? printed : reported);
}

// An open image and, for bytes in memory, the proxy it reads through (which
// must outlive it).
struct OpenImage {
  std::unique_ptr<OIIO::Filesystem::IOMemReader> memory;
  std::unique_ptr<OIIO::ImageInput> in;
};

// Opens the image; when it cannot, `error` says why.
OpenImage Open(const FootageSource& source, std::string* error) {
  OpenImage o;
  if (source.in_memory) {
    o.memory = std::make_unique<OIIO::Filesystem::IOMemReader>(source.data, source.size);
  }
  CaughtStderr printed;
  o.in = OIIO::ImageInput::open(source.name, nullptr, o.memory.get());
  if (!o.in) *error = LibraryError(OIIO::geterror(), printed.Take());
  return o;
}

}  // namespace

PictureHeader ReadPictureHeader(const FootageSource& source, bool count_pictures) {
  if (const std::optional<std::string> cut = PngCut(source)) {
    throw UsageError(source.name, *cut, kPngCutFix);
  }
  std::string error;
  OpenImage image = Open(source, &error);
  if (!image.in) {
    throw UsageError(source.name, "cannot be read as an image or a movie (" + error + ")",
                     "give an image (PNG, EXR, TIFF, JPEG, ...) or a movie FFmpeg reads (MP4, MOV, MKV, ...)");
  }
  const OIIO::ImageSpec spec = image.in->spec();
  PictureHeader h;
  h.width = spec.width;
  h.height = spec.height;
  h.colour = ImageColour(std::string(spec.get_string_attribute("oiio:ColorSpace")),
                         spec.get_int_attribute("oiio:BitsPerSample", static_cast<int>(spec.format.size()) * 8));
  if (count_pictures) {
    int n = spec.get_int_attribute("oiio:subimages", 0);
    if (n <= 0) {
      n = 1;
      while (n <= kMaxFrames && image.in->seek_subimage(n, 0)) ++n;
    }
    h.pictures = n;
  }
  if (h.width <= 0 || h.height <= 0) throw UsageError(source.name, "holds an image of no pixels", "give a real image");
  if (h.width > kMaxSize || h.height > kMaxSize) {
    throw UsageError(source.name, "is larger than " + std::to_string(kMaxSize) + " pixels", "scale the footage down first");
  }
  return h;
}

pixels::PixelWorld ReadPicture(const FootageSource& source, int64_t frame, int picture, int width, int height,
                               pixels::Depth depth) {
  const std::string& file = source.name;
  if (const std::optional<std::string> cut = PngCut(source)) throw FootageError(file, frame, *cut);
  std::string error;
  OpenImage image = Open(source, &error);
  OIIO::ImageInput* in = image.in.get();
  if (in == nullptr) throw FootageError(file, frame, error);
  if (picture != 0 && !in->seek_subimage(picture, 0)) throw FootageError(file, frame, "no such picture in the file");
  const OIIO::ImageSpec& spec = in->spec();
  if (spec.width != width || spec.height != height) {
    throw FootageError(file, frame, "it is " + std::to_string(spec.width) + "x" + std::to_string(spec.height) +
                                        ", unlike the " + std::to_string(width) + "x" + std::to_string(height) +
                                        " of the first frame");
  }
  const int nch = spec.nchannels;
  if (nch <= 0) throw FootageError(file, frame, "it has no channels");
  const OIIO::TypeDesc type = ImageType(depth);
  const std::size_t pixels_n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::vector<unsigned char> raw(pixels_n * static_cast<std::size_t>(nch) * type.size());
  CaughtStderr printed;
  if (!in->read_image(picture, 0, 0, nch, type, raw.data())) {
    throw FootageError(file, frame, LibraryError(in->geterror(), printed.Take()));
  }
  printed.Take();
  pixels::PixelWorld out(width, height, depth);
  // Channel c of pixel i, gray and gray-alpha spread to colour, no alpha opaque.
  auto pick = [nch](int c) -> int {
    if (nch >= 3) return c < 3 ? c : (nch >= 4 ? 3 : -1);
    return c < 3 ? 0 : (nch == 2 ? 1 : -1);
  };
  const int ch[4] = {pick(0), pick(1), pick(2), pick(3)};
  WithDepth(depth, [&](auto row) {
    using Row = decltype(row);
    using Pixel = typename Row::Pixel;
    for (int y = 0; y < height; ++y) {
      const std::size_t base =
          static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * static_cast<std::size_t>(nch);
      const auto* p = reinterpret_cast<const typename Row::FileChannel*>(raw.data()) + base;
      auto* q = reinterpret_cast<Pixel*>(out.row(y));
      for (int x = 0; x < width; ++x, p += nch) {
        q[x] = Pixel{ch[3] < 0 ? Row::kMax : Row::FromFile(p[ch[3]]), Row::FromFile(p[ch[0]]), Row::FromFile(p[ch[1]]),
                     Row::FromFile(p[ch[2]])};
      }
    }
  });
  return out;
}

}  // namespace zelvan::render
