#include "SmallFrames.h"

#include <algorithm>
#include <cmath>

namespace zelvan::render {
namespace {

// The side of `side` in proportion to `longer` shrunk to kSide, rounded.
int Shrunk(int side, int longer) {
  if (longer <= SmallFrames::kSide) return side;
  const double scaled = static_cast<double>(side) * SmallFrames::kSide / static_cast<double>(longer);
  return std::max(1, static_cast<int>(std::lround(scaled)));
}

}  // namespace

int SmallFrames::SmallWidth(int width, int height) { return Shrunk(width, std::max(width, height)); }
int SmallFrames::SmallHeight(int width, int height) { return Shrunk(height, std::max(width, height)); }

SmallFrames::SmallFrames(int width, int height, int64_t expected)
    : width_(SmallWidth(width, height)), height_(SmallHeight(width, height)) {
  block_ = (pixels() + kBlock - 1) / kBlock * kBlock;
  bytes_.reserve(static_cast<std::size_t>(std::max<int64_t>(expected, 0)) * block_);
}

uint8_t* SmallFrames::Add() {
  bytes_.resize(bytes_.size() + block_, 0);
  return bytes_.data() + bytes_.size() - block_;
}

}  // namespace zelvan::render
