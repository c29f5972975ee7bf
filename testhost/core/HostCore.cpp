#include "HostCall.h"
#include "HostCore.h"

#include <new>
#include <stdexcept>

#include "Callbacks.h"
#include "Composition.h"
#include "FrameState.h"
#include "Suites.h"

namespace zelvan::testhost {

HostCore::HostCore() : comp_(std::make_unique<Composition>()) {
  basic_ = kBasicSuite;
  utils_.copy = CopyCallback;
  utils_.ansi = AnsiCallbacks();
  inter_ = InteractCallbacks();
  pre_render_cb_ = PreRenderCallbacks();
  smart_render_cb_ = SmartRenderCallbacks();
}

HostCore::~HostCore() = default;

std::string CommandName(PF_Cmd cmd) {
  switch (cmd) {
    case PF_Cmd_ABOUT:
      return "ABOUT";
    case PF_Cmd_GLOBAL_SETUP:
      return "GLOBAL_SETUP";
    case PF_Cmd_GLOBAL_SETDOWN:
      return "GLOBAL_SETDOWN";
    case PF_Cmd_PARAMS_SETUP:
      return "PARAMS_SETUP";
    case PF_Cmd_SEQUENCE_SETUP:
      return "SEQUENCE_SETUP";
    case PF_Cmd_SEQUENCE_SETDOWN:
      return "SEQUENCE_SETDOWN";
    case PF_Cmd_RENDER:
      return "RENDER";
    case PF_Cmd_UPDATE_PARAMS_UI:
      return "UPDATE_PARAMS_UI";
    case PF_Cmd_SMART_PRE_RENDER:
      return "SMART_PRE_RENDER";
    case PF_Cmd_SMART_RENDER:
      return "SMART_RENDER";
    default:
      return "selector " + std::to_string(cmd);
  }
}

std::string HostCore::CommandName() const {
  if (running_) return "#" + std::to_string(command_) + " " + testhost::CommandName(*running_);
  return releasing_pre_render_data_ ? "the release of pre-render data" : "(none)";
}

A_long HostCore::NextPadding(pixels::Depth d) {
  return pixels::BytesPerChannel(d) * (1 + (worlds_made_++ * 7) % 13);
}

A_Err HostCore::CallbackFailed(const char* function, std::exception_ptr failure) noexcept {
  A_Err code = PF_Err_INTERNAL_STRUCT_DAMAGED;
  std::string cause;
  try {
    std::rethrow_exception(failure);
  } catch (const std::bad_alloc&) {
    code = PF_Err_OUT_OF_MEMORY;
    cause = "out of memory";
  } catch (const std::exception& e) {
    cause = e.what();
  } catch (...) {
    cause = "unknown exception";
  }
  try {
    callback_failures_.push_back(CallbackFailure{command_, function, std::move(cause)});
  } catch (...) {
    // No room to record it: the code alone still tells the plug-in.
  }
  return code;
}

std::optional<A_Err> Screened(HostCore& core, const char* function, std::size_t entry, bool answers_pointer) {
  if (const auto refused = core.Refusal(function)) {
    core.trace().SetResult(entry, *refused, false);
    return refused;
  }
  const auto code = core.faults().OnCall(function, core.trace().entries()[entry].args);
  if (code) core.trace().SetResult(entry, answers_pointer ? 0 : *code, true);
  return code;
}

bool HostCore::IsOurEffect(PF_ProgPtr effect_ref, const char* function) {
  if (effect_ref == &instance_) return true;
  accounts_.Violation(std::string(function) + " with an effect_ref that is not this host's effect");
  return false;
}

AEGP_PluginID HostCore::Register(const std::string& name) {
  // Identifiers are not 0, so a test can tell a written one from a zeroed block.
  const AEGP_PluginID id = next_plugin_id_++;
  learned_.registrations[id] = name;
  return id;
}

const void* HostCore::ExtraSuite(const std::string& name, A_long version) const {
  auto it = extra_suites_.find({name, version});
  return it == extra_suites_.end() ? nullptr : it->second;
}

}  // namespace zelvan::testhost
