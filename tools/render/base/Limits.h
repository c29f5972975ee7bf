// What the tool refuses as a likely mistake, named once for every reader,
// the scene and the messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zelvan::render {

// The frame count above which a render is refused.
constexpr int64_t kMaxFrames = 20000;
// Largest width or height accepted for the composition and for footage.
constexpr int kMaxSize = 8192;

// A render at 1/N of the scene's resolution, N from 1 to this.
constexpr int kMaxDownsample = 4;
// "1, 2, 3 or 4", for messages and help.
inline std::string DownsampleList() {
  std::string list = "1";
  for (int n = 2; n <= kMaxDownsample; ++n) list += (n == kMaxDownsample ? " or " : ", ") + std::to_string(n);
  return list;
}

// What a run holds in memory by default: decoded footage kept for reuse (a
// few seconds of 1080p walked backwards; --cache-mb), and frames waiting to
// be written, as files or by a movie's encoder.
constexpr std::size_t kDefaultCacheBytes = std::size_t{256} << 20;
constexpr std::size_t kWaitingFramesBytes = std::size_t{256} << 20;

}  // namespace zelvan::render
