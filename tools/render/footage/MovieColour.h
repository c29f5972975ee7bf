// A movie stream's colour as it declares it, and the warning for a transfer
// a render cannot show. The render holds a picture's values as the
// converter gives them: no transfer is undone and no gamut is mapped, so an
// HDR transfer (PQ, HLG) is shown as its values are stored.
#pragma once

#include <string>

#include "Colour.h"

struct AVCodecParameters;

namespace zelvan::render {

// What the stream's parameters declare; an RGB pixel format is RGB in full
// range whatever they say. Bits are those of the pixel format's first channel.
Colour ColourOf(const AVCodecParameters& stream);

// For a transfer the render cannot show: what the frames will look like and
// how to tone-map the movie first, naming `path`. Empty for any other.
std::string ColourWarning(const std::string& path, const Colour& colour);

}  // namespace zelvan::render
