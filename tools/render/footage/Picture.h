// Pictures of image files (PNG, TIFF, EXR, JPEG, 8 to 32 bits) through the
// image library, from the file or from bytes in memory. Straight alpha comes
// out premultiplied, as the library associates it on read.
#pragma once

#include <cstdint>

#include "Colour.h"
#include "FootageSource.h"
#include "PixelWorld.h"

namespace zelvan::render {

struct PictureHeader {
  int width = 0;
  int height = 0;
  int pictures = 1;  // pictures in the file (a multi-page TIFF holds several)
  Colour colour;     // of the first picture (ImageColour.h)
};

// Checks that the image library reads the file and that its size is usable.
// Counts its pictures when asked. Throws UsageError naming the file and a fix.
PictureHeader ReadPictureHeader(const FootageSource& source, bool count_pictures);

// Picture `picture` of the file at the target depth (8 and 16 bits stay
// integers), which must be width x height. Throws FootageError naming the
// file and the clip frame `frame`.
pixels::PixelWorld ReadPicture(const FootageSource& source, int64_t frame, int picture, int width, int height,
                               pixels::Depth depth);

}  // namespace zelvan::render
