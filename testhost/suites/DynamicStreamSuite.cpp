// "AEGP Dynamic Stream Suite" 5: the dynamic flags of a parameter stream,
// such as whether its control is hidden.
#include "HostCall.h"
#include "Suites.h"

namespace zelvan::testhost {
namespace {

// The names the host serves these functions by (see ServedFunctions.h).
constexpr char kSetDynamicStreamFlag[] = "AEGP_SetDynamicStreamFlag";

A_Err SetDynamicStreamFlag(AEGP_StreamRefH stream, AEGP_DynStreamFlags flag, A_Boolean undoable,
                           A_Boolean set) noexcept {
  auto args = [&](const HostCore& h) {
    auto it = h.objects().streams.find(stream);
    const std::string index = it != h.objects().streams.end() ? std::to_string(it->second->index) : "?";
    return "index=" + index + " flag=" + std::to_string(flag) + " undoable=" + std::to_string(int(undoable)) +
           " set=" + std::to_string(int(set));
  };
  return HostCall<kSetDynamicStreamFlag>(args, [&](HostCore& h) -> A_Err {
    auto it = h.objects().streams.find(stream);
    if (it == h.objects().streams.end()) {
      h.accounts().Violation("AEGP_SetDynamicStreamFlag on a stream that is not live");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    h.params().SetDynamicFlag(it->second->index, flag, set != 0);
    return 0;
  });
}

}  // namespace

const AEGP_DynamicStreamSuite5 kDynamicStreamSuite5 = [] {
  AEGP_DynamicStreamSuite5 s{};
  s.AEGP_SetDynamicStreamFlag = SetDynamicStreamFlag;
  return s;
}();

}  // namespace zelvan::testhost
