// A world as H.264 takes it: 8-bit 4:2:0 planes in BT.709 video levels,
// written straight from the world's pixels (one pass, no RGB copy), the
// colour composited over black: a picture without alpha shows the
// premultiplied colour.
#pragma once

#include <cstdint>

#include "AE_Effect.h"

namespace zelvan::render {

// Writes luma for each pixel and chroma from the mean colour of each 2x2
// block into planes[0..2] (rows of strides[0..2] bytes), sized for the width
// and height rounded up to even: the extra column and row have black luma,
// and the chroma they share with the picture is the picture's own. True when
// some pixel's alpha is below 1.
bool WorldToYuv420(const PF_EffectWorld& world, uint8_t* const planes[3], const int strides[3]);

}  // namespace zelvan::render
