// The distance of two small frames (SmallFrames.h): the root mean square of
// their difference, in 8-bit levels. Pure arithmetic.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zelvan::render {

// The sum of the squared differences over `bytes` bytes (bytes with zeros in
// both add nothing). At most 64 x 64 pixels: it fits 32 bits.
uint32_t SumOfSquares(const uint8_t* a, const uint8_t* b, std::size_t bytes);

// sqrt(SumOfSquares / pixels): 0 for the same picture, 255 for black against white.
float FrameDistance(const uint8_t* a, const uint8_t* b, std::size_t bytes, std::size_t pixels);

}  // namespace zelvan::render
