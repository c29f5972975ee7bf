// The per-frame parameter snapshot that pre-render leaves for the render.
#pragma once

#include "AE_Effect.h"
#include "SPBasic.h"

namespace zelvan {

struct PreRenderRecord {
  A_long placementMode;  // "Mode" popup code
  A_long loopType;       // "Type" popup code
  double timeAngle;      // degrees
  double waitingFraction;
  A_long rangeType;
  double rangeStartFraction;
  double rangeEndFraction;
  double rangeStartSeconds;
  double rangeEndSeconds;
  A_long easingType;
  A_long easingMode;
};

// What the frame's host handle holds: the snapshot, then the basic suite the
// release function needs to dispose of the handle once the host is done with it.
struct PreRenderData {
  PreRenderRecord record;
  const SPBasicSuite* basic;
};

// Handed to the host with the pre-render output; the host calls it when the
// frame's pre-render data is no longer needed.
void ReleasePreRenderData(void* pre_render_data);

}  // namespace zelvan
