#include "SeamPicture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "PixelWorld.h"

namespace zelvan::render {
namespace {

// A side in proportion, the longer side at most kPanel.
int Fitted(int side, int longer) {
  if (longer <= SeamPicture::kPanel) return side;
  return std::max(1, static_cast<int>(std::lround(static_cast<double>(side) * SeamPicture::kPanel / longer)));
}

}  // namespace

SeamPicture DrawSeam(Clip& clip, const Candidate& loop) {
  const int longer = std::max(clip.width(), clip.height());
  const int w = Fitted(clip.width(), longer), h = Fitted(clip.height(), longer);
  pixels::PixelWorld last(w, h, pixels::Depth::k8), first(w, h, pixels::Depth::k8);
  clip.Paint(*last.world(), loop.end - 1);
  clip.Paint(*first.world(), loop.start);
  SeamPicture out;
  out.width = 3 * w + 2 * SeamPicture::kGap;
  out.height = h;
  out.rgb.assign(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(h) * 3, 0);
  for (int y = 0; y < h; ++y) {
    // The worlds hold alpha, red, green, blue; the colour is premultiplied, so it is the colour over black.
    const unsigned char* a = last.row(y) + 1;
    const unsigned char* b = first.row(y) + 1;
    uint8_t* row = &out.rgb[static_cast<std::size_t>(y) * static_cast<std::size_t>(out.width) * 3];
    for (int x = 0; x < w; ++x) {
      for (int c = 0; c < 3; ++c) {
        const int i = 4 * x + c;
        row[3 * x + c] = a[i];
        row[3 * (x + w + SeamPicture::kGap) + c] = b[i];
        row[3 * (x + 2 * (w + SeamPicture::kGap)) + c] = static_cast<uint8_t>(std::abs(a[i] - b[i]));
      }
    }
  }
  return out;
}

}  // namespace zelvan::render
