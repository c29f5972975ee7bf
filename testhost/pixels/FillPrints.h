// The fingerprints of worlds made in one colour, remembered by size, depth
// and colour: the host starts every output, and every solid it hands out, as
// such a world, and reading each whole again only to learn what it already
// knows would cost a pass over its pixels per frame.
#pragma once

#include <cstdint>
#include <vector>

#include "PixelWorld.h"

namespace zelvan::pixels {

class FillPrints {
 public:
  // Fingerprint(filled) for a world whose pixels were all made `fill` and
  // not written since; taken the first time, remembered after. The origin and
  // row padding are not in a fingerprint, so worlds that differ only there
  // share one.
  std::uint64_t Of(const PixelWorld& filled, const Color& fill);

 private:
  struct Entry {
    A_long width, height;
    Depth depth;
    Color fill;
    std::uint64_t fingerprint;
  };
  // The output's fill and a solid or two: a handful, the newest last.
  static constexpr std::size_t kKept = 4;
  std::vector<Entry> entries_;
};

}  // namespace zelvan::pixels
