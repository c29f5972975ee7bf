// Which host calls may be made where. Some calls belong to certain commands;
// outside any command the host serves only what it calls the plug-in for
// there (the release of pre-render data, which disposes of a handle) and the
// C library functions. A host without a plug-in serves its test thread
// outside commands too, for tests of host-side code, but keeps the
// command-bound calls to their commands.
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "AE_EffectSuites.h"
#include "HostCore.h"

namespace zelvan::testhost {
namespace {

struct CommandBound {
  const char* function;
  std::initializer_list<PF_Cmd> commands;
  const char* where;
};

// The commands in which each call may be made.
const CommandBound kCommandBound[] = {
    {"add_param", {PF_Cmd_PARAMS_SETUP}, "parameter setup"},
    {"AEGP_RegisterWithAEGP", {PF_Cmd_GLOBAL_SETUP}, "global setup"},
    {"AEGP_SetDynamicStreamFlag", {PF_Cmd_UPDATE_PARAMS_UI}, "the parameter-UI update"},
    {"checkout_param",
     {PF_Cmd_RENDER, PF_Cmd_USER_CHANGED_PARAM, PF_Cmd_UPDATE_PARAMS_UI, PF_Cmd_SMART_PRE_RENDER,
      PF_Cmd_SMART_RENDER},
     "a render or the parameter commands"},
    {"checkin_param",
     {PF_Cmd_RENDER, PF_Cmd_USER_CHANGED_PARAM, PF_Cmd_UPDATE_PARAMS_UI, PF_Cmd_SMART_PRE_RENDER,
      PF_Cmd_SMART_RENDER},
     "a render or the parameter commands"},
    {"checkout_layer", {PF_Cmd_SMART_PRE_RENDER}, "smart pre-render"},
    {"checkout_layer_pixels", {PF_Cmd_SMART_RENDER}, "smart render"},
    {"checkin_layer_pixels", {PF_Cmd_SMART_RENDER}, "smart render"},
    {"checkout_output", {PF_Cmd_SMART_RENDER}, "smart render"},
};

// Served everywhere: they touch nothing of the host's.
const char* const kLibrary[] = {"atan", "atan2", "ceil", "cos",  "exp",  "fabs", "floor",   "fmod",   "hypot", "log",
                                "log10", "pow",  "sin",  "sqrt", "tan",  "asin", "acos",    "sprintf", "strcpy"};

// What the release of pre-render data may use.
const char* const kRelease[] = {"AcquireSuite",        "ReleaseSuite",        "host_new_handle",
                                "host_lock_handle",    "host_unlock_handle",  "host_dispose_handle",
                                "host_get_handle_size", "host_resize_handle"};

template <std::size_t N>
bool Listed(const char* const (&names)[N], const char* function) {
  return std::any_of(std::begin(names), std::end(names), [&](const char* n) { return std::strcmp(n, function) == 0; });
}

}  // namespace

std::optional<A_Err> HostCore::Refusal(const char* function) {
  if (Listed(kLibrary, function)) return std::nullopt;
  for (const CommandBound& rule : kCommandBound) {
    if (std::strcmp(rule.function, function) != 0) continue;
    if (running_ && std::find(rule.commands.begin(), rule.commands.end(), *running_) != rule.commands.end()) {
      return std::nullopt;
    }
    accounts_.Violation(std::string(function) + " outside " + rule.where + " (called in " + CommandName() + ")");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  if (running_) return std::nullopt;
  if (releasing_pre_render_data_) {
    if (Listed(kRelease, function)) return std::nullopt;
  } else if (module_ == nullptr) {
    return std::nullopt;
  }
  accounts_.Violation(std::string(function) + " outside any command (called in " + CommandName() + ")");
  return PF_Err_BAD_CALLBACK_PARAM;
}

FrameState* HostCore::FrameFor(const char* function) {
  if (frame_ != nullptr) return frame_;
  const char* command = running_ && *running_ == PF_Cmd_SMART_PRE_RENDER ? "a pre-render" : "a render";
  accounts_.Violation(std::string(function) + " in " + command + " the host did not send for a frame");
  return nullptr;
}

bool HostCore::MayAcquire(const char* name, A_long version) {
  if (!releasing_pre_render_data_ || std::strcmp(name, kPFHandleSuite) == 0) return true;
  accounts_.Violation(std::string("AcquireSuite '") + name + "' " + std::to_string(version) +
                      " in the release of pre-render data, which may use the handle suite only");
  return false;
}

}  // namespace zelvan::testhost
