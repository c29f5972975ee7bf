// The profile and level an H.264 or H.265 stream declares in its parameter
// sets (the encoder's header bytes, "extradata"): in Annex B form (start
// codes, as x264 and x265 give them) or in the MP4 form (avcC, hvcC). The
// encoder picks the level from the size, the rate and its references; a dry
// run and the summary say what it picked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace zelvan::render {

struct ProfileLevel {
  int profile = 0;  // profile_idc: 100 High (H.264), 1 Main (H.265)
  int level = 0;    // level_idc: ten times the level in H.264, thirty times in H.265
};

// From an H.264 sequence parameter set; nothing when the bytes hold none.
std::optional<ProfileLevel> H264Profile(const uint8_t* bytes, std::size_t size);
// From an H.265 sequence parameter set; nothing when the bytes hold none.
std::optional<ProfileLevel> H265Profile(const uint8_t* bytes, std::size_t size);

}  // namespace zelvan::render
