// "AEGP Effect Suite" 2: disposal of effect references.
#include "HostCall.h"
#include "Suites.h"

namespace zelvan::testhost {
namespace {

// The names the host serves these functions by (see ServedFunctions.h).
constexpr char kDisposeEffect[] = "AEGP_DisposeEffect";

std::string RefLabel(const HostCore& core, const void* ref) {
  auto it = core.objects().effect_refs.find(ref);
  return it == core.objects().effect_refs.end() ? "ref=?" : "ref=#" + std::to_string(it->second->serial);
}

A_Err DisposeEffect(AEGP_EffectRefH effect) noexcept {
  auto label = [&](const HostCore& h) { return RefLabel(h, effect); };
  return HostRelease<kDisposeEffect>(label, [&](HostCore& h) -> A_Err {
    return CloseObject(h, h.objects().effect_refs, effect, Resource::EffectRef,
                       "AEGP_DisposeEffect of an effect reference that is not live");
  });
}

}  // namespace

const AEGP_EffectSuite2 kEffectSuite2 = [] {
  AEGP_EffectSuite2 s{};
  s.AEGP_DisposeEffect = DisposeEffect;
  return s;
}();

}  // namespace zelvan::testhost
