// Placement: how the chosen source frame is fitted into the output, as a source
// rectangle on the source world and a destination rectangle on the output.
#pragma once

#include "AE_Effect.h"

namespace zelvan {

struct PlacementRects {
  PF_LRect src;
  PF_LRect dst;
};

// mode: 1 "Center" (unscaled, centred), 2 "Whole" (fit inside, bars),
// 3 "No Margin" (fill, cropped), 4 "Fit to Layer" (stretch); other codes
// stretch as 4 does. Equal sizes always give a whole-to-whole pair.
PlacementRects placementRects(A_long mode, A_long lw, A_long lh, A_long ow, A_long oh);

// Worlds lie on the layer by their origin: the layer coordinates of their
// pixel (0, 0). The rectangle a world of that size covers on the layer, and
// a rectangle on the layer as seen from a world; both saturate at 32 bits.
PF_LRect worldOnLayer(A_long origin_x, A_long origin_y, A_long width, A_long height);
PF_LRect layerToWorld(const PF_LRect& on_layer, A_long origin_x, A_long origin_y);

}  // namespace zelvan
