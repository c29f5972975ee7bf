#include "Shrinker.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <algorithm>
#include <cstddef>
#include <new>
#include <stdexcept>

namespace zelvan::render {

void Shrinker::Scale(const uint8_t* const data[], const int linesize[], int width, int height, AVPixelFormat format,
                     int src_range, int stored_width, int stored_height) {
  SwsContext* before = sws_.get();
  sws_.reset(sws_getCachedContext(sws_.release(), width, height, format, stored_width, stored_height, AV_PIX_FMT_GRAY8,
                                  SWS_AREA, nullptr, nullptr, nullptr));
  if (!sws_) throw std::runtime_error("libswscale cannot take its luma from this pixel format");
  if (sws_.get() != before || src_range != src_range_) {
    // Luma at full range, whatever range the picture declares.
    const int* bt601 = sws_getCoefficients(SWS_CS_DEFAULT);
    sws_setColorspaceDetails(sws_.get(), bt601, src_range, bt601, 1, 0, 1 << 16, 1 << 16);
    src_range_ = src_range;
  }
  if (!small_ || small_->width != stored_width || small_->height != stored_height) {
    small_.reset(av_frame_alloc());
    if (!small_) throw std::bad_alloc();
    small_->format = AV_PIX_FMT_GRAY8;
    small_->width = stored_width;
    small_->height = stored_height;
    if (av_frame_get_buffer(small_.get(), 0) < 0) {
      small_.reset();
      throw std::bad_alloc();
    }
  }
  if (sws_scale(sws_.get(), data, linesize, 0, height, small_->data, small_->linesize) <= 0) {
    throw std::runtime_error("libswscale could not shrink the picture");
  }
}

void Shrinker::Shrink(const AVFrame& picture, const FrameShape& shape, uint8_t* out) {
  const Orientation& o = shape.orientation;
  const int stored_width = o.swap ? height_ : width_;
  const int stored_height = o.swap ? width_ : height_;
  Scale(picture.data, picture.linesize, picture.width, picture.height, static_cast<AVPixelFormat>(picture.format),
        picture.color_range == AVCOL_RANGE_JPEG ? 1 : 0, stored_width, stored_height);
  const uint8_t* small = small_->data[0];
  const int line = small_->linesize[0];
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) {
      const StoredPixel p = StoredAt(o, stored_width, stored_height, x, y);
      out[y * width_ + x] = small[p.v * line + p.u];
    }
  }
}

void Shrinker::Shrink(const PF_EffectWorld& world, uint8_t* out) {
  // The host's 8-bit pixels are alpha, red, green, blue in memory.
  const uint8_t* data[4] = {static_cast<const uint8_t*>(static_cast<const void*>(world.data)), nullptr, nullptr,
                            nullptr};
  const int linesize[4] = {static_cast<int>(world.rowbytes), 0, 0, 0};
  Scale(data, linesize, static_cast<int>(world.width), static_cast<int>(world.height), AV_PIX_FMT_ARGB, 1, width_,
        height_);
  for (int y = 0; y < height_; ++y) {
    const uint8_t* row = small_->data[0] + static_cast<std::ptrdiff_t>(y) * small_->linesize[0];
    std::copy(row, row + width_, out + static_cast<std::ptrdiff_t>(y) * width_);
  }
}

}  // namespace zelvan::render
