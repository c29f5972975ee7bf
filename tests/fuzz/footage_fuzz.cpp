// Turns arbitrary bytes into a footage file read from memory through the
// readers the render tool uses on disk: FFmpeg's libraries through a custom
// I/O context for movies, the image library through an I/O proxy for images.
// The first byte says what the bytes are called (the extension guides the
// image library), the depth they are read at, the size of the world they are
// painted into and how the frames are walked; the rest is the file. A reader
// may refuse the bytes with a UsageError or a FootageError; nothing else may
// come out of it, and nothing may crash, leak or touch memory it does not own.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "FootageError.h"
#include "FootageSource.h"
#include "Movie.h"
#include "Picture.h"
#include "PixelWorld.h"
#include "UsageError.h"

namespace {

using zelvan::render::FootageError;
using zelvan::render::FootageSource;
using zelvan::render::Movie;
using zelvan::render::UsageError;
namespace pixels = zelvan::pixels;

// Pictures beyond this are refused before decoding: the fuzzer looks for
// faults, not for memory to fill.
constexpr int64_t kMaxPixels = 1 << 20;

const char* const kNames[] = {"clip.mp4", "clip.mov", "clip.mkv", "clip.avi",
                              "still.png", "still.tif", "still.exr", "still.jpg"};

bool Small(int width, int height) { return int64_t{width} * height <= kMaxPixels; }

void ReadMovie(const FootageSource& source, pixels::Depth depth, uint8_t pick) {
  Movie movie(source);
  if (!Small(movie.width(), movie.height())) return;
  // Half size: the host asks for a downsampled layer.
  const int div = (pick & 0x20) != 0 ? 2 : 1;
  pixels::PixelWorld world((movie.width() + div - 1) / div, (movie.height() + div - 1) / div, depth,
                          4 * pixels::BytesPerChannel(depth));
  if ((pick & 0x40) != 0) movie.SetCacheBudget(0);
  const int64_t n = std::min<int64_t>(movie.frames(), 6);
  // Forwards, then back to the start: the decoder runs on, drains, seeks.
  std::vector<int64_t> walk;
  for (int64_t k = 0; k < n; ++k) walk.push_back(k);
  if ((pick & 0x80) != 0) {
    for (int64_t k = n - 2; k >= 0; --k) walk.push_back(k);
  }
  walk.push_back(movie.frames());  // past the end: refused
  for (const int64_t k : walk) {
    try {
      movie.Paint(k, *world.world());
    } catch (const FootageError&) {
    }
  }
  if (!world.paddingIntact()) {
    std::fprintf(stderr, "a movie frame was painted into the world's row padding\n");
    std::abort();
  }
}

void ReadImage(const FootageSource& source, pixels::Depth depth) {
  const zelvan::render::PictureHeader h = zelvan::render::ReadPictureHeader(source, true);
  if (!Small(h.width, h.height)) return;
  for (int picture = 0; picture < std::min(h.pictures, 2); ++picture) {
    try {
      (void)zelvan::render::ReadPicture(source, picture, picture, h.width, h.height, depth);
    } catch (const FootageError&) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const uint8_t pick = data[0];
  static const unsigned char kNothing = 0;
  const FootageSource source =
      FootageSource::Memory(kNames[pick & 7], size > 1 ? data + 1 : &kNothing, size - 1);
  const pixels::Depth depth = (pick >> 3 & 3) == 0   ? pixels::Depth::k8
                              : (pick >> 3 & 3) == 1 ? pixels::Depth::k16
                                                     : pixels::Depth::kFloat;
  try {
    if (Movie::Recognise(source)) {
      ReadMovie(source, depth, pick);
    } else {
      ReadImage(source, depth);
    }
  } catch (const UsageError&) {
  }
  return 0;
}
