// Where the host serves each call, as a table per context it runs the
// plug-in in: each command, the release of pre-render data, and outside
// both. A call that a command's row lists is bound to the commands that list
// it and refused everywhere else; the C library functions are served in
// every context; every other function is listed as served in every command,
// with or without the release. A host without a plug-in serves its test
// thread outside commands too, for tests of host-side code, but keeps the
// command-bound calls to their commands.
#include "CallRules.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <stdexcept>

#include "AE_EffectSuites.h"
#include "HostCore.h"

namespace zelvan::testhost {
namespace {

// Calls bound to commands, in the groups a refusal names them by. The calls
// about a frame's pixels also need a frame the host sent the command for.
struct BoundCalls {
  std::initializer_list<const char*> functions;
  const char* where;          // "add_param outside <where>"
  const char* frame_command;  // "checkout_output in <frame_command> the host did not send for a frame"
};
const BoundCalls kRegistration{{"AEGP_RegisterWithAEGP"}, "global setup", nullptr};
const BoundCalls kParamAdds{{"add_param"}, "parameter setup", nullptr};
const BoundCalls kControlFlags{{"AEGP_SetDynamicStreamFlag"}, "the parameter-UI update", nullptr};
const BoundCalls kParamCheckouts{{"checkout_param", "checkin_param"}, "a render or the parameter commands", nullptr};
const BoundCalls kLayerRequests{{"checkout_layer"}, "smart pre-render", "a pre-render"};
const BoundCalls kRenderWorlds{
    {"checkout_layer_pixels", "checkin_layer_pixels", "checkout_output"}, "smart render", "a render"};
const BoundCalls* const kAllBound[] = {&kRegistration,   &kParamAdds,     &kControlFlags,
                                       &kParamCheckouts, &kLayerRequests, &kRenderWorlds};

// What each command may call beyond what every context may.
struct CommandRow {
  PF_Cmd command;
  std::initializer_list<const BoundCalls*> serves;
};
const CommandRow kCommands[] = {
    {PF_Cmd_GLOBAL_SETUP, {&kRegistration}},
    {PF_Cmd_PARAMS_SETUP, {&kParamAdds}},
    {PF_Cmd_UPDATE_PARAMS_UI, {&kControlFlags, &kParamCheckouts}},
    {PF_Cmd_USER_CHANGED_PARAM, {&kParamCheckouts}},
    {PF_Cmd_RENDER, {&kParamCheckouts}},
    {PF_Cmd_SMART_PRE_RENDER, {&kParamCheckouts, &kLayerRequests}},
    {PF_Cmd_SMART_RENDER, {&kParamCheckouts, &kRenderWorlds}},
};

// Every context: the C library functions, which touch nothing of the host's.
const char* const kLibrary[] = {"atan", "atan2", "ceil", "cos",  "exp",  "fabs", "floor",   "fmod",   "hypot", "log",
                                "log10", "pow",  "sin",  "sqrt", "tan",  "asin", "acos",    "sprintf", "strcpy"};

// Every command and the release of pre-render data: the handle suite and
// what acquires it, nothing else.
const char* const kRelease[] = {"AcquireSuite",        "ReleaseSuite",        "host_new_handle",
                                "host_lock_handle",    "host_unlock_handle",  "host_dispose_handle",
                                "host_get_handle_size", "host_resize_handle"};
const char* const kReleaseSuites[] = {kPFHandleSuite};

// Every command, and nowhere else: the other functions of the suites, and the copy.
const char* const kEveryCommand[] = {
    "AllocateBlock", "FreeBlock", "ReallocateBlock", "IsEqual", "Undefined",
    "AEGP_GetEffectLayer", "AEGP_GetNewEffectForEffect", "AEGP_DisposeEffect",
    "AEGP_GetNewEffectStreamByIndex", "AEGP_DisposeStream", "AEGP_GetNewStreamValue", "AEGP_DisposeStreamValue",
    "AEGP_GetCompFramerate", "AEGP_GetLayerParentComp", "AEGP_GetLayerFromLayerID", "AEGP_GetLayerInPoint",
    "AEGP_GetLayerDuration", "AEGP_ConvertCompToLayerTime",
    "copy"};

template <class Names>
bool Listed(const Names& names, const char* function) {
  return std::any_of(std::begin(names), std::end(names), [&](const char* n) { return std::strcmp(n, function) == 0; });
}

const BoundCalls* BoundGroupOf(const char* function) {
  for (const BoundCalls* group : kAllBound) {
    if (Listed(group->functions, function)) return group;
  }
  return nullptr;
}

bool Serves(PF_Cmd command, const BoundCalls* group) {
  for (const CommandRow& row : kCommands) {
    if (row.command == command) return std::find(row.serves.begin(), row.serves.end(), group) != row.serves.end();
  }
  return false;
}

}  // namespace

std::optional<A_Err> HostCore::Refusal(const char* function) {
  if (Listed(kLibrary, function)) return std::nullopt;
  if (const BoundCalls* group = BoundGroupOf(function)) {
    // Only a running command counts: the one that returned binds nothing.
    if (running_ && Serves(*running_, group)) return std::nullopt;
    accounts_.Violation(std::string(function) + " outside " + group->where + " (called in " + CommandName() + ")");
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  const bool in_release = Listed(kRelease, function);
  if (!in_release && !Listed(kEveryCommand, function)) {
    throw std::logic_error(std::string(function) + " has no rule of where the host serves it");
  }
  if (running_) return std::nullopt;
  if (releasing_pre_render_data_) {
    if (in_release) return std::nullopt;
  } else if (module_ == nullptr) {
    return std::nullopt;
  }
  accounts_.Violation(std::string(function) + " outside any command (called in " + CommandName() + ")");
  return PF_Err_BAD_CALLBACK_PARAM;
}

FrameState* HostCore::FrameFor(const char* function) {
  if (frame_ != nullptr) return frame_;
  const BoundCalls* group = BoundGroupOf(function);
  const char* command = group != nullptr && group->frame_command != nullptr ? group->frame_command : "a command";
  accounts_.Violation(std::string(function) + " in " + command + " the host did not send for a frame");
  return nullptr;
}

bool HostCore::MayAcquire(const char* name, A_long version) {
  if (!releasing_pre_render_data_ || Listed(kReleaseSuites, name)) return true;
  accounts_.Violation(std::string("AcquireSuite '") + name + "' " + std::to_string(version) +
                      " in the release of pre-render data, which may use the handle suite only");
  return false;
}

std::vector<std::string> RuledFunctions() {
  std::vector<std::string> names(std::begin(kLibrary), std::end(kLibrary));
  for (const BoundCalls* group : kAllBound) names.insert(names.end(), group->functions.begin(), group->functions.end());
  names.insert(names.end(), std::begin(kRelease), std::end(kRelease));
  names.insert(names.end(), std::begin(kEveryCommand), std::end(kEveryCommand));
  return names;
}

}  // namespace zelvan::testhost
