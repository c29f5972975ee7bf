// Which source row or column a scaled copy shows at a destination index: the
// host asks for a layer at its downsampled size, and footage is scaled to it
// by nearest sample, the same way for images and movies.
#pragma once

#include <algorithm>
#include <cstdint>

namespace zelvan::render {

inline int64_t NearestSample(int64_t index, int64_t source_size, int64_t destination_size) {
  return destination_size == source_size ? index : index * source_size / std::max<int64_t>(1, destination_size);
}

}  // namespace zelvan::render
