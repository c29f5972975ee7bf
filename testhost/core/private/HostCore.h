// The state of one simulated host. The Host class and its Frames drive it and
// are the only ones to see its fields; the suites and callbacks the host hands to the
// plug-in find it through CurrentCore() and use the members below.
#pragma once

#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "AE_EffectSmart.h"
#include "AE_GeneralPlug.h"
#include "Accounts.h"
#include "CallTrace.h"
#include "CallbackFailure.h"
#include "Faults.h"
#include "FillPrints.h"
#include "HostObserver.h"
#include "HostValues.h"
#include "Learned.h"
#include "Module.h"
#include "ParamModel.h"
#include "PixelWorld.h"

namespace zelvan::testhost {

class Composition;
struct FrameState;

// A live AEGP object handed to the plug-in; its handle is the address of this
// record, which the host looks up before it trusts it.
struct EffectRefObject {
  int serial = 0;
};
struct StreamObject {
  int serial = 0;
  PF_ParamIndex index = 0;
};
struct StreamValueObject {
  int serial = 0;
  PF_ParamIndex index = 0;
  AEGP_StreamRefH stream = nullptr;
};
struct ParamCheckoutObject {
  int serial = 0;
  PF_ParamIndex index = 0;
  const PF_ParamDef* def = nullptr;  // where the plug-in received it
  PF_EffectWorld* world = nullptr;   // a layer's pixels, owned by the host
  std::shared_ptr<pixels::PixelWorld> world_owner;
};

// The AEGP objects and parameter checkouts the plug-in holds now, by the
// address handed out (a stream value by the plug-in's value address).
struct LiveObjects {
  template <class Object>
  using ByAddress = std::map<const void*, std::unique_ptr<Object>>;
  ByAddress<EffectRefObject> effect_refs;
  ByAddress<StreamObject> streams;
  ByAddress<StreamValueObject> stream_values;
  std::vector<std::unique_ptr<ParamCheckoutObject>> param_checkouts;
};

class HostCore {
 public:
  HostCore();
  ~HostCore();
  HostCore(const HostCore&) = delete;
  HostCore& operator=(const HostCore&) = delete;

  // ---- Serving a call: its context, trace, faults and failures.
  // Serial of the running command; 0 outside commands.
  int command() const { return command_; }
  // "#3 SMART_RENDER", "the release of pre-render data" or "(none)".
  std::string CommandName() const;
  CallTrace& trace() { return trace_; }
  Faults& faults() { return faults_; }
  Accounts& accounts() { return accounts_; }
  const Accounts& accounts() const { return accounts_; }
  // Null when the call may be made now; otherwise a violation is recorded and
  // the code to answer with is given. This and the two below apply the rules
  // of CallRules.cpp.
  std::optional<A_Err> Refusal(const char* function);
  // The frame a call about the frame's pixels works on; null, with a
  // violation recorded, in a command the host did not send for a frame.
  FrameState* FrameFor(const char* function);
  // False, with a violation recorded, for a suite the current context may
  // not acquire.
  bool MayAcquire(const char* name, A_long version);
  // Who watches the plug-in's calls; null for nobody.
  HostObserver* observer() const { return observer_; }
  // Keeps the cause of a host call whose own work threw; the code to answer
  // the plug-in with (4 for memory, 512 otherwise).
  A_Err CallbackFailed(const char* function, std::exception_ptr failure) noexcept;

  // ---- The effect instance and its registration.
  // Checks an effect_ref the plug-in passed; records a violation when it is not ours.
  bool IsOurEffect(PF_ProgPtr effect_ref, const char* function);
  AEGP_PluginID Register(const std::string& name);
  bool IsRegistered(AEGP_PluginID id) const { return learned_.registrations.count(id) != 0; }
  // Whether the buffer is the out-data's message of the current command.
  bool IsReturnMessage(const A_char* buffer) const { return buffer == out_data_.return_msg; }

  // ---- What the host keeps for the plug-in.
  Composition& comp() { return *comp_; }
  const Composition& comp() const { return *comp_; }
  ParamModel& params() { return params_; }
  const ParamModel& params() const { return params_; }
  LiveObjects& objects() { return objects_; }
  const LiveObjects& objects() const { return objects_; }
  // A suite offered beyond the host's own; null when none has that name and version.
  const void* ExtraSuite(const std::string& name, A_long version) const;

  // ---- The pixels the host renders now.
  pixels::Depth depth() const { return depth_; }
  const PF_RationalScale& downsample_x() const { return downsample_x_; }
  const PF_RationalScale& downsample_y() const { return downsample_y_; }
  // Row padding for the next world the host hands out: a few channels more
  // than the pixels, by an amount that changes from world to world.
  A_long NextPadding(pixels::Depth d);
  // The fingerprints of the worlds it starts in one colour.
  pixels::FillPrints& fill_prints() { return fill_prints_; }

 private:
  friend class Host;
  friend class Frames;

  std::shared_ptr<const Module> module_;
  CallTrace trace_;
  Faults faults_;
  Accounts accounts_;
  ParamModel params_;
  std::unique_ptr<Composition> comp_;
  LiveObjects objects_;

  // Suites offered beyond the host's own, by name and version.
  std::map<std::pair<std::string, A_long>, const void*> extra_suites_;

  // The tables handed to the plug-in.
  SPBasicSuite basic_{};
  PF_UtilCallbacks utils_{};
  PF_InteractCallbacks inter_{};
  PF_PreRenderCallbacks pre_render_cb_{};
  PF_SmartRenderCallbacks smart_render_cb_{};
  // Its address is the effect_ref of the one effect instance.
  struct EffectInstance {
    int marker = 0;
  } instance_;

  // The command running now: serial (1-based, 0 outside commands) and
  // selector (none outside commands: no rule applies a command that returned).
  int command_ = 0;
  int commands_sent_ = 0;
  std::optional<PF_Cmd> running_;
  // The host is running the effect's release function for pre-render data.
  bool releasing_pre_render_data_ = false;

  // Blocks of the current (or last) command.
  PF_InData in_data_{};
  PF_OutData out_data_{};
  std::vector<PF_ParamDef> param_values_;
  std::vector<PF_ParamDef*> param_pointers_;

  Learned learned_;
  int next_plugin_id_ = 0x2A;

  // Time and resolution of the next command.
  A_long current_time_ = 0;
  A_long time_step_ = 1;
  A_u_long time_scale_ = 30;
  A_long total_time_ = 300;
  PF_RationalScale downsample_x_ = MakeScale(1, 1);
  PF_RationalScale downsample_y_ = MakeScale(1, 1);
  // Depth of the layer pixels the host renders (the frame's, during a frame).
  pixels::Depth depth_ = pixels::Depth::k8;
  pixels::FillPrints fill_prints_;
  int worlds_made_ = 0;

  // The frame the running pre-render or render works on; null otherwise.
  FrameState* frame_ = nullptr;

  // The output world of commands other than the smart render, and a copy to
  // show whether the effect wrote it.
  std::unique_ptr<pixels::PixelWorld> command_output_;
  std::unique_ptr<pixels::PixelWorld> command_output_before_;

  std::vector<CallbackFailure> callback_failures_;
  HostObserver* observer_ = nullptr;
};

std::string CommandName(PF_Cmd cmd);

}  // namespace zelvan::testhost
