// A seam as a picture: the loop's last frame, its first frame and their
// difference (each channel's distance), side by side on black, each shrunk
// to fit kPanel pixels a side. For a Cycle the cut runs from the first panel
// to the second; for a Pingpong they are the two frames it turns on.
#pragma once

#include <cstdint>
#include <vector>

#include "Candidates.h"
#include "Clip.h"

namespace zelvan::render {

struct SeamPicture {
  static constexpr int kPanel = 320;
  static constexpr int kGap = 4;
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // 3 bytes a pixel
};

// Reads the two frames from the clip. Throws FootageError.
SeamPicture DrawSeam(Clip& clip, const Candidate& loop);

}  // namespace zelvan::render
