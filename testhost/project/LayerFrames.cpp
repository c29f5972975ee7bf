#include "LayerFrames.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zelvan::testhost {

A_long DownsampledSize(A_long size, const PF_RationalScale& factor) {
  if (size <= 0 || factor.num <= 0 || factor.den == 0) return 0;
  const double scaled = std::trunc(double(size) * (double(factor.num) / double(factor.den)) + 0.5);
  return scaled >= double(std::numeric_limits<A_long>::max()) ? std::numeric_limits<A_long>::max() : A_long(scaled);
}

PF_LRect IntersectRects(const PF_LRect& a, const PF_LRect& b) {
  PF_LRect r = MakeRect(std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                        std::min(a.bottom, b.bottom));
  if (r.left >= r.right || r.top >= r.bottom) r = MakeRect(0, 0, 0, 0);
  return r;
}

bool Grown(const Layer& layer) {
  return layer.grown_left > 0 || layer.grown_top > 0 || layer.grown_right > 0 || layer.grown_bottom > 0;
}

PF_LRect LayerExtent(const Layer& layer, const PF_RationalScale& dsx, const PF_RationalScale& dsy) {
  return MakeRect(0, 0, DownsampledSize(layer.width, dsx), DownsampledSize(layer.height, dsy));
}

PF_LRect InputExtent(const Layer& layer, const PF_RationalScale& dsx, const PF_RationalScale& dsy) {
  return MakeRect(-DownsampledSize(layer.grown_left, dsx), -DownsampledSize(layer.grown_top, dsy),
                  DownsampledSize(layer.width, dsx) + DownsampledSize(layer.grown_right, dsx),
                  DownsampledSize(layer.height, dsy) + DownsampledSize(layer.grown_bottom, dsy));
}

PF_LRect OutputArea(const PF_LRect& request, const PF_LRect& result, PF_RenderOutputFlags flags) {
  if (flags & PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS) {
    return result.left < result.right && result.top < result.bottom ? result : MakeRect(0, 0, 0, 0);
  }
  return IntersectRects(request, result);
}

pixels::Color GrownColor() { return pixels::Color{0.5f, 0.2f, 0.9f, 0.3f}; }

std::shared_ptr<pixels::PixelWorld> RenderLayerFrame(const Composition& comp, const Layer& layer,
                                                     const A_Time& comp_time, const PF_RationalScale& dsx,
                                                     const PF_RationalScale& dsy, pixels::Depth depth,
                                                     A_long padding_bytes) {
  if (!Composition::Shows(layer, comp_time)) return nullptr;
  auto world = std::make_shared<pixels::PixelWorld>(DownsampledSize(layer.width, dsx),
                                                    DownsampledSize(layer.height, dsy), depth, padding_bytes);
  PaintLayerFrame(comp, layer, comp_time, *world->world());
  return world;
}

bool PaintLayerFrame(const Composition& comp, const Layer& layer, const A_Time& comp_time, PF_EffectWorld& world) {
  if (!Composition::Shows(layer, comp_time)) return false;
  if (layer.solid) {
    pixels::FillRect(world, nullptr, *layer.solid);
    return true;
  }
  const FrameSource& source = layer.source ? layer.source : StampFrameSource();
  source(world, comp.FrameAt(layer, comp_time));
  return true;
}

}  // namespace zelvan::testhost
