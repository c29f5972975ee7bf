// The composition the effect lives in: its size, frame rate and duration, its
// layers with their identifiers and timing, and which layer carries the effect.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AE_GeneralPlug.h"
#include "HostValues.h"
#include "PixelWorld.h"

namespace zelvan::testhost {

// Paints one frame of a layer into world: frame is the layer's own frame
// number (layer time times the composition frame rate, rounded down).
using FrameSource = std::function<void(PF_EffectWorld& world, A_long frame)>;

// Every pixel of the frame encodes its frame number (see pixels::PaintFrameStamp).
FrameSource StampFrameSource();

struct Layer {
  AEGP_LayerIDVal id = 0;
  std::string name;
  A_long width = 1920;
  A_long height = 1080;
  A_Time in_point = MakeTime(0, 30);      // composition time where the layer starts showing
  A_Time duration = MakeTime(300, 30);    // how long it shows, in composition time
  A_Time start_offset = MakeTime(0, 30);  // composition time of the layer's own time 0
  FrameSource source;          // null: StampFrameSource()
  // A solid: every frame this one colour, made at once in it (source unused).
  std::optional<pixels::Color> solid;
  // Pixels that effects before this one add around the layer, per side, at
  // full resolution (a glow, a shadow). They return their whole result, so
  // the input of an effect on this layer is that much larger than the layer.
  A_long grown_left = 0, grown_top = 0, grown_right = 0, grown_bottom = 0;
};

class Composition {
 public:
  Composition();

  A_long width = 1920;
  A_long height = 1080;
  // Any value, 0, negative and NaN included, so faults can be expressed.
  double frame_rate = 30.0;
  A_Time duration = MakeTime(300, 30);
  A_u_long time_scale = 30;

  // Adds a layer (its id must be unique and not 0); returns the stored layer.
  Layer& AddLayer(Layer layer);
  void RemoveLayer(AEGP_LayerIDVal id);
  // The layer that carries the effect; the composition starts with layer 1,
  // 1920 x 1080, carrying the effect.
  void ApplyEffectTo(AEGP_LayerIDVal id);
  Layer& effect_layer();
  const Layer& effect_layer() const;

  Layer* Find(AEGP_LayerIDVal id);
  const Layer* Find(AEGP_LayerIDVal id) const;
  const std::vector<std::unique_ptr<Layer>>& layers() const { return layers_; }

  // The handles the AEGP suites hand out; FromHandle is null for a handle
  // that is not one of this composition's.
  AEGP_CompH handle() const;
  bool IsHandle(AEGP_CompH comp) const { return comp == handle(); }
  AEGP_LayerH HandleOf(const Layer& layer) const;
  Layer* FromHandle(AEGP_LayerH layer) const;

  // Seconds of a host time; 0 for a zero scale.
  static double Seconds(const A_Time& t);
  // Layer time = composition time - the layer's start offset, in the scale of
  // the composition time (saturated to the 32-bit range).
  static A_Time CompToLayerTime(const Layer& layer, const A_Time& comp_time);
  static A_Time LayerToCompTime(const Layer& layer, const A_Time& layer_time);
  // Whether the layer shows at that composition time: in_point <= t < in_point + duration.
  static bool Shows(const Layer& layer, const A_Time& comp_time);
  // The layer's frame number at a composition time: floor(layer seconds * frame rate).
  A_long FrameAt(const Layer& layer, const A_Time& comp_time) const;
  // The host's one rule for which frame a time falls in, at a frame rate:
  // floor(seconds * rate), with a hair of slack so that exact frame times do
  // not fall to the frame before (saturated; 0 for a rate that is no rate).
  static A_long FrameAtSeconds(double seconds, double frame_rate);

 private:
  std::vector<std::unique_ptr<Layer>> layers_;
  AEGP_LayerIDVal effect_layer_id_ = 1;
  int comp_marker_ = 0;  // its address is the composition handle
};

}  // namespace zelvan::testhost
