// "AEGP Effect Suite" 2: disposal of effect references.
#include "HostCore.h"
#include "Suites.h"

namespace zelvan::testhost {
namespace {

std::string RefLabel(const HostCore& core, const void* ref) {
  auto it = core.effect_refs.find(ref);
  return it == core.effect_refs.end() ? "ref=?" : "ref=#" + std::to_string(it->second->serial);
}

A_Err DisposeEffect(AEGP_EffectRefH effect) noexcept {
  return HostRelease("AEGP_DisposeEffect", [&](const HostCore& h) { return RefLabel(h, effect); },
                     [&](HostCore& h) -> A_Err {
    auto it = h.effect_refs.find(effect);
    if (it == h.effect_refs.end()) {
      h.accounts.Violation("AEGP_DisposeEffect of an effect reference that is not live");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    h.accounts.Close(Resource::EffectRef, it->second->serial);
    h.effect_refs.erase(it);
    return 0;
  });
}

}  // namespace

const AEGP_EffectSuite2 kEffectSuite2 = [] {
  AEGP_EffectSuite2 s{};
  s.AEGP_DisposeEffect = DisposeEffect;
  return s;
}();

}  // namespace zelvan::testhost
