// Pixels of a layer at a time, as the host renders them for the effect, and
// the host's rules for where the worlds it hands out lie. Every world carries
// its place on the layer in origin_x and origin_y: the layer coordinates, at
// the current resolution, of its pixel (0, 0).
#pragma once

#include <memory>

#include "AE_EffectSmart.h"
#include "Composition.h"
#include "PixelWorld.h"

namespace zelvan::testhost {

// The host's one rule for sizes at a reduced resolution: size times the
// factor, rounded half up (plus 0.5, truncated), as pixel values are rounded.
// An effect that asks for its layer at width times the factor gets all of
// it, and the layers, the input and the output agree to the pixel.
A_long DownsampledSize(A_long size, const PF_RationalScale& factor);

// The part both rectangles cover; all 0 when they do not meet.
PF_LRect IntersectRects(const PF_LRect& a, const PF_LRect& b);

// The layer at that resolution, in its own coordinates.
PF_LRect LayerExtent(const Layer& layer, const PF_RationalScale& dsx, const PF_RationalScale& dsy);
// Where the effect's input lies on its layer at that resolution: the layer,
// grown by what the effects before this one add around it.
PF_LRect InputExtent(const Layer& layer, const PF_RationalScale& dsx, const PF_RationalScale& dsy);
bool Grown(const Layer& layer);

// The output world a render gets: all that the effect said it produces when
// it returns extra pixels, otherwise the part of it that was asked for.
PF_LRect OutputArea(const PF_LRect& request, const PF_LRect& result, PF_RenderOutputFlags flags);

// What the effects before this one paint around a grown layer.
pixels::Color GrownColor();

// Paints the layer's frame at a composition time by its frame source into a
// world of the layer's downsampled size; false, and nothing painted, when the
// layer does not show at that time.
bool PaintLayerFrame(const Composition& comp, const Layer& layer, const A_Time& comp_time, PF_EffectWorld& world);

// The layer's frame at a composition time, painted by its frame source at
// the downsampled size, rows padded by padding_bytes; null when the layer
// does not show at that time.
std::shared_ptr<pixels::PixelWorld> RenderLayerFrame(const Composition& comp, const Layer& layer,
                                                     const A_Time& comp_time, const PF_RationalScale& dsx,
                                                     const PF_RationalScale& dsy, pixels::Depth depth,
                                                     A_long padding_bytes = 0);

}  // namespace zelvan::testhost
