// Reads a clip for the loop search: every frame once, forwards, as the
// render counts them (a movie's at its nominal rate, so a variable rate
// repeats and skips frames as a render shows them), into small frames
// (SmallFrames.h), and the distance of each frame to the one before. A
// movie's decoded pictures are shrunk as they come from the decoder; other
// footage and the built-in clip are painted at full size at 8 bits first.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "Clip.h"
#include "SmallFrames.h"

namespace zelvan::render {

struct ReadClip {
  SmallFrames frames;
  std::vector<float> steps;  // steps[k]: frame k + 1 against frame k
};

// `progress` hears the count of frames read after each; false stops the
// reading, and then this returns nothing. Throws FootageError naming a frame
// that cannot be read.
std::optional<ReadClip> ReadSmallFrames(Clip& clip, const std::function<bool(int64_t)>& progress);

}  // namespace zelvan::render
