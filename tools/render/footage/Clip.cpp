#include "Clip.h"

#include <algorithm>
#include <cstring>

#include "NearestSample.h"
#include "Picture.h"
#include "PixelWorld.h"

namespace zelvan::render {

std::unique_ptr<Clip> Clip::Builtin(int width, int height, int64_t frames) {
  std::unique_ptr<Clip> c(new Clip());
  c->builtin_ = true;
  c->width_ = width;
  c->height_ = height;
  c->frames_ = std::max<int64_t>(1, frames);
  c->description_ = "built-in clip " + std::to_string(width) + "x" + std::to_string(height) + ", " +
                    std::to_string(c->frames_) + " frames";
  return c;
}

std::unique_ptr<Clip> Clip::Footage(const std::string& path, FootageInfo info) {
  std::unique_ptr<Clip> c(new Clip());
  c->builtin_ = false;
  c->path_ = path;
  c->width_ = info.width;
  c->height_ = info.height;
  c->frames_ = info.frames.value_or(1);
  c->description_ = info.kind + " " + path + " " + std::to_string(info.width) + "x" + std::to_string(info.height) +
                    ", " + std::to_string(c->frames_) + " frame" + (c->frames_ == 1 ? "" : "s") +
                    (info.codec.empty() ? "" : ", " + info.codec);
  c->info_ = std::move(info);
  return c;
}

Colour Clip::colour() const {
  if (!builtin_) return info_.colour;
  return Colour{AVCOL_PRI_BT709, AVCOL_TRC_IEC61966_2_1, AVCOL_SPC_RGB, AVCOL_RANGE_JPEG, 0};
}

namespace {

// Copies src into dst of the same depth, scaled by nearest sample when the
// sizes differ (the host asks for the layer at its downsampled size). Both
// rowbytes are honoured.
void PutFrame(const PF_EffectWorld& src, PF_EffectWorld& dst) {
  const auto bpp = static_cast<std::size_t>(pixels::BytesPerPixel(pixels::DepthOf(src)));
  const auto* sdata = static_cast<const unsigned char*>(static_cast<const void*>(src.data));
  auto* ddata = static_cast<unsigned char*>(static_cast<void*>(dst.data));
  const bool same = src.width == dst.width && src.height == dst.height;
  for (A_long y = 0; y < dst.height; ++y) {
    const auto sy = static_cast<A_long>(NearestSample(y, src.height, dst.height));
    const unsigned char* srow = sdata + static_cast<std::ptrdiff_t>(sy) * src.rowbytes;
    unsigned char* drow = ddata + static_cast<std::ptrdiff_t>(y) * dst.rowbytes;
    if (same) {
      std::memcpy(drow, srow, static_cast<std::size_t>(dst.width) * bpp);
      continue;
    }
    for (A_long x = 0; x < dst.width; ++x) {
      const auto sx = static_cast<std::size_t>(NearestSample(x, src.width, dst.width));
      std::memcpy(drow + static_cast<std::size_t>(x) * bpp, srow + sx * bpp, bpp);
    }
  }
}

}  // namespace

void Clip::SetCacheBudget(std::size_t bytes) {
  cache_budget_ = bytes;
  if (info_.movie) info_.movie->SetCacheBudget(bytes);
}

const pixels::PixelWorld& Clip::FootageFrame(int64_t frame, pixels::Depth depth) {
  const auto key = std::make_pair(frame, static_cast<int>(depth));
  if (auto it = cache_.find(key); it != cache_.end()) return it->second;
  // Pictures read again cheaply: a few are kept, within the budget.
  const std::size_t bytes = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) *
                            static_cast<std::size_t>(pixels::BytesPerPixel(depth));
  const std::size_t keep = std::clamp<std::size_t>(cache_budget_ / std::max<std::size_t>(bytes, 1), 1, 4);
  while (!cache_.empty() && cache_.size() >= keep) cache_.erase(cache_.begin());
  const bool pages = info_.kind == "pages";
  const std::string& file = pages || info_.kind == "image" ? info_.files.front() : info_.files[static_cast<std::size_t>(frame)];
  return cache_[key] = ReadPicture(FootageSource::File(file), frame, pages ? static_cast<int>(frame) : 0, width_, height_,
                                   depth);
}

void Clip::Paint(PF_EffectWorld& world, int64_t frame) {
  frame = std::clamp<int64_t>(frame, 0, frames_ - 1);
  if (builtin_) {
    pixels::PaintDemoFrame(world, frame);
    return;
  }
  if (info_.movie) {
    info_.movie->Paint(frame, world);
    return;
  }
  PutFrame(*FootageFrame(frame, pixels::DepthOf(world)).world(), world);
}

}  // namespace zelvan::render
