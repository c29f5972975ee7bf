#include "Composition.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "PixelWorld.h"

namespace zelvan::testhost {
namespace {

A_long Saturate(double v) {
  if (std::isnan(v)) return 0;
  if (v <= double(std::numeric_limits<A_long>::min())) return std::numeric_limits<A_long>::min();
  if (v >= double(std::numeric_limits<A_long>::max())) return std::numeric_limits<A_long>::max();
  return A_long(v);
}

// Value of t expressed in another scale, rounded to nearest.
double InScale(const A_Time& t, A_u_long scale) {
  if (t.scale == scale) return double(t.value);
  return t.scale == 0 ? 0.0 : std::round(double(t.value) * double(scale) / double(t.scale));
}

}  // namespace

FrameSource StampFrameSource() {
  return [](PF_EffectWorld& world, A_long frame) {
    // The stamp holds a bounded range; frames beyond it wrap, as a clip would loop.
    const int stamp = int(((frame % (pixels::kStampMaxFrame + 1)) + (pixels::kStampMaxFrame + 1)) %
                          (pixels::kStampMaxFrame + 1));
    pixels::PaintFrameStamp(world, stamp);
  };
}

Composition::Composition() {
  Layer first;
  first.id = 1;
  first.name = "Effect layer";
  AddLayer(first);
}

Layer& Composition::AddLayer(Layer layer) {
  if (layer.id == 0 || Find(layer.id) != nullptr) {
    throw std::invalid_argument("layer identifier " + std::to_string(layer.id) + " is 0 or taken");
  }
  if (!layer.source) layer.source = StampFrameSource();
  layers_.push_back(std::make_unique<Layer>(std::move(layer)));
  return *layers_.back();
}

void Composition::RemoveLayer(AEGP_LayerIDVal id) {
  for (auto it = layers_.begin(); it != layers_.end(); ++it) {
    if ((*it)->id == id) {
      layers_.erase(it);
      return;
    }
  }
}

void Composition::ApplyEffectTo(AEGP_LayerIDVal id) {
  if (Find(id) == nullptr) throw std::invalid_argument("no layer " + std::to_string(id));
  effect_layer_id_ = id;
}

Layer& Composition::effect_layer() {
  Layer* l = Find(effect_layer_id_);
  if (l == nullptr) throw std::logic_error("the effect layer was removed");
  return *l;
}

const Layer& Composition::effect_layer() const { return const_cast<Composition*>(this)->effect_layer(); }

const Layer* Composition::Find(AEGP_LayerIDVal id) const { return const_cast<Composition*>(this)->Find(id); }

Layer* Composition::Find(AEGP_LayerIDVal id) {
  for (auto& l : layers_) {
    if (l->id == id) return l.get();
  }
  return nullptr;
}

AEGP_CompH Composition::handle() const {
  return reinterpret_cast<AEGP_CompH>(const_cast<int*>(&comp_marker_));
}

AEGP_LayerH Composition::HandleOf(const Layer& layer) const {
  return reinterpret_cast<AEGP_LayerH>(const_cast<Layer*>(&layer));
}

Layer* Composition::FromHandle(AEGP_LayerH handle) const {
  for (const auto& l : layers_) {
    if (HandleOf(*l) == handle) return l.get();
  }
  return nullptr;
}

double Composition::Seconds(const A_Time& t) { return t.scale == 0 ? 0.0 : double(t.value) / double(t.scale); }

A_Time Composition::CompToLayerTime(const Layer& layer, const A_Time& comp_time) {
  return MakeTime(Saturate(double(comp_time.value) - InScale(layer.start_offset, comp_time.scale)), comp_time.scale);
}

A_Time Composition::LayerToCompTime(const Layer& layer, const A_Time& layer_time) {
  return MakeTime(Saturate(double(layer_time.value) + InScale(layer.start_offset, layer_time.scale)), layer_time.scale);
}

bool Composition::Shows(const Layer& layer, const A_Time& comp_time) {
  const double t = Seconds(comp_time);
  const double in = Seconds(layer.in_point);
  return t >= in && t < in + Seconds(layer.duration);
}

A_long Composition::FrameAt(const Layer& layer, const A_Time& comp_time) const {
  return FrameAtSeconds(Seconds(CompToLayerTime(layer, comp_time)), frame_rate);
}

A_long Composition::FrameAtSeconds(double seconds, double rate) {
  if (!std::isfinite(rate) || rate <= 0.0) return 0;
  return Saturate(std::floor(seconds * rate + 1e-9));
}

}  // namespace zelvan::testhost
