#include "Host.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <stdexcept>

#include "FrameState.h"
#include "HostCore.h"
#include "HostValues.h"
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
  ReleaseAllFrames();
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

void Host::BeginCommand(PF_Cmd cmd) {
  HostCore& h = *core_;
  h.command = ++h.commands_sent;
  h.selector = cmd;
  h.in_command = true;
}

void Host::EndCommand(PF_Cmd cmd) {
  HostCore& h = *core_;
  h.accounts.CommandEnded(h.command, "#" + std::to_string(h.command) + " " + CommandName(cmd));
  h.in_command = false;
  h.command = 0;
}

PF_Err Host::Run(PF_Cmd cmd, void* extra, const Customize& customize, const std::function<void(PF_Err)>& after) {
  HostCore& h = *core_;
  if (h.module == nullptr) throw std::logic_error("a command sent to a host without a plug-in");
  CurrentHostScope scope(&h);
  // Each parameter setup declares the parameters afresh.
  if (cmd == PF_Cmd_PARAMS_SETUP) h.params.BeginSetup();
  Prepare();
  *h.command_output = *h.command_output_before;
  if (customize) customize(h.in_data, h.out_data);
  BeginCommand(cmd);
  PF_Err err = PF_Err_NONE;
  {
    PluginRunningScope plugin_running;
    err = h.module->entry_point()(cmd, &h.in_data, &h.out_data, h.param_pointers.data(), h.command_output->world(),
                                  extra);
  }
  Absorb(cmd, err);
  if (after) after(err);
  EndCommand(cmd);
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
  ReleaseAllFrames();
  return Command(PF_Cmd_GLOBAL_SETDOWN, nullptr, customize);
}

PF_Err Host::StartSession() {
  const PF_Err err = GlobalSetup();
  return err != PF_Err_NONE ? err : ParamsSetup();
}

// ---- Frames

PF_Err Host::PreRenderFrame(const FrameRequest& request, FrameToken* token, const Customize& customize) {
  HostCore& h = *core_;
  if (token != nullptr) *token = FrameToken{};
  const Layer& layer = h.comp->effect_layer();
  auto owned = std::make_unique<FrameState>();
  FrameState& frame = *owned;
  frame.serial = ++h.frames_started;
  frame.time = request.time;
  frame.depth = request.depth;
  frame.downsample_x = h.downsample_x;
  frame.downsample_y = h.downsample_y;
  PF_RenderRequest& req = frame.pre_input.output_request;
  req.rect = request.rect.value_or(LayerExtent(layer, h.downsample_x, h.downsample_y));
  req.field = request.field;
  req.channel_mask = request.channel_mask;
  // Words of the host's own, which an effect passes on as it found them.
  for (std::size_t i = 0; i < std::size(req.reserved); ++i) req.reserved[i] = A_long(0x5A540000 + i);
  for (std::size_t i = 0; i < std::size(req.unused); ++i) req.unused[i] = A_char('u' + i);
  frame.pre_input.bitdepth = BitDepth(request.depth);
  frame.pre_output.result_rect = request.result_rect;
  frame.pre_output.max_result_rect = request.max_result_rect;
  frame.pre_output.flags = request.flags;
  frame.pre_extra.input = &frame.pre_input;
  frame.pre_extra.output = &frame.pre_output;
  frame.pre_extra.cb = &h.pre_render_cb;
  h.frames[frame.serial] = std::move(owned);
  h.inspected = frame.serial;
  h.depth = request.depth;
  h.current_time = request.time;

  h.frame = &frame;
  const PF_Err err = Run(PF_Cmd_SMART_PRE_RENDER, &frame.pre_extra, customize, [&](PF_Err) {
    // What the effect left for the render, as it stood when it returned.
    if (const HandleTable::Record* r = h.accounts.handles().Find(static_cast<PF_Handle>(frame.pre_output.pre_render_data))) {
      frame.pre_render_bytes.assign(r->bytes.get(), r->bytes.get() + r->size);
    }
  });
  h.frame = nullptr;
  if (err != PF_Err_NONE) {
    ReleaseFrame(FrameToken{frame.serial});
    return err;
  }
  frame.pre_rendered = true;
  if (token != nullptr) token->serial = frame.serial;
  return err;
}

FrameState& Host::InFlight(FrameToken token, const char* what) const {
  auto it = core_->frames.find(token.serial);
  if (it == core_->frames.end()) {
    throw std::logic_error(std::string(what) + " of frame " + std::to_string(token.serial) +
                           ", which is not in flight (never pre-rendered, or released)");
  }
  return *it->second;
}

PF_Err Host::Render(FrameToken token, const Customize& customize) {
  HostCore& h = *core_;
  FrameState& f = InFlight(token, "Host::Render");
  if (f.rendered) throw std::logic_error("Host::Render of frame " + std::to_string(f.serial) + " a second time");
  f.rendered = true;
  h.inspected = f.serial;
  f.render_input.output_request = f.pre_input.output_request;
  f.render_input.bitdepth = f.pre_input.bitdepth;
  f.render_input.pre_render_data = f.pre_output.pre_render_data;
  f.render_extra.input = &f.render_input;
  f.render_extra.cb = &h.smart_render_cb;
  const PF_LRect area = OutputArea(f.pre_input.output_request.rect, f.pre_output.result_rect, f.pre_output.flags);
  f.output = std::make_unique<pixels::PixelWorld>(area.right - area.left, area.bottom - area.top, f.depth,
                                                  h.NextPadding(f.depth));
  f.output->world()->origin_x = area.left;
  f.output->world()->origin_y = area.top;
  f.output->fill(UnwrittenColor());
  f.output_before = std::make_unique<pixels::PixelWorld>(*f.output);
  h.depth = f.depth;
  h.current_time = f.time;
  // The frame renders at the resolution it was pre-rendered at.
  const PF_RationalScale dsx = h.downsample_x, dsy = h.downsample_y;
  h.downsample_x = f.downsample_x;
  h.downsample_y = f.downsample_y;

  h.frame = &f;
  const PF_Err err = Run(PF_Cmd_SMART_RENDER, &f.render_extra, customize, [&](PF_Err) {
    // The effect reads its inputs and writes its output's pixels, nothing else.
    for (const auto& [id, world] : f.layer_pixels) {
      const auto handed = f.layer_pixels_as_handed.find(id);
      if (!world->paddingIntact() || handed == f.layer_pixels_as_handed.end() ||
          !pixels::SamePixels(*world->world(), *handed->second->world())) {
        h.accounts.Violation("the effect wrote into its input (checkout " + std::to_string(id) + ")");
      }
    }
    if (!f.output->paddingIntact()) h.accounts.Violation("the effect wrote into the row padding of its output");
    // Layer pixels are the host's again once the render returns.
    for (const auto& [id, serial] : f.layer_pixel_serials) h.accounts.Close(Resource::LayerPixels, serial);
    f.layer_pixel_serials.clear();
    f.layer_pixels.clear();
    f.layer_pixels_as_handed.clear();
  });
  h.frame = nullptr;
  h.downsample_x = dsx;
  h.downsample_y = dsy;
  h.last_output_checked_out = f.output_checked_out;
  h.last_output_written = !pixels::SamePixels(*f.output->world(), *f.output_before->world());
  h.last_output = std::move(f.output);
  f.output_before.reset();
  return err;
}

void Host::ReleaseFrame(FrameToken token) {
  HostCore& h = *core_;
  FrameState& f = InFlight(token, "Host::ReleaseFrame");
  std::unique_ptr<FrameState> frame = std::move(h.frames[f.serial]);
  h.frames.erase(frame->serial);
  if (h.default_frame == frame->serial) h.default_frame = 0;
  h.inspected = frame->serial;
  // A host releases pre-render data outside any command, on a thread of its
  // choosing: this one is served for the while.
  CurrentHostScope scope(&h);
  if (frame->pre_output.delete_pre_render_data_func != nullptr) {
    ++h.pre_render_data_deleted;
    h.deleted_pre_render_data.push_back(frame->pre_output.pre_render_data);
    h.releasing_pre_render_data = true;
    {
      PluginRunningScope plugin_running;
      frame->pre_output.delete_pre_render_data_func(frame->pre_output.pre_render_data);
    }
    h.releasing_pre_render_data = false;
    h.accounts.LocksMustBeUndone("when the release of frame " + std::to_string(frame->serial) +
                                 "'s pre-render data returned");
  }
  h.last_frame = std::move(frame);
}

std::vector<FrameToken> Host::frames_in_flight() const {
  std::vector<FrameToken> out;
  for (const auto& [serial, frame] : core_->frames) out.push_back(FrameToken{serial});
  return out;
}

void Host::ReleaseAllFrames() {
  for (const FrameToken token : frames_in_flight()) ReleaseFrame(token);
}

PF_Err Host::PreRender(A_long time) {
  FrameRequest request;
  request.time = time;
  return PreRender(request);
}

PF_Err Host::PreRender(const FrameRequest& request, const Customize& customize) {
  AbandonFrame();
  FrameToken token;
  const PF_Err err = PreRenderFrame(request, &token, customize);
  core_->default_frame = token.serial;
  return err;
}

PF_Err Host::Render(const Customize& customize) {
  HostCore& h = *core_;
  if (h.default_frame == 0) throw std::logic_error("Host::Render without a successful PreRender of the frame");
  const FrameToken token{h.default_frame};
  const PF_Err err = Render(token, customize);
  ReleaseFrame(token);
  return err;
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

void Host::AbandonFrame() {
  if (core_->default_frame != 0) ReleaseFrame(FrameToken{core_->default_frame});
}

bool Host::frame_pending() const { return core_->default_frame != 0; }

namespace {

const FrameState& Inspected(const HostCore& h) {
  auto it = h.frames.find(h.inspected);
  if (it != h.frames.end()) return *it->second;
  if (h.last_frame != nullptr) return *h.last_frame;
  throw std::logic_error("no frame has been pre-rendered");
}

}  // namespace

const PF_PreRenderInput& Host::pre_render_input() const { return Inspected(*core_).pre_input; }
const PF_PreRenderOutput& Host::pre_render_output() const { return Inspected(*core_).pre_output; }
const std::vector<unsigned char>& Host::pre_render_data_bytes() const { return Inspected(*core_).pre_render_bytes; }

std::vector<PF_CheckoutResult> Host::layer_checkout_results() const {
  std::vector<PF_CheckoutResult> out;
  for (const LayerCheckoutRecord& r : Inspected(*core_).layer_checkouts) out.push_back(r.result);
  return out;
}

std::vector<PF_RenderRequest> Host::layer_checkout_requests() const {
  std::vector<PF_RenderRequest> out;
  for (const LayerCheckoutRecord& r : Inspected(*core_).layer_checkouts) out.push_back(r.request);
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
  return pixels::SamePixels(*core_->command_output->world(), *core_->command_output_before->world()) &&
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

SimulatedCommand::SimulatedCommand(Host& host, PF_Cmd cmd) : host_(host), cmd_(cmd) {
  if (cmd == PF_Cmd_PARAMS_SETUP) host.core_->params.BeginSetup();
  host.BeginCommand(cmd);
}

SimulatedCommand::~SimulatedCommand() { host_.EndCommand(cmd_); }

}  // namespace zelvan::testhost
