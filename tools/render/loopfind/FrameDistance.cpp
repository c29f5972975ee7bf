#include "FrameDistance.h"

#include <cmath>

namespace zelvan::render {

// The loop the search spends its time in: each byte's difference squared,
// summed in 32 bits, a loop the compiler vectorises; also compiled for
// AVX2, taken where the CPU has it.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target_clones("avx2", "default")))
#endif
uint32_t
SumOfSquares(const uint8_t* a, const uint8_t* b, std::size_t bytes) {
  uint32_t sum = 0;
  for (std::size_t i = 0; i < bytes; ++i) {
    const int32_t d = static_cast<int32_t>(a[i]) - static_cast<int32_t>(b[i]);
    sum += static_cast<uint32_t>(d * d);
  }
  return sum;
}

float FrameDistance(const uint8_t* a, const uint8_t* b, std::size_t bytes, std::size_t pixels) {
  const double mean = static_cast<double>(SumOfSquares(a, b, bytes)) / static_cast<double>(pixels);
  return static_cast<float>(std::sqrt(mean));
}

}  // namespace zelvan::render
