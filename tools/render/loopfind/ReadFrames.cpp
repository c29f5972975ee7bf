#include "ReadFrames.h"

#include <stdexcept>

#include "FootageError.h"
#include "FrameDistance.h"
#include "Movie.h"
#include "PixelWorld.h"
#include "Shrinker.h"

namespace zelvan::render {

std::optional<ReadClip> ReadSmallFrames(Clip& clip, const std::function<bool(int64_t)>& progress) {
  ReadClip read{SmallFrames(clip.width(), clip.height(), clip.frames()), {}};
  SmallFrames& small = read.frames;
  Shrinker shrinker(small.width(), small.height());
  Movie* movie = clip.footage().movie.get();
  pixels::PixelWorld painted;
  if (movie == nullptr)
    painted = pixels::PixelWorld(clip.width(), clip.height(), pixels::Depth::k8, Shrinker::kWorldPadding);
  for (int64_t k = 0; k < clip.frames(); ++k) {
    uint8_t* out = small.Add();
    if (movie != nullptr) {
      const AVFrame& picture = movie->Decoded(k);
      try {
        shrinker.Shrink(picture, movie->shape(), out);
      } catch (const std::runtime_error& e) {
        throw FootageError(movie->path(), k, e.what());
      }
    } else {
      clip.Paint(*painted.world(), k);
      shrinker.Shrink(*painted.world(), out);
    }
    if (k > 0) read.steps.push_back(FrameDistance(small[k - 1], small[k], small.block(), small.pixels()));
    if (!progress(k + 1)) return std::nullopt;
  }
  return read;
}

}  // namespace zelvan::render
