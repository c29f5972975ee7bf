#include "Host.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "FrameState.h"
#include "HostCore.h"
#include "LayerFrames.h"

namespace zelvan::testhost {
namespace {

constexpr A_u_long kEffectInterfaceVersion = (13u << 16) | 28u;
constexpr A_long kApplicationId = 0x5A544854;  // 'ZTHT': this host

A_short BitDepth(pixels::Depth d) {
  switch (d) {
    case pixels::Depth::k8:
      return 8;
    case pixels::Depth::k16:
      return 16;
    case pixels::Depth::kFloat:
      return 32;
  }
  return 8;
}

PF_LRect Intersect(const PF_LRect& a, const PF_LRect& b) {
  PF_LRect r = MakeRect(std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                        std::min(a.bottom, b.bottom));
  if (r.left >= r.right || r.top >= r.bottom) r = MakeRect(0, 0, 0, 0);
  return r;
}

const pixels::Color kCommandOutputColor{1.0f, 0.0f, 1.0f, 0.0f};

}  // namespace

Host::Host(const std::string& plugin_path) : Host(Module::Load(plugin_path)) {}

Host::Host() : Host(std::shared_ptr<const Module>()) {}

Host::Host(std::shared_ptr<const Module> module) : core_(std::make_unique<HostCore>()) {
  core_->module = std::move(module);
  // A small world with a known pattern, so that a command that must not
  // touch its output can be seen not to.
  core_->command_output = std::make_unique<pixels::PixelWorld>(4, 4, pixels::Depth::k8, 4);
  core_->command_output->fill(kCommandOutputColor);
  core_->command_output_before = std::make_unique<pixels::PixelWorld>(*core_->command_output);
  serving_ = std::make_unique<CurrentHostScope>(core_.get());
  Prepare();
}

Host::~Host() {
  if (core_->frame != nullptr) AbandonFrame();
  serving_.reset();
}

const Module& Host::module() const {
  if (core_->module == nullptr) throw std::logic_error("this host has no plug-in loaded");
  return *core_->module;
}

// ---- Commands

void Host::Prepare() {
  HostCore& h = *core_;
  const Layer& layer = h.comp->effect_layer();
  const double seconds = h.time_scale == 0 ? 0.0 : double(h.current_time) / double(h.time_scale);

  PF_InData& in = h.in_data;
  in = PF_InData{};
  in.inter = h.inter;
  in.utils = &h.utils;
  in.effect_ref = &h.instance;
  in.quality = 1;
  in.version = kEffectInterfaceVersion;
  in.appl_id = kApplicationId;
  in.num_params = h.params.count();
  in.current_time = h.current_time;
  in.time_step = h.time_step;
  in.total_time = h.total_time;
  in.local_time_step = h.time_step;
  in.time_scale = h.time_scale;
  in.width = layer.width;
  in.height = layer.height;
  in.extent_hint = MakeRect(0, 0, layer.width, layer.height);
  in.downsample_x = h.downsample_x;
  in.downsample_y = h.downsample_y;
  in.pixel_aspect_ratio = MakeScale(1, 1);
  in.global_data = h.global_data;
  in.pica_basicP = h.faults.null_basic_suite() ? nullptr : &h.basic;

  PF_OutData& out = h.out_data;
  out = PF_OutData{};
  // What the effect does not set keeps the host's value.
  out.global_data = h.global_data;
  out.num_params = h.params.count();

  h.param_values.clear();
  for (PF_ParamIndex i = 0; i < h.params.count(); ++i) {
    PF_ParamDef def = h.params.DefinitionAt(i, seconds);
    if (def.param_type == PF_Param_LAYER) std::memset(&def.u.ld, 0, sizeof def.u.ld);
    h.param_values.push_back(def);
  }
  h.param_pointers.clear();
  for (PF_ParamDef& def : h.param_values) h.param_pointers.push_back(&def);
  h.param_pointers.push_back(nullptr);
}

PF_Err Host::Run(PF_Cmd cmd, void* extra, const Customize& customize, const std::function<void(PF_Err)>& after) {
  HostCore& h = *core_;
  if (h.module == nullptr) throw std::logic_error("a command sent to a host without a plug-in");
  CurrentHostScope scope(&h);
  Prepare();
  *h.command_output = *h.command_output_before;
  if (customize) customize(h.in_data, h.out_data);
  h.command = ++h.commands_sent;
  h.selector = cmd;
  h.in_command = true;
  const PF_Err err =
      h.module->entry_point()(cmd, &h.in_data, &h.out_data, h.param_pointers.data(), h.command_output->world(), extra);
  Absorb(cmd, err);
  if (after) after(err);
  h.accounts.CommandEnded(h.command, "#" + std::to_string(h.command) + " " + CommandName(cmd));
  h.in_command = false;
  h.command = 0;
  return err;
}

void Host::Absorb(PF_Cmd cmd, PF_Err err) {
  HostCore& h = *core_;
  const PF_OutData& out = h.out_data;
  switch (cmd) {
    case PF_Cmd_ABOUT:
      h.about_text.assign(out.return_msg, strnlen(out.return_msg, sizeof out.return_msg));
      break;
    case PF_Cmd_GLOBAL_SETUP:
      h.version = out.my_version;
      h.out_flags = out.out_flags;
      h.out_flags2 = out.out_flags2;
      // Whatever the effect published is the host's to hand back at setdown.
      h.global_data = out.global_data;
      break;
    case PF_Cmd_PARAMS_SETUP:
      if (err == PF_Err_NONE) {
        h.num_params_reported = out.num_params;
        if (out.num_params != h.params.count()) {
          h.accounts.Violation("parameter setup reported " + std::to_string(out.num_params) +
                               " parameters but added " + std::to_string(h.params.count()) +
                               " (the input layer included)");
        }
      }
      break;
    case PF_Cmd_GLOBAL_SETDOWN:
      h.global_data = nullptr;
      break;
    default:
      break;
  }
}

PF_Err Host::Command(PF_Cmd cmd, void* extra, const Customize& customize) { return Run(cmd, extra, customize, {}); }
PF_Err Host::About(const Customize& customize) { return Command(PF_Cmd_ABOUT, nullptr, customize); }
PF_Err Host::GlobalSetup(const Customize& customize) { return Command(PF_Cmd_GLOBAL_SETUP, nullptr, customize); }
PF_Err Host::ParamsSetup(const Customize& customize) { return Command(PF_Cmd_PARAMS_SETUP, nullptr, customize); }
PF_Err Host::UpdateParamsUI(const Customize& customize) {
  return Command(PF_Cmd_UPDATE_PARAMS_UI, nullptr, customize);
}
PF_Err Host::GlobalSetdown(const Customize& customize) {
  // A host finishes its frames before it lets the effect go.
  if (core_->frame != nullptr) AbandonFrame();
  return Command(PF_Cmd_GLOBAL_SETDOWN, nullptr, customize);
}

PF_Err Host::StartSession() {
  const PF_Err err = GlobalSetup();
  return err != PF_Err_NONE ? err : ParamsSetup();
}

// ---- Frames

PF_Err Host::PreRender(A_long time) {
  FrameRequest request;
  request.time = time;
  return PreRender(request);
}

PF_Err Host::PreRender(const FrameRequest& request, const Customize& customize) {
  HostCore& h = *core_;
  if (h.frame != nullptr) AbandonFrame();
  const Layer& layer = h.comp->effect_layer();
  auto frame = std::make_unique<FrameState>();
  frame->serial = ++h.frames_started;
  frame->time = request.time;
  frame->depth = request.depth;
  PF_RenderRequest& req = frame->pre_input.output_request;
  req.rect = request.rect.value_or(
      MakeRect(0, 0, DownsampledSize(layer.width, h.downsample_x), DownsampledSize(layer.height, h.downsample_y)));
  req.field = request.field;
  req.channel_mask = request.channel_mask;
  frame->pre_input.bitdepth = BitDepth(request.depth);
  frame->pre_output.result_rect = request.result_rect;
  frame->pre_output.max_result_rect = request.max_result_rect;
  frame->pre_output.flags = request.flags;
  frame->pre_extra.input = &frame->pre_input;
  frame->pre_extra.output = &frame->pre_output;
  frame->pre_extra.cb = &h.pre_render_cb;
  h.frame = std::move(frame);
  h.depth = request.depth;
  h.current_time = request.time;

  return Run(PF_Cmd_SMART_PRE_RENDER, &h.frame->pre_extra, customize, [this](PF_Err err) {
    if (err != PF_Err_NONE) {
      FinishFrame(false);
    } else {
      core_->frame->pre_rendered = true;
    }
  });
}

PF_Err Host::Render(const Customize& customize) {
  HostCore& h = *core_;
  if (h.frame == nullptr || !h.frame->pre_rendered) {
    throw std::logic_error("Host::Render without a successful PreRender of the frame");
  }
  FrameState& f = *h.frame;
  f.render_input.output_request = f.pre_input.output_request;
  f.render_input.bitdepth = f.pre_input.bitdepth;
  f.render_input.pre_render_data = f.pre_output.pre_render_data;
  f.render_extra.input = &f.render_input;
  f.render_extra.cb = &h.smart_render_cb;
  // The output covers what was asked for and the effect said it produces.
  const PF_LRect area = Intersect(f.pre_input.output_request.rect, f.pre_output.result_rect);
  f.output = std::make_unique<pixels::PixelWorld>(area.right - area.left, area.bottom - area.top, f.depth);
  f.output->fill(UnwrittenColor());
  f.output_before = std::make_unique<pixels::PixelWorld>(*f.output);
  h.depth = f.depth;
  h.current_time = f.time;

  return Run(PF_Cmd_SMART_RENDER, &f.render_extra, customize, [this](PF_Err) {
    HostCore& core = *core_;
    // Layer pixels are the host's again once the render returns.
    for (const auto& [id, serial] : core.frame->layer_pixel_serials) core.accounts.Close(Resource::LayerPixels, serial);
    core.frame->layer_pixel_serials.clear();
    core.frame->layer_pixels.clear();
    FinishFrame(true);
  });
}

void Host::FinishFrame(bool rendered) {
  HostCore& h = *core_;
  CurrentHostScope scope(&h);
  std::unique_ptr<FrameState> frame = std::move(h.frame);
  if (frame == nullptr) return;
  if (frame->pre_output.delete_pre_render_data_func != nullptr) {
    ++h.pre_render_data_deleted;
    h.deleted_pre_render_data.push_back(frame->pre_output.pre_render_data);
    frame->pre_output.delete_pre_render_data_func(frame->pre_output.pre_render_data);
  }
  if (rendered) {
    h.last_output_checked_out = frame->output_checked_out;
    h.last_output_written = pixels::Checksum(*frame->output->world()) != pixels::Checksum(*frame->output_before->world());
    h.last_output = std::move(frame->output);
  }
  frame->output_before.reset();
  h.last_frame = std::move(frame);
}

PF_Err Host::RenderFrame(A_long time) {
  FrameRequest request;
  request.time = time;
  return RenderFrame(request);
}

PF_Err Host::RenderFrame(const FrameRequest& request) {
  const PF_Err err = PreRender(request);
  return err != PF_Err_NONE ? err : Render();
}

void Host::AbandonFrame() { FinishFrame(false); }

bool Host::frame_pending() const { return core_->frame != nullptr && core_->frame->pre_rendered; }

namespace {

const FrameState& CurrentOrLast(const HostCore& h) {
  if (h.frame != nullptr) return *h.frame;
  if (h.last_frame != nullptr) return *h.last_frame;
  throw std::logic_error("no frame has been pre-rendered");
}

}  // namespace

const PF_PreRenderInput& Host::pre_render_input() const { return CurrentOrLast(*core_).pre_input; }
const PF_PreRenderOutput& Host::pre_render_output() const { return CurrentOrLast(*core_).pre_output; }

std::vector<PF_CheckoutResult> Host::layer_checkout_results() const {
  std::vector<PF_CheckoutResult> out;
  for (const LayerCheckoutRecord& r : CurrentOrLast(*core_).layer_checkouts) out.push_back(r.result);
  return out;
}

std::vector<PF_RenderRequest> Host::layer_checkout_requests() const {
  std::vector<PF_RenderRequest> out;
  for (const LayerCheckoutRecord& r : CurrentOrLast(*core_).layer_checkouts) out.push_back(r.request);
  return out;
}

int Host::pre_render_data_deleted() const { return core_->pre_render_data_deleted; }
const std::vector<void*>& Host::deleted_pre_render_data() const { return core_->deleted_pre_render_data; }
const pixels::PixelWorld* Host::last_output() const { return core_->last_output.get(); }
bool Host::last_output_checked_out() const { return core_->last_output_checked_out; }
bool Host::last_output_written() const { return core_->last_output_written; }
pixels::Color Host::UnwrittenColor() { return pixels::Color{1.0f, 1.0f, 0.0f, 1.0f}; }

// ---- What the host saw

const PF_InData& Host::in_data() const { return core_->in_data; }
const PF_OutData& Host::out_data() const { return core_->out_data; }
int Host::last_command() const { return core_->commands_sent; }
const std::string& Host::about_text() const { return core_->about_text; }
std::optional<A_u_long> Host::version() const { return core_->version; }
A_long Host::out_flags() const { return core_->out_flags; }
A_long Host::out_flags2() const { return core_->out_flags2; }
PF_Handle Host::global_data() const { return core_->global_data; }
std::optional<A_long> Host::num_params_reported() const { return core_->num_params_reported; }

std::vector<std::pair<AEGP_PluginID, std::string>> Host::registrations() const {
  return {core_->registered.begin(), core_->registered.end()};
}

bool Host::command_output_untouched() const {
  return pixels::Checksum(*core_->command_output->world()) == pixels::Checksum(*core_->command_output_before->world()) &&
         core_->command_output->paddingIntact();
}

// ---- Parameters, composition, time

ParamModel& Host::params() { return core_->params; }
const ParamModel& Host::params() const { return core_->params; }
void Host::SetParam(PF_ParamIndex index, double value) { core_->params.SetValue(index, value); }
void Host::SetKeyframes(PF_ParamIndex index, std::vector<Keyframe> keys) {
  core_->params.SetKeyframes(index, std::move(keys));
}
bool Host::Hidden(PF_ParamIndex index) const { return core_->params.Hidden(index); }

Composition& Host::comp() { return *core_->comp; }
const Composition& Host::comp() const { return *core_->comp; }

void Host::SetTime(A_long current_time, A_long time_step) {
  core_->current_time = current_time;
  core_->time_step = time_step;
}
void Host::SetTimeScale(A_u_long time_scale) { core_->time_scale = time_scale; }
void Host::SetDownsample(PF_RationalScale x, PF_RationalScale y) {
  core_->downsample_x = x;
  core_->downsample_y = y;
}

// ---- Accounts, faults, trace

Faults& Host::faults() { return core_->faults; }
const CallTrace& Host::trace() const { return core_->trace; }
CallTrace& Host::trace() { return core_->trace; }
const Accounts& Host::accounts() const { return core_->accounts; }
std::string Host::Imbalance() const { return core_->accounts.Imbalance(); }

const std::vector<CallbackFailure>& Host::callback_failures() const { return core_->callback_failures; }

void* Host::HandleData(PF_Handle handle) const {
  const HandleTable::Record* r = core_->accounts.handles().Find(handle);
  return r == nullptr ? nullptr : r->bytes.get();
}
A_HandleSize Host::HandleSize(PF_Handle handle) const {
  const HandleTable::Record* r = core_->accounts.handles().Find(handle);
  return r == nullptr ? 0 : r->size;
}
int Host::HandleLockDepth(PF_Handle handle) const {
  const HandleTable::Record* r = core_->accounts.handles().Find(handle);
  return r == nullptr ? 0 : r->lock_depth;
}
std::size_t Host::LiveHandles() const { return core_->accounts.handles().live(); }

// ---- Services outside commands

const SPBasicSuite* Host::basic_suite() const { return &core_->basic; }
void Host::OfferSuite(const std::string& name, A_long version, const void* table) {
  core_->extra_suites[{name, version}] = table;
}
PF_InData& Host::PrepareInData() {
  Prepare();
  return core_->in_data;
}
PF_OutData& Host::PrepareOutData() { return core_->out_data; }
PF_ProgPtr Host::effect_ref() const { return &core_->instance; }

}  // namespace zelvan::testhost
