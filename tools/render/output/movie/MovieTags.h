// A movie's colour tags: what it holds, never a guess. The matrix and range
// are those of the encoder's own conversion (BT.709 video levels for Y'CbCr,
// none for RGB); the primaries and transfer those of the colour the render
// holds (its source's, whose values it shows as stored), unspecified where
// that is not known.
#pragma once

#include "Colour.h"
#include "MovieRecipe.h"

namespace zelvan::render {

// The tags of a movie of `recipe` over pictures of colour `held`; no bits.
Colour MovieTags(const MovieRecipe& recipe, const Colour& held);

}  // namespace zelvan::render
