// The clip's typical step, the yardstick of a seam: the median distance
// between consecutive frames that differ. A frame shown again (a still
// stretch, or a variable rate that repeats a frame) is no step. A seam at or
// below one typical step shows no more than the clip's own motion does.
// Pure arithmetic.
#pragma once

#include <vector>

namespace zelvan::render {

// The median of the steps above 0 (of an even count, the mean of the two in
// the middle); 0 when there is none: every frame the same picture.
float TypicalStep(std::vector<float> steps);

}  // namespace zelvan::render
