// Which layer a layer parameter names at a time: the host's one rule for it,
// whether the effect checks the parameter out, asks for the layer in
// pre-render or takes its pixels in the render.
#pragma once

#include "AE_Effect.h"
#include "Composition.h"
#include "ParamModel.h"

namespace zelvan::testhost {

// Index 0 is the effect's own layer (its input); any other layer parameter
// names the layer whose identifier is its value at layer_time (in the effect
// layer's time), or none: null for 0 or an identifier no layer has.
const Layer* NamedLayer(const Composition& comp, const ParamModel& params, PF_ParamIndex index,
                        const A_Time& layer_time);

}  // namespace zelvan::testhost
