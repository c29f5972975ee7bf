#include "HostRender.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <stdexcept>

#include "ClipFrame.h"
#include "DepthTable.h"
#include "Host.h"
#include "HostObserver.h"
#include "LoadError.h"
#include "ParamTable.h"
#include "PixelWorld.h"

namespace zelvan::render {
namespace {

// Watches the host's calls while a frame renders and writes what it saw into
// the frame's record. Its notifications come inside the plug-in's host
// calls: nothing in them throws.
struct Recorder final : testhost::HostObserver {
  FrameRecord* frame = nullptr;  // null between frames: nothing is recorded
  bool layer_checkout = false;   // the host is serving the checkout of "Layer"
  std::optional<int64_t> painted;  // the clip frame painted for it

  void Begin(FrameRecord* f) {
    frame = f;
    layer_checkout = false;
    painted.reset();
  }

  void ParamCheckoutStarting(const testhost::ParamCheckoutCall& call) noexcept override {
    layer_checkout = frame != nullptr && call.index == kParamLayer;
    painted.reset();
  }

  void ParamCheckedOut(const testhost::ParamCheckoutCall& call) noexcept override {
    layer_checkout = false;
    if (frame == nullptr) return;
    if (call.index == kParamLayer) {
      frame->layer_time = A_Time{call.time, call.time_scale};
      if (call.result == PF_Err_NONE && call.def != nullptr && call.def->u.ld.data != nullptr) {
        frame->source_frame = painted;
      }
      if (call.result != PF_Err_NONE && painted) frame->failed_source_frame = painted;
    }
    if (call.result != PF_Err_NONE || call.def == nullptr) return;
    const ParamSpec* row = FindParam(call.index);
    if (row != nullptr && row->tool.report != nullptr) frame->params[row->index] = HostValue(*row, *call.def);
  }

  void Copied(const testhost::CopyCall& call) noexcept override {
    if (frame == nullptr) return;
    frame->copied = true;
    if (call.src_rect == nullptr && call.dst_rect == nullptr) {
      frame->copy.reset();
      return;
    }
    // A single null rectangle means that world whole.
    const PF_EffectWorld* src = call.src;
    const PF_EffectWorld* dst = call.dst;
    CopyRects rects;
    rects.src = call.src_rect ? *call.src_rect : PF_LRect{0, 0, src ? src->width : 0, src ? src->height : 0};
    rects.dst = call.dst_rect ? *call.dst_rect : PF_LRect{0, 0, dst ? dst->width : 0, dst ? dst->height : 0};
    frame->copy = rects;
  }
};

A_long Round(double x) { return static_cast<A_long>(std::llround(x)); }

constexpr AEGP_LayerIDVal kSourceLayerId = 2;

// The host with the plug-in loaded and its session started.
std::unique_ptr<testhost::Host> LoadHost(const std::string& plugin_path) {
  std::unique_ptr<testhost::Host> host;
  try {
    host = std::make_unique<testhost::Host>(plugin_path);
  } catch (const testhost::LoadError& e) {
    throw UsageError(plugin_path, "is not a usable plug-in: " + e.cause(), e.fix() + ", or pass --plugin PATH");
  }
  if (const PF_Err err = host->StartSession()) {
    throw std::runtime_error(plugin_path + ": the plug-in's setup failed with error " + std::to_string(err));
  }
  return host;
}

// The composition in host time, and the effect's own layer: a plain solid,
// so a frame passed through shows as its colour.
void LayOutComp(testhost::Composition& comp, const CompSettings& c, A_Time duration) {
  comp.width = c.width;
  comp.height = c.height;
  comp.frame_rate = c.fps.value();
  comp.duration = duration;
  comp.time_scale = duration.scale;
  testhost::Layer& solid = comp.effect_layer();
  solid.name = "Solid";
  solid.width = c.width;
  solid.height = c.height;
  solid.in_point = A_Time{0, duration.scale};
  solid.duration = duration;
  solid.start_offset = A_Time{0, duration.scale};
  solid.solid = pixels::Color{1.0f, 0.12f, 0.16f, 0.22f};
}

// The source layer, painted from the clip, and its facts for the record.
// The recorder learns which clip frame a checkout of "Layer" painted.
SourceRecord AddSourceLayer(testhost::Composition& comp, const Scene& scene, Clip& clip, A_u_long scale,
                            Recorder* rec) {
  const SourceSettings& s = scene.source;
  testhost::Layer layer;
  layer.id = kSourceLayerId;
  layer.name = "Source";
  layer.width = clip.width();
  layer.height = clip.height();
  layer.in_point = A_Time{Round(s.in * scale), scale};
  layer.duration = A_Time{Round(s.duration.value_or(scene.comp.duration) * scale), scale};
  layer.start_offset = layer.in_point;  // the clip starts at the layer's in-point
  const double comp_fps = scene.comp.fps.value();
  const double clip_fps = s.fps.value();
  layer.source = [rec, &clip, comp_fps, clip_fps](PF_EffectWorld& world, A_long frame) {
    // The host counts layer frames at the composition rate; the clip has its own.
    const int64_t shown = std::clamp<int64_t>(ClipFrameOfLayerFrame(frame, comp_fps, clip_fps), 0, clip.frames() - 1);
    if (rec->layer_checkout) rec->painted = shown;
    clip.Paint(world, shown);
  };
  comp.AddLayer(layer);

  SourceRecord r;
  r.layer_id = kSourceLayerId;
  r.in_point = layer.in_point;
  r.duration = layer.duration;
  r.fps = s.fps;
  r.frames = clip.frames();
  r.width = clip.width();
  r.height = clip.height();
  r.rotation = clip.footage().rotation;
  r.pixel_aspect = clip.footage().pixel_aspect;
  r.variable_rate = clip.footage().variable_rate;
  r.colour = clip.colour();
  return r;
}

// The "Time" angle: constant, keyframes in the composition's time, or a rate
// as two linear keys over the whole composition.
void SetTime(testhost::Host& host, ParamIndex index, const TimeCurve& t, A_Time comp_duration, double seconds) {
  switch (t.kind) {
    case TimeCurve::Kind::Constant:
      host.params().SetValue(index, t.constant);
      break;
    case TimeCurve::Kind::Rate:
      host.params().SetKeyframes(index, {testhost::Keyframe{A_Time{0, comp_duration.scale}, 0.0},
                                testhost::Keyframe{comp_duration, t.rate * seconds}});
      break;
    case TimeCurve::Kind::Keys: {
      std::vector<testhost::Keyframe> keys;
      for (const auto& [sec, deg] : t.keys) {
        const A_u_long ks = std::fabs(sec) < 2000.0 ? 1000000u : 1000u;
        keys.push_back(testhost::Keyframe{A_Time{Round(sec * ks), ks}, deg});
      }
      host.params().SetKeyframes(index, std::move(keys));
      break;
    }
  }
}

// Every parameter in the table's order, in the host's user units; of the
// range's start and end only those of the range type chosen, the others
// keeping their defaults.
void SetParams(testhost::Host& host, const Scene& scene, A_Time comp_duration) {
  const EffectSettings& p = scene.params;
  for (const ParamSpec& row : kParams) {
    if (row.range_type != kEveryRange && row.range_type != p.code(kParamRangeType)) continue;
    switch (row.type) {
      case PF_Param_LAYER:
        host.params().SetValue(row.index, p[row.index] != 0.0 ? kSourceLayerId : 0);
        break;
      case PF_Param_ANGLE:
        SetTime(host, row.index, p.time, comp_duration, scene.comp.duration);
        break;
      default:
        host.params().SetValue(row.index, p[row.index]);
        break;
    }
  }
  host.UpdateParamsUI();
}

}  // namespace

struct HostRender::Impl {
  Scene scene;
  Clip* clip = nullptr;
  Recorder recorder;  // before the host, which tells it of calls until it goes
  std::unique_ptr<testhost::Host> host;
  A_u_long scale = 30;
  A_long step = 1;
  SourceRecord source;
  pixels::Depth depth = pixels::Depth::k8;
};

HostRender::HostRender(const std::string& plugin_path, const Scene& scene, Clip& clip) : impl_(new Impl) {
  Impl& m = *impl_;
  m.scene = scene;
  m.clip = &clip;
  m.host = LoadHost(plugin_path);
  testhost::Host& host = *m.host;

  const CompSettings& c = scene.comp;
  m.scale = static_cast<A_u_long>(c.fps.num);
  m.step = static_cast<A_long>(c.fps.den);
  const A_Time comp_duration{static_cast<A_long>(c.frames) * m.step, m.scale};
  LayOutComp(host.comp(), c, comp_duration);
  m.source = AddSourceLayer(host.comp(), scene, clip, m.scale, &m.recorder);
  host.SetTimeScale(m.scale);
  host.SetDownsample(PF_RationalScale{1, static_cast<A_u_long>(c.downsample)},
                     PF_RationalScale{1, static_cast<A_u_long>(c.downsample)});
  m.depth = DepthOfBits(c.depth).value_or(pixels::Depth::kFloat);
  SetParams(host, scene, comp_duration);
  // A user's render starts transparent, as in a real host, not in the loud
  // colour the host marks unwritten pixels with.
  host.frames().SetOutputFill(pixels::Color{});
  host.SetObserver(&m.recorder);
}

HostRender::~HostRender() {
  if (impl_ && impl_->host) impl_->host->GlobalSetdown();
}

void HostRender::RefuseCalls(const std::vector<std::string>& functions) {
  for (const std::string& f : functions) impl_->host->faults().FailCall(f, 0, PF_Err_INVALID_CALLBACK);
}

std::size_t HostRender::CallCount(const std::string& function) const { return impl_->host->trace().Count(function); }

FrameRecord HostRender::RenderFrame(int k) {
  Impl& m = *impl_;
  FrameRecord f;
  f.frame = k;
  f.current_time = A_Time{static_cast<A_long>(k) * m.step, m.scale};
  // The recorder writes into this frame's record, and stops with it, also
  // when the host throws.
  struct Recording {
    Recorder& recorder;
    ~Recording() { recorder.Begin(nullptr); }
  } recording{m.recorder};
  m.recorder.Begin(&f);
  testhost::Host& host = *m.host;
  host.SetTime(f.current_time.value, m.step);
  testhost::FrameRequest request;
  request.time = f.current_time.value;
  request.depth = m.depth;
  const std::size_t failures_before = host.callback_failures().size();
  f.error = host.frames().PreRender(request);
  if (f.error == PF_Err_NONE) f.error = host.frames().Render();
  // A host call of this frame whose own work failed: the footage, not the plug-in.
  const auto& failures = host.callback_failures();
  if (failures.size() > failures_before) {
    f.footage_error = failures[failures_before].cause;
    f.failed_call = failures[failures_before].function;
  }
  return f;
}

const PF_EffectWorld* HostRender::output() const {
  const pixels::PixelWorld* out = impl_->host->frames().last_output();
  return out ? out->world() : nullptr;
}

RenderRecord HostRender::Record() const {
  RenderRecord r;
  r.scene = impl_->scene;
  r.time_scale = impl_->scale;
  r.comp_fps = impl_->scene.comp.fps.value();
  r.source = impl_->source;
  return r;
}

}  // namespace zelvan::render
