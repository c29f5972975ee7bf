// An image file's colour, from the name the image library gives its colour
// space ("sRGB", "Linear", "Rec709", "Gamma2.2") and the bits of its
// channels: RGB in full range, primaries and transfer unspecified where the
// name does not settle them (a TIFF without one).
#pragma once

#include <string>

#include "Colour.h"

namespace zelvan::render {

Colour ImageColour(const std::string& colour_space, int bits);

}  // namespace zelvan::render
