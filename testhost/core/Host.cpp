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
  core_->module_ = std::move(module);
  core_->output_fill_ = UnwrittenColor();
  // A small world with a known pattern, so that a command that must not
  // touch its output can be seen not to.
  core_->command_output_ = std::make_unique<pixels::PixelWorld>(4, 4, pixels::Depth::k8, 4);
  core_->command_output_->fill(kCommandOutputColor);
  core_->command_output_before_ = std::make_unique<pixels::PixelWorld>(*core_->command_output_);
  serving_ = std::make_unique<CurrentHostScope>(core_.get());
  Prepare();
}

Host::~Host() {
  ReleaseAllFrames();
  serving_.reset();
}

const Module& Host::module() const {
  if (core_->module_ == nullptr) throw std::logic_error("this host has no plug-in loaded");
  return *core_->module_;
}

// ---- Commands

void Host::Prepare() {
  HostCore& h = *core_;
  const Layer& layer = h.comp_->effect_layer();
  const double seconds = h.time_scale_ == 0 ? 0.0 : double(h.current_time_) / double(h.time_scale_);

  PF_InData& in = h.in_data_;
  in = PF_InData{};
  in.inter = h.inter_;
  in.utils = &h.utils_;
  in.effect_ref = &h.instance_;
  in.quality = 1;
  in.version = kEffectInterfaceVersion;
  in.appl_id = kApplicationId;
  in.num_params = h.params_.count();
  in.current_time = h.current_time_;
  in.time_step = h.time_step_;
  in.total_time = h.total_time_;
  in.local_time_step = h.time_step_;
  in.time_scale = h.time_scale_;
  in.width = layer.width;
  in.height = layer.height;
  in.extent_hint = MakeRect(0, 0, layer.width, layer.height);
  in.downsample_x = h.downsample_x_;
  in.downsample_y = h.downsample_y_;
  in.pixel_aspect_ratio = MakeScale(1, 1);
  in.global_data = h.global_data_;
  in.pica_basicP = h.faults_.null_basic_suite() ? nullptr : &h.basic_;

  PF_OutData& out = h.out_data_;
  out = PF_OutData{};
  // What the effect does not set keeps the host's value.
  out.global_data = h.global_data_;
  out.num_params = h.params_.count();

  h.param_values_.clear();
  for (PF_ParamIndex i = 0; i < h.params_.count(); ++i) {
    PF_ParamDef def = h.params_.DefinitionAt(i, seconds);
    if (def.param_type == PF_Param_LAYER) std::memset(&def.u.ld, 0, sizeof def.u.ld);
    h.param_values_.push_back(def);
  }
  h.param_pointers_.clear();
  for (PF_ParamDef& def : h.param_values_) h.param_pointers_.push_back(&def);
  h.param_pointers_.push_back(nullptr);
}

void Host::BeginCommand(PF_Cmd cmd) {
  HostCore& h = *core_;
  h.command_ = ++h.commands_sent_;
  h.running_ = cmd;
}

void Host::EndCommand(PF_Cmd cmd) {
  HostCore& h = *core_;
  h.accounts_.CommandEnded(h.command_, "#" + std::to_string(h.command_) + " " + CommandName(cmd));
  h.running_.reset();
  h.command_ = 0;
}

PF_Err Host::Run(PF_Cmd cmd, void* extra, const Customize& customize, const std::function<void(PF_Err)>& after) {
  HostCore& h = *core_;
  if (h.module_ == nullptr) throw std::logic_error("a command sent to a host without a plug-in");
  CurrentHostScope scope(&h);
  // Each parameter setup declares the parameters afresh.
  if (cmd == PF_Cmd_PARAMS_SETUP) h.params_.BeginSetup();
  Prepare();
  *h.command_output_ = *h.command_output_before_;
  if (customize) customize(h.in_data_, h.out_data_);
  BeginCommand(cmd);
  PF_Err err = PF_Err_NONE;
  {
    PluginRunningScope plugin_running;
    err = h.module_->entry_point()(cmd, &h.in_data_, &h.out_data_, h.param_pointers_.data(), h.command_output_->world(),
                                  extra);
  }
  Absorb(cmd, err);
  if (after) after(err);
  EndCommand(cmd);
  return err;
}

void Host::Absorb(PF_Cmd cmd, PF_Err err) {
  HostCore& h = *core_;
  const PF_OutData& out = h.out_data_;
  switch (cmd) {
    case PF_Cmd_ABOUT:
      h.about_text_.assign(out.return_msg, strnlen(out.return_msg, sizeof out.return_msg));
      break;
    case PF_Cmd_GLOBAL_SETUP:
      h.version_ = out.my_version;
      h.out_flags_ = out.out_flags;
      h.out_flags2_ = out.out_flags2;
      // Whatever the effect published is the host's to hand back at setdown.
      h.global_data_ = out.global_data;
      break;
    case PF_Cmd_PARAMS_SETUP:
      if (err == PF_Err_NONE) {
        h.num_params_reported_ = out.num_params;
        if (out.num_params != h.params_.count()) {
          h.accounts_.Violation("parameter setup reported " + std::to_string(out.num_params) +
                               " parameters but added " + std::to_string(h.params_.count()) +
                               " (the input layer included)");
        }
      }
      break;
    case PF_Cmd_GLOBAL_SETDOWN:
      h.global_data_ = nullptr;
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
  const Layer& layer = h.comp_->effect_layer();
  auto owned = std::make_unique<FrameState>();
  FrameState& frame = *owned;
  frame.serial = ++h.frames_started_;
  frame.time = request.time;
  frame.depth = request.depth;
  frame.downsample_x = h.downsample_x_;
  frame.downsample_y = h.downsample_y_;
  PF_RenderRequest& req = frame.pre_input.output_request;
  req.rect = request.rect.value_or(LayerExtent(layer, h.downsample_x_, h.downsample_y_));
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
  frame.pre_extra.cb = &h.pre_render_cb_;
  h.frames_[frame.serial] = std::move(owned);
  h.inspected_ = frame.serial;
  h.depth_ = request.depth;
  h.current_time_ = request.time;

  h.frame_ = &frame;
  const PF_Err err = Run(PF_Cmd_SMART_PRE_RENDER, &frame.pre_extra, customize, [&](PF_Err) {
    // What the effect left for the render, as it stood when it returned.
    if (const HandleTable::Record* r = h.accounts_.handles().Find(static_cast<PF_Handle>(frame.pre_output.pre_render_data))) {
      frame.pre_render_bytes.assign(r->bytes.get(), r->bytes.get() + r->size);
    }
  });
  h.frame_ = nullptr;
  if (err != PF_Err_NONE) {
    ReleaseFrame(FrameToken{frame.serial});
    return err;
  }
  frame.pre_rendered = true;
  if (token != nullptr) token->serial = frame.serial;
  return err;
}

FrameState& Host::InFlight(FrameToken token, const char* what) const {
  auto it = core_->frames_.find(token.serial);
  if (it == core_->frames_.end()) {
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
  h.inspected_ = f.serial;
  f.render_input.output_request = f.pre_input.output_request;
  f.render_input.bitdepth = f.pre_input.bitdepth;
  f.render_input.pre_render_data = f.pre_output.pre_render_data;
  f.render_extra.input = &f.render_input;
  f.render_extra.cb = &h.smart_render_cb_;
  const PF_LRect area = OutputArea(f.pre_input.output_request.rect, f.pre_output.result_rect, f.pre_output.flags);
  // The last frame's output is valid until this render: it goes before the
  // next one is made, so that two large worlds are not held at once.
  h.last_output_.reset();
  f.output = std::make_unique<pixels::PixelWorld>(area.right - area.left, area.bottom - area.top, f.depth,
                                                  h.NextPadding(f.depth));
  f.output->world()->origin_x = area.left;
  f.output->world()->origin_y = area.top;
  f.output->fill(h.output_fill_);
  f.output_before = pixels::Fingerprint(*f.output->world());
  h.depth_ = f.depth;
  h.current_time_ = f.time;
  // The frame renders at the resolution it was pre-rendered at.
  const PF_RationalScale dsx = h.downsample_x_, dsy = h.downsample_y_;
  h.downsample_x_ = f.downsample_x;
  h.downsample_y_ = f.downsample_y;

  h.frame_ = &f;
  const PF_Err err = Run(PF_Cmd_SMART_RENDER, &f.render_extra, customize, [&](PF_Err) {
    // The effect reads its inputs and writes its output's pixels, nothing else.
    for (const auto& [id, world] : f.layer_pixels) {
      const auto handed = f.layer_pixels_as_handed.find(id);
      if (!world->paddingIntact() || handed == f.layer_pixels_as_handed.end() ||
          pixels::Fingerprint(*world->world()) != handed->second) {
        h.accounts_.Violation("the effect wrote into its input (checkout " + std::to_string(id) + ")");
      }
    }
    if (!f.output->paddingIntact()) h.accounts_.Violation("the effect wrote into the row padding of its output");
    // Layer pixels are the host's again once the render returns.
    for (const auto& [id, serial] : f.layer_pixel_serials) h.accounts_.Close(Resource::LayerPixels, serial);
    f.layer_pixel_serials.clear();
    f.layer_pixels.clear();
    f.layer_pixels_as_handed.clear();
  });
  h.frame_ = nullptr;
  h.downsample_x_ = dsx;
  h.downsample_y_ = dsy;
  h.last_output_checked_out_ = f.output_checked_out;
  h.last_output_written_ = pixels::Fingerprint(*f.output->world()) != f.output_before;
  h.last_output_ = std::move(f.output);
  return err;
}

void Host::ReleaseFrame(FrameToken token) {
  HostCore& h = *core_;
  FrameState& f = InFlight(token, "Host::ReleaseFrame");
  std::unique_ptr<FrameState> frame = std::move(h.frames_[f.serial]);
  h.frames_.erase(frame->serial);
  if (h.default_frame_ == frame->serial) h.default_frame_ = 0;
  h.inspected_ = frame->serial;
  // A host releases pre-render data outside any command, on a thread of its
  // choosing: this one is served for the while.
  CurrentHostScope scope(&h);
  if (frame->pre_output.delete_pre_render_data_func != nullptr) {
    ++h.pre_render_data_deleted_;
    h.deleted_pre_render_data_.push_back(frame->pre_output.pre_render_data);
    SetReleasing(true);
    {
      PluginRunningScope plugin_running;
      frame->pre_output.delete_pre_render_data_func(frame->pre_output.pre_render_data);
    }
    SetReleasing(false);
    h.accounts_.LocksMustBeUndone("when the release of frame " + std::to_string(frame->serial) +
                                 "'s pre-render data returned");
  }
  h.last_frame_ = std::move(frame);
}

std::vector<FrameToken> Host::frames_in_flight() const {
  std::vector<FrameToken> out;
  for (const auto& [serial, frame] : core_->frames_) out.push_back(FrameToken{serial});
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
  core_->default_frame_ = token.serial;
  return err;
}

PF_Err Host::Render(const Customize& customize) {
  HostCore& h = *core_;
  if (h.default_frame_ == 0) throw std::logic_error("Host::Render without a successful PreRender of the frame");
  const FrameToken token{h.default_frame_};
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
  if (core_->default_frame_ != 0) ReleaseFrame(FrameToken{core_->default_frame_});
}

bool Host::frame_pending() const { return core_->default_frame_ != 0; }

const FrameState& Host::Inspected() const {
  auto it = core_->frames_.find(core_->inspected_);
  if (it != core_->frames_.end()) return *it->second;
  if (core_->last_frame_ != nullptr) return *core_->last_frame_;
  throw std::logic_error("no frame has been pre-rendered");
}

const PF_PreRenderInput& Host::pre_render_input() const { return Inspected().pre_input; }
const PF_PreRenderOutput& Host::pre_render_output() const { return Inspected().pre_output; }
const std::vector<unsigned char>& Host::pre_render_data_bytes() const { return Inspected().pre_render_bytes; }

std::vector<PF_CheckoutResult> Host::layer_checkout_results() const {
  std::vector<PF_CheckoutResult> out;
  for (const LayerCheckoutRecord& r : Inspected().layer_checkouts) out.push_back(r.result);
  return out;
}

std::vector<PF_RenderRequest> Host::layer_checkout_requests() const {
  std::vector<PF_RenderRequest> out;
  for (const LayerCheckoutRecord& r : Inspected().layer_checkouts) out.push_back(r.request);
  return out;
}

int Host::pre_render_data_deleted() const { return core_->pre_render_data_deleted_; }
const std::vector<void*>& Host::deleted_pre_render_data() const { return core_->deleted_pre_render_data_; }
const pixels::PixelWorld* Host::last_output() const { return core_->last_output_.get(); }
bool Host::last_output_checked_out() const { return core_->last_output_checked_out_; }
bool Host::last_output_written() const { return core_->last_output_written_; }
pixels::Color Host::UnwrittenColor() { return pixels::Color{1.0f, 1.0f, 0.0f, 1.0f}; }
void Host::SetOutputFill(const pixels::Color& fill) { core_->output_fill_ = fill; }

// ---- What the host saw

const PF_InData& Host::in_data() const { return core_->in_data_; }
const PF_OutData& Host::out_data() const { return core_->out_data_; }
int Host::last_command() const { return core_->commands_sent_; }
const std::string& Host::about_text() const { return core_->about_text_; }
std::optional<A_u_long> Host::version() const { return core_->version_; }
A_long Host::out_flags() const { return core_->out_flags_; }
A_long Host::out_flags2() const { return core_->out_flags2_; }
PF_Handle Host::global_data() const { return core_->global_data_; }
std::optional<A_long> Host::num_params_reported() const { return core_->num_params_reported_; }

std::vector<std::pair<AEGP_PluginID, std::string>> Host::registrations() const {
  return {core_->registered_.begin(), core_->registered_.end()};
}

bool Host::command_output_untouched() const {
  return pixels::SamePixels(*core_->command_output_->world(), *core_->command_output_before_->world()) &&
         core_->command_output_->paddingIntact();
}

// ---- Parameters, composition, time

ParamModel& Host::params() { return core_->params_; }
const ParamModel& Host::params() const { return core_->params_; }
void Host::SetParam(PF_ParamIndex index, double value) { core_->params_.SetValue(index, value); }
void Host::SetKeyframes(PF_ParamIndex index, std::vector<Keyframe> keys) {
  core_->params_.SetKeyframes(index, std::move(keys));
}
bool Host::Hidden(PF_ParamIndex index) const { return core_->params_.Hidden(index); }

Composition& Host::comp() { return *core_->comp_; }
const Composition& Host::comp() const { return *core_->comp_; }

void Host::SetTime(A_long current_time, A_long time_step) {
  core_->current_time_ = current_time;
  core_->time_step_ = time_step;
}
void Host::SetTimeScale(A_u_long time_scale) { core_->time_scale_ = time_scale; }
void Host::SetDownsample(PF_RationalScale x, PF_RationalScale y) {
  core_->downsample_x_ = x;
  core_->downsample_y_ = y;
}

// ---- Accounts, faults, trace

Faults& Host::faults() { return core_->faults_; }
const CallTrace& Host::trace() const { return core_->trace_; }
CallTrace& Host::trace() { return core_->trace_; }
const Accounts& Host::accounts() const { return core_->accounts_; }
void Host::SetObserver(HostObserver* observer) { core_->observer_ = observer; }
std::string Host::Imbalance() const { return core_->accounts_.Imbalance(); }

const std::vector<CallbackFailure>& Host::callback_failures() const { return core_->callback_failures_; }

void* Host::HandleData(PF_Handle handle) const {
  const HandleTable::Record* r = core_->accounts_.handles().Find(handle);
  return r == nullptr ? nullptr : r->bytes.get();
}
A_HandleSize Host::HandleSize(PF_Handle handle) const {
  const HandleTable::Record* r = core_->accounts_.handles().Find(handle);
  return r == nullptr ? 0 : r->size;
}
int Host::HandleLockDepth(PF_Handle handle) const {
  const HandleTable::Record* r = core_->accounts_.handles().Find(handle);
  return r == nullptr ? 0 : r->lock_depth;
}
std::size_t Host::LiveHandles() const { return core_->accounts_.handles().live(); }

// ---- Services outside commands

const SPBasicSuite* Host::basic_suite() const { return &core_->basic_; }
void Host::OfferSuite(const std::string& name, A_long version, const void* table) {
  core_->extra_suites_[{name, version}] = table;
}
PF_InData& Host::PrepareInData() {
  Prepare();
  return core_->in_data_;
}
PF_OutData& Host::PrepareOutData() { return core_->out_data_; }
PF_ProgPtr Host::effect_ref() const { return &core_->instance_; }
PF_ParamDef** Host::command_params() { return core_->param_pointers_.data(); }

SimulatedCommand::SimulatedCommand(Host& host, PF_Cmd cmd) : host_(host), cmd_(cmd) {
  if (cmd == PF_Cmd_PARAMS_SETUP) host.params().BeginSetup();
  host.BeginCommand(cmd);
}

SimulatedCommand::~SimulatedCommand() { host_.EndCommand(cmd_); }

void Host::SetReleasing(bool releasing) { core_->releasing_pre_render_data_ = releasing; }

SimulatedRelease::SimulatedRelease(Host& host) : host_(host) { host.SetReleasing(true); }

SimulatedRelease::~SimulatedRelease() { host_.SetReleasing(false); }

}  // namespace zelvan::testhost
