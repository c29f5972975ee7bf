// Whether a rendered frame has alpha: a pixel whose alpha is below 1 (255 at
// 8 bits, 32768 at 16, 1.0 in float). The run decides from the first frame
// whether a movie whose kind follows the render's alpha keeps it.
#pragma once

#include "AE_Effect.h"

namespace zelvan::render {

bool HasTranslucentPixel(const PF_EffectWorld& world);

}  // namespace zelvan::render
