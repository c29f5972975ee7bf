#include "HostCore.h"

#include <new>
#include <stdexcept>

#include "Callbacks.h"
#include "Composition.h"
#include "FrameState.h"
#include "Suites.h"

namespace zelvan::testhost {

HostCore::HostCore() : comp(std::make_unique<Composition>()) {
  basic = kBasicSuite;
  utils.copy = CopyCallback;
  utils.ansi = AnsiCallbacks();
  inter = InteractCallbacks();
  pre_render_cb = PreRenderCallbacks();
  smart_render_cb = SmartRenderCallbacks();
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

A_long HostCore::NextPadding(pixels::Depth d) {
  return pixels::BytesPerChannel(d) * (1 + (worlds_made++ * 7) % 13);
}

A_Err CallbackFailed(HostCore& core, const char* function, std::exception_ptr failure) noexcept {
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
    core.callback_failures.push_back(CallbackFailure{core.command, function, std::move(cause)});
  } catch (...) {
    // No room to record it: the code alone still tells the plug-in.
  }
  return code;
}

std::optional<A_Err> Screened(HostCore& core, const char* function, std::size_t entry, bool answers_pointer) {
  if (const auto refused = core.Refusal(function)) {
    core.trace.SetResult(entry, *refused, false);
    return refused;
  }
  const auto code = core.faults.OnCall(function, core.trace.entries()[entry].args);
  if (code) core.trace.SetResult(entry, answers_pointer ? 0 : *code, true);
  return code;
}

}  // namespace zelvan::testhost
