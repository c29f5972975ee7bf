#include "LayerFrames.h"

#include <cmath>
#include <limits>

namespace zelvan::testhost {

A_long DownsampledSize(A_long size, const PF_RationalScale& factor) {
  if (size <= 0 || factor.num <= 0 || factor.den == 0) return 0;
  const double scaled = std::ceil(double(size) * double(factor.num) / double(factor.den));
  return scaled >= double(std::numeric_limits<A_long>::max()) ? std::numeric_limits<A_long>::max() : A_long(scaled);
}

std::shared_ptr<pixels::PixelWorld> RenderLayerFrame(const Composition& comp, const Layer& layer,
                                                     const A_Time& comp_time, const PF_RationalScale& dsx,
                                                     const PF_RationalScale& dsy, pixels::Depth depth) {
  if (!Composition::Shows(layer, comp_time)) return nullptr;
  auto world = std::make_shared<pixels::PixelWorld>(DownsampledSize(layer.width, dsx),
                                                    DownsampledSize(layer.height, dsy), depth);
  const FrameSource& source = layer.source ? layer.source : StampFrameSource();
  source(*world->world(), comp.FrameAt(layer, comp_time));
  return world;
}

}  // namespace zelvan::testhost
