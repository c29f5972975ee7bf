// The state of one simulated host, shared by the Host class and the C
// functions it hands to the plug-in (they find it through CurrentCore()).
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "AE_EffectSmart.h"
#include "AE_GeneralPlug.h"
#include "Accounts.h"
#include "CallTrace.h"
#include "CallbackFailure.h"
#include "CurrentHost.h"
#include "Faults.h"
#include "HostValues.h"
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

struct HostCore {
  HostCore();
  ~HostCore();

  std::shared_ptr<const Module> module;
  CallTrace trace;
  Faults faults;
  Accounts accounts;
  ParamModel params;
  std::unique_ptr<Composition> comp;

  // Suites offered beyond the host's own, by name and version.
  std::map<std::pair<std::string, A_long>, const void*> extra_suites;

  // The tables handed to the plug-in.
  SPBasicSuite basic{};
  PF_UtilCallbacks utils{};
  PF_InteractCallbacks inter{};
  PF_PreRenderCallbacks pre_render_cb{};
  PF_SmartRenderCallbacks smart_render_cb{};
  // Its address is the effect_ref of the one effect instance.
  struct EffectInstance {
    int marker = 0;
  } instance;

  // The command running now: serial (1-based, 0 outside commands) and selector.
  int command = 0;
  int commands_sent = 0;
  PF_Cmd selector = -1;
  bool in_command = false;
  // The host is running the effect's release function for pre-render data.
  bool releasing_pre_render_data = false;

  // Blocks of the current (or last) command.
  PF_InData in_data{};
  PF_OutData out_data{};
  std::vector<PF_ParamDef> param_values;
  std::vector<PF_ParamDef*> param_pointers;

  // What the host has learned from the effect.
  PF_Handle global_data = nullptr;
  std::optional<A_u_long> version;
  A_long out_flags = 0;
  A_long out_flags2 = 0;
  std::string about_text;
  std::optional<A_long> num_params_reported;
  int next_plugin_id = 0x2A;
  std::map<AEGP_PluginID, std::string> registered;  // identifier -> name registered

  // Time and resolution of the next command.
  A_long current_time = 0;
  A_long time_step = 1;
  A_u_long time_scale = 30;
  A_long total_time = 300;
  PF_RationalScale downsample_x = MakeScale(1, 1);
  PF_RationalScale downsample_y = MakeScale(1, 1);
  // Depth of the layer pixels the host renders (the frame's, during a frame).
  pixels::Depth depth = pixels::Depth::k8;
  int worlds_made = 0;

  // AEGP objects, by the address handed out.
  std::map<const void*, std::unique_ptr<EffectRefObject>> effect_refs;
  std::map<const void*, std::unique_ptr<StreamObject>> streams;
  std::map<const void*, std::unique_ptr<StreamValueObject>> stream_values;  // by the plug-in's value address
  std::vector<std::unique_ptr<ParamCheckoutObject>> checkouts;

  // Frames in flight, by serial: pre-rendered, rendered or not, and not yet
  // released. frame is the one the running pre-render or render works on
  // (null otherwise); default_frame the serial of the one-frame API's frame.
  std::map<int, std::unique_ptr<FrameState>> frames;
  FrameState* frame = nullptr;
  int default_frame = 0;
  std::unique_ptr<FrameState> last_frame;  // the frame released last, for inspection
  int inspected = 0;                       // the frame the last frame call worked on
  int frames_started = 0;
  int pre_render_data_deleted = 0;
  std::vector<void*> deleted_pre_render_data;
  std::unique_ptr<pixels::PixelWorld> last_output;
  bool last_output_written = false;
  bool last_output_checked_out = false;

  // The output world of commands other than the smart render, and a copy to
  // show whether the effect wrote it.
  std::unique_ptr<pixels::PixelWorld> command_output;
  std::unique_ptr<pixels::PixelWorld> command_output_before;

  std::vector<CallbackFailure> callback_failures;

  // Row padding for the next world the host hands out: a few channels more
  // than the pixels, by an amount that changes from world to world.
  A_long NextPadding(pixels::Depth d);

  // Checks an effect_ref the plug-in passed; records a violation when it is not ours.
  bool IsOurEffect(PF_ProgPtr effect_ref, const char* function);
  // "#3 SMART_RENDER", "the release of pre-render data" or "(none)".
  std::string CommandName() const;
  // Null when the call may be made now; otherwise a violation is recorded and
  // the code to answer with is given (CallContexts.cpp states the rules).
  std::optional<A_Err> Refusal(const char* function);
};

std::string CommandName(PF_Cmd cmd);

// Keeps a new AEGP object under its key and opens its entry in the ledger;
// when either fails, neither stays. Returns the object kept.
template <class Object>
Object* OpenObject(HostCore& h, std::map<const void*, std::unique_ptr<Object>>& objects, const void* key,
                   std::unique_ptr<Object> object, Resource kind, const std::string& what) {
  Object* kept = object.get();
  objects[key] = std::move(object);
  try {
    kept->serial = h.accounts.Open(kind, what, h.command);
  } catch (...) {
    objects.erase(key);
    throw;
  }
  return kept;
}

// Runs one host function for the plug-in: finds the serving host, traces the
// call, applies faults, then runs body(core) for the code. Nothing that fails
// inside, the formatting of the traced arguments included, crosses into the
// plug-in's frames: an exception becomes the code a host gives for a failure
// of its own (4 for memory, 512 otherwise) and is recorded. args() formats the
// traced arguments (args(core) when it needs the host); it runs inside the
// guard, so call sites pass a lambda.
void CountOrphanCall() noexcept;
A_Err CallbackFailed(HostCore& core, const char* function, std::exception_ptr failure) noexcept;

// args() or args(core) gives the traced arguments.
template <class Args>
std::size_t TraceCall(HostCore& core, const char* function, const Args& args) {
  if constexpr (std::is_invocable_r_v<std::string, const Args&, const HostCore&>) {
    return core.trace.Add(core.command, function, args(core));
  } else {
    static_assert(std::is_invocable_r_v<std::string, const Args&>,
                  "pass the traced arguments as a lambda, so that formatting them is guarded too");
    return core.trace.Add(core.command, function, args());
  }
}

// What answers a traced call instead of its body: the call's context first,
// then a fault set for it; the answer is already the traced result (a fault
// of a call that answers with a pointer is traced as 0: it has no code).
std::optional<A_Err> Screened(HostCore& core, const char* function, std::size_t entry, bool answers_pointer);

template <class Args, class Body>
A_Err HostCall(const char* function, const Args& args, const Body& body) noexcept {
  HostCore* core = CurrentCore();
  if (core == nullptr) {
    CountOrphanCall();
    return PF_Err_INVALID_CALLBACK;
  }
  std::optional<std::size_t> entry;
  try {
    entry = TraceCall(*core, function, args);
    if (const auto answer = Screened(*core, function, *entry, false)) return *answer;
    const A_Err err = body(*core);
    core->trace.SetResult(*entry, err, false);
    return err;
  } catch (...) {
    const A_Err code = CallbackFailed(*core, function, std::current_exception());
    if (entry) core->trace.SetResult(*entry, code, false);
    return code;
  }
}

// For calls that give something back (disposals, check-ins, releases): the
// object is always given back, and a fault, or a failure of the host's own
// bookkeeping, only changes the code returned, so a failing clean-up call
// leaves the accounts balanced.
template <class Args, class Body>
A_Err HostRelease(const char* function, const Args& args, const Body& body) noexcept {
  HostCore* core = CurrentCore();
  if (core == nullptr) {
    CountOrphanCall();
    return PF_Err_INVALID_CALLBACK;
  }
  std::optional<std::size_t> entry;
  std::optional<A_Err> fault;
  A_Err own_failure = 0;
  try {
    entry = TraceCall(*core, function, args);
    if (const auto refused = core->Refusal(function)) own_failure = *refused;
    fault = core->faults.OnCall(function, core->trace.entries()[*entry].args);
  } catch (...) {
    own_failure = CallbackFailed(*core, function, std::current_exception());
  }
  A_Err err = 0;
  try {
    err = body(*core);
  } catch (...) {
    err = CallbackFailed(*core, function, std::current_exception());
  }
  const A_Err result = fault ? *fault : own_failure != 0 ? own_failure : err;
  if (entry) core->trace.SetResult(*entry, result, fault.has_value());
  return result;
}

// The same for host functions that answer with a pointer: a fault, or a
// failure of the host's own, gives null.
template <class T, class Args, class Body>
T* HostCallPtr(const char* function, const Args& args, const Body& body) noexcept {
  HostCore* core = CurrentCore();
  if (core == nullptr) {
    CountOrphanCall();
    return nullptr;
  }
  std::optional<std::size_t> entry;
  try {
    entry = TraceCall(*core, function, args);
    if (Screened(*core, function, *entry, true)) return nullptr;
    return body(*core);
  } catch (...) {
    const A_Err code = CallbackFailed(*core, function, std::current_exception());
    if (entry) core->trace.SetResult(*entry, code, false);
    return nullptr;
  }
}

// "#3" for a live handle, "#3 (disposed)" for one disposed, "?" for one the
// host never handed out.
std::string HandleLabel(const HostCore& core, PF_Handle handle);

}  // namespace zelvan::testhost
