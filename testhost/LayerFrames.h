// Pixels of a layer at a time, as the host renders them for the effect.
#pragma once

#include <memory>

#include "Composition.h"
#include "PixelWorld.h"

namespace zelvan::testhost {

// A size at a downsampling factor, rounded up as the host sizes its buffers.
A_long DownsampledSize(A_long size, const PF_RationalScale& factor);

// The layer's frame at a composition time, painted by its frame source at
// the downsampled size; null when the layer does not show at that time.
std::shared_ptr<pixels::PixelWorld> RenderLayerFrame(const Composition& comp, const Layer& layer,
                                                     const A_Time& comp_time, const PF_RationalScale& dsx,
                                                     const PF_RationalScale& dsy, pixels::Depth depth);

}  // namespace zelvan::testhost
