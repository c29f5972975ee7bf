#include "Host.h"

#include <cstring>
#include <stdexcept>

#include "HostCore.h"
#include "HostValues.h"

namespace zelvan::testhost {

namespace {

constexpr A_u_long kEffectInterfaceVersion = (13u << 16) | 28u;
constexpr A_long kApplicationId = 0x5A544854;  // 'ZTHT': this host

const pixels::Color kCommandOutputColor{1.0f, 0.0f, 1.0f, 0.0f};

}  // namespace

Host::Host(const std::string& plugin_path) : Host(Module::Load(plugin_path)) {}

Host::Host() : Host(std::shared_ptr<const Module>()) {}

Host::Host(std::shared_ptr<const Module> module)
    : core_(std::make_unique<HostCore>()), frames_(new Frames(*this, *core_)) {
  core_->module_ = std::move(module);
  // A small world with a known pattern, so that a command that must not
  // touch its output can be seen not to.
  core_->command_output_ = std::make_unique<pixels::PixelWorld>(4, 4, pixels::Depth::k8, 4);
  core_->command_output_->fill(kCommandOutputColor);
  core_->command_output_before_ = std::make_unique<pixels::PixelWorld>(*core_->command_output_);
  serving_ = std::make_unique<CurrentHostScope>(core_.get());
  Prepare();
}

Host::~Host() {
  frames_->ReleaseAll();
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
  in.global_data = h.learned_.global_data;
  in.pica_basicP = h.faults_.null_basic_suite() ? nullptr : &h.basic_;

  PF_OutData& out = h.out_data_;
  out = PF_OutData{};
  // What the effect does not set keeps the host's value.
  out.global_data = h.learned_.global_data;
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
  Learned& learned = h.learned_;
  const PF_OutData& out = h.out_data_;
  switch (cmd) {
    case PF_Cmd_ABOUT:
      learned.about_text.assign(out.return_msg, strnlen(out.return_msg, sizeof out.return_msg));
      break;
    case PF_Cmd_GLOBAL_SETUP:
      learned.version = out.my_version;
      learned.out_flags = out.out_flags;
      learned.out_flags2 = out.out_flags2;
      // Whatever the effect published is the host's to hand back at setdown.
      learned.global_data = out.global_data;
      break;
    case PF_Cmd_PARAMS_SETUP:
      if (err == PF_Err_NONE) {
        learned.num_params_reported = out.num_params;
        if (out.num_params != h.params_.count()) {
          h.accounts_.Violation("parameter setup reported " + std::to_string(out.num_params) +
                               " parameters but added " + std::to_string(h.params_.count()) +
                               " (the input layer included)");
        }
      }
      break;
    case PF_Cmd_GLOBAL_SETDOWN:
      learned.global_data = nullptr;
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
  frames_->ReleaseAll();
  return Command(PF_Cmd_GLOBAL_SETDOWN, nullptr, customize);
}

PF_Err Host::StartSession() {
  const PF_Err err = GlobalSetup();
  return err != PF_Err_NONE ? err : ParamsSetup();
}

// ---- Frames

Frames& Host::frames() { return *frames_; }
const Frames& Host::frames() const { return *frames_; }

// ---- The last command, and what the host learned

const PF_InData& Host::in_data() const { return core_->in_data_; }
const PF_OutData& Host::out_data() const { return core_->out_data_; }
int Host::last_command() const { return core_->commands_sent_; }

bool Host::command_output_untouched() const {
  return pixels::SamePixels(*core_->command_output_->world(), *core_->command_output_before_->world()) &&
         core_->command_output_->paddingIntact();
}

const Learned& Host::learned() const { return core_->learned_; }

// ---- Parameters, composition, time

ParamModel& Host::params() { return core_->params_; }
const ParamModel& Host::params() const { return core_->params_; }

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

const Accounts& Host::accounts() const { return core_->accounts_; }
Faults& Host::faults() { return core_->faults_; }
CallTrace& Host::trace() { return core_->trace_; }
const CallTrace& Host::trace() const { return core_->trace_; }
const std::vector<CallbackFailure>& Host::callback_failures() const { return core_->callback_failures_; }
void Host::SetObserver(HostObserver* observer) { core_->observer_ = observer; }

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

void Host::SetReleasing(bool releasing) { core_->releasing_pre_render_data_ = releasing; }

}  // namespace zelvan::testhost
