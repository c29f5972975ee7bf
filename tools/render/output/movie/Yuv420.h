// A world as H.264, H.265 and VP9 take it: 8-bit 4:2:0 planes in BT.709 video levels,
// written straight from the world's pixels (one pass, no RGB copy), the
// colour composited over black: a picture without alpha shows the
// premultiplied colour.
#pragma once

#include <cstdint>

#include "AE_Effect.h"

namespace zelvan::render {

// Whether the planes are sized for the width and height rounded up to even,
// with an extra column and row, or for the picture alone (the chroma planes
// of an odd side then a sample longer, as FFmpeg sizes them).
enum class Padding { kToEven, kNone };

// Writes luma for each pixel and chroma from the mean colour of each 2x2
// block into planes[0..2] (rows of strides[0..2] bytes). The extra column and
// row of padding have black luma; the chroma a block past an odd side shares
// with the picture is the picture's own. True when some pixel's alpha is
// below 1.
bool WorldToYuv420(const PF_EffectWorld& world, uint8_t* const planes[3], const int strides[3], Padding padding);

}  // namespace zelvan::render
