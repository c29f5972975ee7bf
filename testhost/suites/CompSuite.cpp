// "AEGP Comp Suite" 15: the composition's frame rate.
#include "Composition.h"
#include "HostCall.h"
#include "Suites.h"

namespace zelvan::testhost {
namespace {

// The names the host serves these functions by (see ServedFunctions.h).
constexpr char kGetCompFramerate[] = "AEGP_GetCompFramerate";

A_Err GetCompFramerate(AEGP_CompH comp, A_FpLong* fps) noexcept {
  return HostCall<kGetCompFramerate>([] { return std::string(); }, [&](HostCore& h) -> A_Err {
    if (!h.comp().IsHandle(comp)) {
      h.accounts().Violation("AEGP_GetCompFramerate of a composition handle the host did not hand out");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (fps == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    *fps = h.comp().frame_rate;
    return 0;
  });
}

}  // namespace

const AEGP_CompSuite15 kCompSuite15 = [] {
  AEGP_CompSuite15 s{};
  s.AEGP_GetCompFramerate = GetCompFramerate;
  return s;
}();

}  // namespace zelvan::testhost
