// The host's 16-bit channels run from 0 to 32768; files and FFmpeg use 0 to
// 65535. One place for both directions, so footage in and frames out agree.
#pragma once

#include <cstdint>

namespace zelvan::render {

// 0..65535 to 0..32768, rounded up.
inline uint16_t To15(uint16_t v) { return static_cast<uint16_t>((static_cast<uint32_t>(v) * 32768u + 32767u) / 65535u); }

// 0..32768 to 0..65535, rounded; values above 32768 clamp.
inline uint16_t From15(uint16_t v) {
  const uint32_t c = v > 32768 ? 32768u : v;
  return static_cast<uint16_t>((c * 65535u + 16384u) / 32768u);
}

}  // namespace zelvan::render
