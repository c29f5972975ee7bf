#include "HostRender.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <stdexcept>

#include "ClipFrame.h"
#include "Host.h"
#include "HostObserver.h"
#include "LoadError.h"
#include "ParamTable.h"
#include "PixelWorld.h"

namespace zelvan::render {
namespace {

// The report's field for each parameter the plug-in snapshots, in host units.
struct ReportField {
  ParamIndex index;
  A_long HostParams::*code;    // popup codes and 16.16 values
  double HostParams::*number;  // float slider values
};
constexpr ReportField kReportFields[] = {
    {kParamMode, &HostParams::mode, nullptr},
    {kParamType, &HostParams::type, nullptr},
    {kParamTime, &HostParams::time_fixed, nullptr},
    {kParamWaitingTime, &HostParams::waiting_fixed, nullptr},
    {kParamRangeType, &HostParams::range_type, nullptr},
    {kParamStartPercent, &HostParams::start_pct_fixed, nullptr},
    {kParamEndPercent, &HostParams::end_pct_fixed, nullptr},
    {kParamStartSeconds, nullptr, &HostParams::start_sec},
    {kParamEndSeconds, nullptr, &HostParams::end_sec},
    {kParamEasingType, &HostParams::easing_type, nullptr},
    {kParamEasingMode, &HostParams::easing_mode, nullptr},
};

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
    for (const ReportField& field : kReportFields) {
      if (field.index != call.index) continue;
      const double value = HostValue(*FindParam(call.index), *call.def);
      if (field.code != nullptr) {
        frame->params.*field.code = static_cast<A_long>(value);
      } else {
        frame->params.*field.number = value;
      }
    }
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
  try {
    m.host = std::make_unique<testhost::Host>(plugin_path);
  } catch (const testhost::LoadError& e) {
    throw UsageError(plugin_path, "is not a usable plug-in: " + e.cause(), e.fix() + ", or pass --plugin PATH");
  }
  testhost::Host& host = *m.host;
  if (const PF_Err err = host.StartSession()) {
    throw std::runtime_error(plugin_path + ": the plug-in's setup failed with error " + std::to_string(err));
  }

  const CompSettings& c = scene.comp;
  m.scale = static_cast<A_u_long>(c.fps.num);
  m.step = static_cast<A_long>(c.fps.den);
  const A_Time comp_duration{static_cast<A_long>(c.frames) * m.step, m.scale};

  testhost::Composition& comp = host.comp();
  comp.width = c.width;
  comp.height = c.height;
  comp.frame_rate = c.fps.value();
  comp.duration = comp_duration;
  comp.time_scale = m.scale;
  testhost::Layer& solid = comp.effect_layer();
  solid.name = "Solid";
  solid.width = c.width;
  solid.height = c.height;
  solid.in_point = A_Time{0, m.scale};
  solid.duration = comp_duration;
  solid.start_offset = A_Time{0, m.scale};
  // A plain solid: a frame passed through shows as this colour.
  solid.source = [](PF_EffectWorld& world, A_long) {
    pixels::FillRect(world, nullptr, pixels::Color{1.0f, 0.12f, 0.16f, 0.22f});
  };

  const SourceSettings& s = scene.source;
  testhost::Layer layer;
  layer.id = kSourceLayerId;
  layer.name = "Source";
  layer.width = clip.width();
  layer.height = clip.height();
  layer.in_point = A_Time{Round(s.in * m.scale), m.scale};
  layer.duration = A_Time{Round(s.duration.value_or(c.duration) * m.scale), m.scale};
  layer.start_offset = layer.in_point;  // the clip starts at the layer's in-point
  const double comp_fps = c.fps.value();
  const double clip_fps = s.fps.value();
  Recorder* rec = &m.recorder;
  layer.source = [rec, &clip, comp_fps, clip_fps](PF_EffectWorld& world, A_long frame) {
    // The host counts layer frames at the composition rate; the clip has its own.
    const int64_t shown = std::clamp<int64_t>(ClipFrameOfLayerFrame(frame, comp_fps, clip_fps), 0, clip.frames() - 1);
    if (rec->layer_checkout) rec->painted = shown;
    clip.Paint(world, shown);
  };
  comp.AddLayer(layer);

  m.source.layer_id = kSourceLayerId;
  m.source.in_point = layer.in_point;
  m.source.duration = layer.duration;
  m.source.fps = s.fps;
  m.source.frames = clip.frames();
  m.source.width = clip.width();
  m.source.height = clip.height();
  m.source.rotation = clip.footage().rotation;
  m.source.pixel_aspect = clip.footage().pixel_aspect;
  m.source.variable_rate = clip.footage().variable_rate;

  host.SetTimeScale(m.scale);
  host.SetDownsample(PF_RationalScale{1, static_cast<A_u_long>(c.downsample)},
                     PF_RationalScale{1, static_cast<A_u_long>(c.downsample)});
  m.depth = c.depth == 8 ? pixels::Depth::k8 : c.depth == 16 ? pixels::Depth::k16 : pixels::Depth::kFloat;

  // Parameters in the host's user units.
  const EffectSettings& p = scene.params;
  host.params().SetValue(kParamMode, p.mode);
  host.params().SetValue(kParamLayer, p.layer ? kSourceLayerId : 0);
  host.params().SetValue(kParamType, p.type);
  switch (p.time.kind) {
    case TimeCurve::Kind::Constant:
      host.params().SetValue(kParamTime, p.time.constant);
      break;
    case TimeCurve::Kind::Rate: {
      // Two linear keys: the angle grows at the rate over the whole composition.
      const double end = c.duration;
      host.params().SetKeyframes(kParamTime, {testhost::Keyframe{A_Time{0, m.scale}, 0.0},
                                              testhost::Keyframe{comp_duration, p.time.rate * end}});
      break;
    }
    case TimeCurve::Kind::Keys: {
      std::vector<testhost::Keyframe> keys;
      for (const auto& [sec, deg] : p.time.keys) {
        const A_u_long ks = std::fabs(sec) < 2000.0 ? 1000000u : 1000u;
        keys.push_back(testhost::Keyframe{A_Time{Round(sec * ks), ks}, deg});
      }
      host.params().SetKeyframes(kParamTime, std::move(keys));
      break;
    }
  }
  host.params().SetValue(kParamWaitingTime, p.waiting);
  host.params().SetValue(kParamRangeType, p.range);
  if (p.range == 1) {
    host.params().SetValue(kParamStartPercent, p.start);
    host.params().SetValue(kParamEndPercent, p.end);
  } else {
    host.params().SetValue(kParamStartSeconds, p.start);
    host.params().SetValue(kParamEndSeconds, p.end);
  }
  host.params().SetValue(kParamEasingType, p.easing);
  host.params().SetValue(kParamEasingMode, p.easing_mode);
  host.UpdateParamsUI();
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
