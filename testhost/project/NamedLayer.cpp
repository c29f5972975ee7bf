#include "NamedLayer.h"

#include <cmath>

namespace zelvan::testhost {

const Layer* NamedLayer(const Composition& comp, const ParamModel& params, PF_ParamIndex index,
                        const A_Time& layer_time) {
  if (index == 0) return &comp.effect_layer();
  const auto id = AEGP_LayerIDVal(std::lround(params.ValueAt(index, Composition::Seconds(layer_time))));
  return id != 0 ? comp.Find(id) : nullptr;
}

}  // namespace zelvan::testhost
