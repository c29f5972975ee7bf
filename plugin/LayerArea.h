// The effect's layer at the current resolution, in the layer's own
// coordinates: what pre-render asks for, and what the render places the
// frame on, wherever the output world lies on the layer.
#pragma once

#include "AE_Effect.h"
#include "HostValues.h"
#include "Rounding.h"

namespace zelvan {

inline double Downsample(const PF_RationalScale& s) { return static_cast<double>(s.num) / s.den; }

inline PF_LRect DownsampledLayer(const PF_InData& in_data) {
  return MakeRect(0, 0, RoundToLong(in_data.width * Downsample(in_data.downsample_x)),
                  RoundToLong(in_data.height * Downsample(in_data.downsample_y)));
}

}  // namespace zelvan
