#include "HostRender.h"

#include <cmath>
#include <stdexcept>

#include "FrameState.h"
#include "Host.h"
#include "HostCore.h"
#include "LoadError.h"
#include "Params.h"
#include "PixelWorld.h"

namespace zelvan::render {
namespace {

// The host's callbacks are plain function pointers without a context, so the
// recorder of the frame being rendered is reached through the thread.
struct Recorder {
  PF_InteractCallbacks host_inter{};
  PF_UtilCallbacks host_utils{};
  PF_UtilCallbacks utils{};
  FrameRecord* frame = nullptr;
  testhost::Host* host = nullptr;
  bool layer_checkout = false;
  bool rendering = false;  // the render command, not the pre-render
  std::optional<int64_t> painted;
};
thread_local Recorder* g_recorder = nullptr;

PF_Err RecordingCheckout(PF_ProgPtr ref, PF_ParamIndex index, A_long time, A_long step, A_u_long scale,
                         PF_ParamDef* def) noexcept {
  Recorder& r = *g_recorder;
  r.layer_checkout = index == kParamLayer;
  r.painted.reset();
  const PF_Err err = r.host_inter.checkout_param(ref, index, time, step, scale, def);
  r.layer_checkout = false;
  HostParams& p = r.frame->params;
  if (index == kParamLayer) {
    r.frame->layer_time = A_Time{time, scale};
    if (err == PF_Err_NONE && def != nullptr && def->u.ld.data != nullptr) r.frame->source_frame = r.painted;
    if (err != PF_Err_NONE && r.painted) r.frame->failed_source_frame = r.painted;
  }
  if (err != PF_Err_NONE || def == nullptr) return err;
  switch (index) {
    case kParamMode: p.mode = def->u.pd.value; break;
    case kParamType: p.type = def->u.pd.value; break;
    case kParamTime: p.time_fixed = def->u.ad.value; break;
    case kParamWaitingTime: p.waiting_fixed = def->u.fd.value; break;
    case kParamRangeType: p.range_type = def->u.pd.value; break;
    case kParamStartPercent: p.start_pct_fixed = def->u.fd.value; break;
    case kParamEndPercent: p.end_pct_fixed = def->u.fd.value; break;
    case kParamStartSeconds: p.start_sec = def->u.fs_d.value; break;
    case kParamEndSeconds: p.end_sec = def->u.fs_d.value; break;
    case kParamEasingType: p.easing_type = def->u.pd.value; break;
    case kParamEasingMode: p.easing_mode = def->u.pd.value; break;
    default: break;
  }
  return err;
}

// Both run in the plug-in's frames, as host callbacks: nothing in them throws.
PF_Err RecordingCopy(PF_ProgPtr ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                     PF_Rect* dst_r) noexcept {
  Recorder& r = *g_recorder;
  r.frame->copied = true;
  if (src_r == nullptr && dst_r == nullptr) {
    r.frame->copy.reset();
  } else {
    CopyRects rects;
    // A single null rectangle means that world whole.
    rects.src = src_r ? *src_r : PF_LRect{0, 0, src ? src->width : 0, src ? src->height : 0};
    rects.dst = dst_r ? *dst_r : PF_LRect{0, 0, dst ? dst->width : 0, dst ? dst->height : 0};
    r.frame->copy = rects;
  }
  return r.host_utils.copy(ref, src, dst, src_r, dst_r);
}

void Intercept(PF_InData& in, PF_OutData&) {
  Recorder& r = *g_recorder;
  // The host marks a fresh output with a loud colour to spot unwritten
  // pixels; a user's render starts transparent, as in a real host.
  testhost::HostCore& core = r.host->core();
  if (core.frame != nullptr && core.frame->output != nullptr && r.rendering) {
    core.frame->output->fill(pixels::Color{});
    core.frame->output_before = pixels::Fingerprint(*core.frame->output->world());
  }
  r.host_inter = in.inter;
  in.inter.checkout_param = RecordingCheckout;
  if (in.utils != nullptr) {
    r.host_utils = *in.utils;
    r.utils = *in.utils;
    r.utils.copy = RecordingCopy;
    in.utils = &r.utils;
  }
}

A_long Round(double x) { return static_cast<A_long>(std::llround(x)); }

constexpr AEGP_LayerIDVal kSourceLayerId = 2;

}  // namespace

struct HostRender::Impl {
  Scene scene;
  Clip* clip = nullptr;
  std::unique_ptr<testhost::Host> host;
  Recorder recorder;
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
    const auto clip_frame = static_cast<int64_t>(std::floor(frame / comp_fps * clip_fps + 1e-9));
    const int64_t shown = std::clamp<int64_t>(clip_frame, 0, clip.frames() - 1);
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
  host.SetParam(kParamMode, p.mode);
  host.SetParam(kParamLayer, p.layer ? kSourceLayerId : 0);
  host.SetParam(kParamType, p.type);
  switch (p.time.kind) {
    case TimeCurve::Kind::Constant:
      host.SetParam(kParamTime, p.time.constant);
      break;
    case TimeCurve::Kind::Rate: {
      // Two linear keys: the angle grows at the rate over the whole composition.
      const double end = c.duration;
      host.SetKeyframes(kParamTime, {testhost::Keyframe{A_Time{0, m.scale}, 0.0},
                                     testhost::Keyframe{comp_duration, p.time.rate * end}});
      break;
    }
    case TimeCurve::Kind::Keys: {
      std::vector<testhost::Keyframe> keys;
      for (const auto& [sec, deg] : p.time.keys) {
        const A_u_long ks = std::fabs(sec) < 2000.0 ? 1000000u : 1000u;
        keys.push_back(testhost::Keyframe{A_Time{Round(sec * ks), ks}, deg});
      }
      host.SetKeyframes(kParamTime, std::move(keys));
      break;
    }
  }
  host.SetParam(kParamWaitingTime, p.waiting);
  host.SetParam(kParamRangeType, p.range);
  if (p.range == 1) {
    host.SetParam(kParamStartPercent, p.start);
    host.SetParam(kParamEndPercent, p.end);
  } else {
    host.SetParam(kParamStartSeconds, p.start);
    host.SetParam(kParamEndSeconds, p.end);
  }
  host.SetParam(kParamEasingType, p.easing);
  host.SetParam(kParamEasingMode, p.easing_mode);
  host.UpdateParamsUI();
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
  m.recorder = Recorder{};
  m.recorder.frame = &f;
  m.recorder.host = m.host.get();
  g_recorder = &m.recorder;
  testhost::Host& host = *m.host;
  host.SetTime(f.current_time.value, m.step);
  testhost::FrameRequest request;
  request.time = f.current_time.value;
  request.depth = m.depth;
  const std::size_t failures_before = host.callback_failures().size();
  f.error = host.PreRender(request, Intercept);
  if (f.error == PF_Err_NONE) {
    m.recorder.rendering = true;
    f.error = host.Render(Intercept);
  }
  g_recorder = nullptr;
  // A host call of this frame whose own work failed: the footage, not the plug-in.
  const auto& failures = host.callback_failures();
  if (failures.size() > failures_before) {
    f.footage_error = failures[failures_before].cause;
    f.failed_call = failures[failures_before].function;
  }
  return f;
}

const PF_EffectWorld* HostRender::output() const {
  const pixels::PixelWorld* out = impl_->host->last_output();
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
