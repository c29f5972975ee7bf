// What the tool refuses as a likely mistake, named once for every reader,
// the scene and the messages.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zelvan::render {

// The frame count above which a render is refused.
constexpr int64_t kMaxFrames = 20000;
// Largest width or height accepted for the composition and for footage.
constexpr int kMaxSize = 8192;

// What a run holds in memory by default: decoded footage kept for reuse (a
// few seconds of 1080p walked backwards; --cache-mb), and frames waiting to
// be written.
constexpr std::size_t kDefaultCacheBytes = std::size_t{256} << 20;
constexpr std::size_t kWaitingFramesBytes = std::size_t{256} << 20;

}  // namespace zelvan::render
