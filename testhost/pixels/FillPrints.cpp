#include "FillPrints.h"

#include <algorithm>
#include <cstring>

namespace zelvan::pixels {

std::uint64_t FillPrints::Of(const PixelWorld& filled, const Color& fill) {
  const auto same = [&](const Entry& e) {
    return e.width == filled.width() && e.height == filled.height() && e.depth == filled.depth() &&
           std::memcmp(&e.fill, &fill, sizeof fill) == 0;
  };
  const auto found = std::find_if(entries_.begin(), entries_.end(), same);
  if (found != entries_.end()) return found->fingerprint;
  if (entries_.size() == kKept) entries_.erase(entries_.begin());
  entries_.push_back(Entry{filled.width(), filled.height(), filled.depth(), fill, Fingerprint(*filled.world())});
  return entries_.back().fingerprint;
}

}  // namespace zelvan::pixels
