#include "SimilarityMap.h"

#include <algorithm>

#include "PixelWorld.h"

namespace zelvan::render {
namespace {

using pixels::Color;

const Color kUncompared{1.0f, 0.1f, 0.2f, 0.55f};
const Color kMark{1.0f, 1.0f, 0.0f, 0.0f};
const Color kRank{1.0f, 1.0f, 0.9f, 0.0f};

// A square ring `thickness` wide around the box from (left, top), `size` a side.
void Ring(PF_EffectWorld& w, A_long left, A_long top, A_long size, A_long thickness) {
  const PF_LRect sides[] = {{left, top, left + size, top + thickness},
                            {left, top + size - thickness, left + size, top + size},
                            {left, top, left + thickness, top + size},
                            {left + size - thickness, top, left + size, top + size}};
  for (const PF_LRect& r : sides) pixels::FillRect(w, &r, kMark);
}

}  // namespace

SimilarityMap::SimilarityMap(int64_t frames) {
  per_cell_ = std::max<int64_t>(1, (frames + kMaxCells - 1) / kMaxCells);
  side_ = std::max<int64_t>(1, (frames + per_cell_ - 1) / per_cell_);
  cells_.resize(static_cast<std::size_t>(side_ * side_));
  // Each frame against itself: a distance of 0 on the diagonal.
  for (int64_t i = 0; i < frames; ++i) cells_[static_cast<std::size_t>((i / per_cell_) * (side_ + 1))].count += 1;
}

SimilarityMap::Picture SimilarityMap::Draw(const std::vector<Candidate>& marked) const {
  const int64_t zoom = std::max<int64_t>(1, kLeastSide / side_);
  const auto px = static_cast<A_long>(side_ * zoom);
  pixels::PixelWorld world(px, px, pixels::Depth::k8);
  double most = 0.0;
  for (const Cell& c : cells_) {
    if (c.count > 0) most = std::max(most, c.sum / static_cast<double>(c.count));
  }
  for (int64_t p = 0; p < side_; ++p) {
    for (int64_t q = 0; q < side_; ++q) {
      const Cell& c = cells_[static_cast<std::size_t>(std::min(p, q) * side_ + std::max(p, q))];
      const float level =
          most > 0.0 && c.count > 0 ? static_cast<float>(c.sum / static_cast<double>(c.count) / most) : 0.0f;
      const PF_LRect r{static_cast<A_long>(q * zoom), static_cast<A_long>(p * zoom),
                       static_cast<A_long>((q + 1) * zoom), static_cast<A_long>((p + 1) * zoom)};
      pixels::FillRect(*world.world(), &r, c.count > 0 ? Color{1.0f, level, level, level} : kUncompared);
    }
  }
  const auto size = static_cast<A_long>(std::max<int64_t>(7, zoom + 4));
  const A_long thickness = std::max<A_long>(1, size / 7);
  const A_long digits = std::max<A_long>(1, px / 256);
  for (std::size_t rank = 0; rank < marked.size(); ++rank) {
    const Candidate& m = marked[rank];
    const auto x = static_cast<A_long>((m.end / per_cell_) * zoom + zoom / 2 - size / 2);
    const auto y = static_cast<A_long>((m.start / per_cell_) * zoom + zoom / 2 - size / 2);
    Ring(*world.world(), x, y, size, thickness);
    pixels::DrawNumber(*world.world(), static_cast<long long>(rank + 1), x + size + 1, y, digits, kRank);
  }
  Picture out{static_cast<int>(px), std::vector<uint8_t>(static_cast<std::size_t>(px * px) * 3)};
  for (A_long y = 0; y < px; ++y) {
    const unsigned char* row = world.row(y);
    for (A_long x = 0; x < px; ++x) {
      // The world holds alpha, red, green, blue.
      std::copy_n(
          row + 4 * x + 1, 3,
          &out.rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(px) + static_cast<std::size_t>(x)) * 3]);
    }
  }
  return out;
}

}  // namespace zelvan::render
