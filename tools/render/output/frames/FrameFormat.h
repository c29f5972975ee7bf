// The formats of frame files: PNG at 8 or 16 bits a channel, or EXR in float.
#pragma once

#include <cstddef>
#include <string>

#include "DepthTable.h"

namespace zelvan::render {

FrameFormat FormatFor(const std::string& name, int depth);  // "" picks by depth
const char* Extension(FrameFormat f);
// Bytes of one channel: 1, 2 or 4 (float).
std::size_t ChannelBytes(FrameFormat f);

// The file of composition frame k of `frames`: frame_0000.png, numbered
// with at least four digits and as many as the last frame needs.
std::string FrameName(int k, int frames, FrameFormat format);

}  // namespace zelvan::render
