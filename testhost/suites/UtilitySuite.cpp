// "AEGP Utility Suite" 7: registration of the effect with the AEGP layer.
#include "HostCall.h"
#include "Suites.h"

namespace zelvan::testhost {
namespace {

// The names the host serves these functions by (see ServedFunctions.h).
constexpr char kRegisterWithAEGP[] = "AEGP_RegisterWithAEGP";

A_Err RegisterWithAEGP(AEGP_GlobalRefcon /*global_refcon*/, const A_char* plugin_name,
                       AEGP_PluginID* plugin_id) noexcept {
  auto name = [&] { return std::string(plugin_name != nullptr ? plugin_name : "(null)"); };
  return HostCall<kRegisterWithAEGP>([&] { return "name=\"" + name() + "\""; }, [&](HostCore& h) -> A_Err {
    if (plugin_id == nullptr) {
      h.accounts().Violation("AEGP_RegisterWithAEGP without a place for the plug-in identifier");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    *plugin_id = h.Register(name());
    return 0;
  });
}

}  // namespace

const AEGP_UtilitySuite7 kUtilitySuite7 = [] {
  AEGP_UtilitySuite7 s{};
  s.AEGP_RegisterWithAEGP = RegisterWithAEGP;
  return s;
}();

}  // namespace zelvan::testhost
