// The warnings a render gives, with the frames named: times outside the
// source layer, a Cycle seam that repeats or skips a source frame, a
// Pingpong turn-around shown twice. Failed frames are left to their own
// messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RenderRecord.h"

namespace zelvan::render {

std::vector<std::string> Diagnose(const RenderRecord& r);

// "3, 5-9, 12" for a sorted list of frame numbers.
std::string FrameList(const std::vector<int64_t>& frames);

}  // namespace zelvan::render
