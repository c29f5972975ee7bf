#include "ContactSheet.h"

#include <algorithm>
#include <cmath>

#include "ImageFile.h"
#include "PreviewScale.h"

namespace zelvan::render {
namespace {

constexpr int kGap = 4;

}  // namespace

ContactSheet::ContactSheet(int frames, int width, int height) {
  Fit(width, height, 160, 120, &thumb_w_, &thumb_h_);
  cols_ = std::max(1, std::min(frames, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(frames) * 1.5)))));
  // Keep the sheet of a long render within a sane size.
  while (cols_ * thumb_w_ > 4000 && thumb_w_ > 16) Fit(width, height, thumb_w_ / 2, thumb_h_ / 2, &thumb_w_, &thumb_h_);
  rows_ = (frames + cols_ - 1) / cols_;
  label_ = std::max(10, std::min(24, thumb_h_ / 4));
  width_ = cols_ * (thumb_w_ + kGap) + kGap;
  height_ = rows_ * (thumb_h_ + label_ + kGap) + kGap;
  rgb_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 3, 46);
}

unsigned char* ContactSheet::At(int x, int y) {
  return &rgb_[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)) * 3];
}

void ContactSheet::Add(int index, const pixels::PixelWorld& thumb, bool failed) {
  const int cx = kGap + (index % cols_) * (thumb_w_ + kGap);
  const int cy = kGap + (index / cols_) * (thumb_h_ + label_ + kGap);
  for (int y = 0; y < thumb_h_; ++y) {
    for (int x = 0; x < thumb_w_; ++x) {
      const pixels::Color c = thumb.get(x, y);
      unsigned char* q = At(cx + x, cy + y);
      // Transparent parts show over a checkerboard so that they read as such.
      const float bg = (((x / 8) + (y / 8)) % 2) ? 0.35f : 0.25f;
      const float a = std::clamp(c.alpha, 0.0f, 1.0f);
      q[0] = Byte(c.red * a + bg * (1.0f - a));
      q[1] = Byte(c.green * a + bg * (1.0f - a));
      q[2] = Byte(c.blue * a + bg * (1.0f - a));
    }
  }
  if (failed) CrossOut(cx, cy);
  Number(index, cx, cy + thumb_h_, failed);
}

// A failed frame: red border and a red cross.
void ContactSheet::CrossOut(int cx, int cy) {
  const int tw = thumb_w_, th = thumb_h_;
  auto red = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= tw || y >= th) return;
    unsigned char* q = At(cx + x, cy + y);
    q[0] = 220;
    q[1] = 30;
    q[2] = 30;
  };
  for (int x = 0; x < tw; ++x) {
    for (int t = 0; t < 2; ++t) {
      red(x, t);
      red(x, th - 1 - t);
    }
  }
  for (int y = 0; y < th; ++y) {
    for (int t = 0; t < 2; ++t) {
      red(t, y);
      red(tw - 1 - t, y);
    }
  }
  const int steps = std::max(tw, th);
  for (int s = 0; s < steps; ++s) {
    const int x = s * tw / steps, y = s * th / steps;
    for (int t = -1; t <= 1; ++t) {
      red(x + t, y);
      red(tw - 1 - x + t, y);
    }
  }
}

// The frame number in a strip under the thumbnail at (cx, cy), drawn with the
// host's digit font.
void ContactSheet::Number(int index, int cx, int cy, bool failed) {
  const A_long scale = std::max(1, (label_ - 2) / 7);
  pixels::PixelWorld strip(thumb_w_, label_, pixels::Depth::k8);
  strip.fill(failed ? pixels::Color{1.0f, 0.6f, 0.08f, 0.08f} : pixels::Color{1.0f, 0.18f, 0.18f, 0.18f});
  pixels::DrawNumber(*strip.world(), index, 1, 1, scale, pixels::Color{1.0f, 0.95f, 0.95f, 0.95f});
  for (int y = 0; y < label_; ++y) {
    for (int x = 0; x < thumb_w_; ++x) {
      const pixels::Color c = strip.get(x, y);
      unsigned char* q = At(cx + x, cy + y);
      q[0] = Byte(c.red);
      q[1] = Byte(c.green);
      q[2] = Byte(c.blue);
    }
  }
}

void ContactSheet::Write(const std::string& file, const std::string& shown) const {
  images::ImageOut out;
  out.width = width_;
  out.height = height_;
  out.channels = 3;
  out.pixels = rgb_.data();
  out.attributes = {{"Software", std::string("zelvan-render")}, {"png:compressionLevel", 1}};
  WriteImageFile(file, shown, out);
}

}  // namespace zelvan::render
