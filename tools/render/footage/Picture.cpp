#include "Picture.h"

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

// Opens the image; when it cannot, `error` says why.
std::unique_ptr<images::ImageIn> Open(const FootageSource& source, std::string* error) {
  const images::ImageLibrary& library = images::Images();
  CaughtStderr printed;
  std::string reported;
  auto in = library.open(source.name, source.in_memory ? source.data : nullptr, source.in_memory ? source.size : 0,
                         &reported);
  if (!in) *error = LibraryError(reported, printed.Take());
  return in;
}

}  // namespace

PictureHeader ReadPictureHeader(const FootageSource& source, bool count_pictures) {
  if (const std::optional<std::string> cut = PngCut(source)) {
    throw UsageError(source.name, *cut, kPngCutFix);
  }
  std::string error;
  const std::unique_ptr<images::ImageIn> in = Open(source, &error);
  if (!in) {
    throw UsageError(source.name, "cannot be read as an image or a movie (" + error + ")",
                     "give an image (PNG, EXR, TIFF, JPEG, ...) or a movie FFmpeg reads (MP4, MOV, MKV, ...)");
  }
  PictureHeader h;
  h.width = in->Width();
  h.height = in->Height();
  h.colour = ImageColour(in->ColourSpace(), in->BitsPerSample());
  if (count_pictures) {
    int n = in->PicturesDeclared();
    if (n <= 0) {
      n = 1;
      while (n <= kMaxFrames && in->Seek(n)) ++n;
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
  const std::unique_ptr<images::ImageIn> in = Open(source, &error);
  if (!in) throw FootageError(file, frame, error);
  if (picture != 0 && !in->Seek(picture)) throw FootageError(file, frame, "no such picture in the file");
  if (in->Width() != width || in->Height() != height) {
    throw FootageError(file, frame, "it is " + std::to_string(in->Width()) + "x" + std::to_string(in->Height()) +
                                        ", unlike the " + std::to_string(width) + "x" + std::to_string(height) +
                                        " of the first frame");
  }
  const int nch = in->Channels();
  if (nch <= 0) throw FootageError(file, frame, "it has no channels");
  const images::Channel type = ImageType(depth);
  const std::size_t pixels_n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::vector<unsigned char> raw(pixels_n * static_cast<std::size_t>(nch) * ChannelSize(type));
  CaughtStderr printed;
  if (!in->Read(picture, type, raw.data())) throw FootageError(file, frame, LibraryError(in->Error(), printed.Take()));
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
