// A clip's frames as the loop search compares them: luma at 8 bits, shrunk
// to at most kSide pixels on either side (a smaller clip keeps its size),
// one block of bytes a frame, zero past its pixels up to a multiple of
// kBlock so that a distance runs over whole vectors. Ten minutes of 1080p at
// 30 fps (64 x 36 a frame) hold about 41 MB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelvan::render {

class SmallFrames {
 public:
  static constexpr int kSide = 64;
  static constexpr std::size_t kBlock = 32;

  // The small size of a picture shown at width x height: the longer side
  // kSide (or its own, when shorter), the other in proportion, at least 1.
  static int SmallWidth(int width, int height);
  static int SmallHeight(int width, int height);

  // Frames shown at width x height; room is made for `expected` of them.
  SmallFrames(int width, int height, int64_t expected);

  int width() const { return width_; }
  int height() const { return height_; }
  std::size_t pixels() const { return static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_); }
  // The bytes of one frame's block: its pixels, then zeros.
  std::size_t block() const { return block_; }
  int64_t count() const { return static_cast<int64_t>(bytes_.size() / block_); }

  // A new frame's pixels, zero, rows width() apart.
  uint8_t* Add();
  const uint8_t* operator[](int64_t k) const { return bytes_.data() + static_cast<std::size_t>(k) * block_; }

 private:
  int width_, height_;
  std::size_t block_;
  std::vector<uint8_t> bytes_;
};

}  // namespace zelvan::render
