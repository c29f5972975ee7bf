// "AEGP PF Interface Suite" 1: from the effect instance to its layer and to
// an AEGP reference of itself.
#include "Composition.h"
#include "HostCall.h"
#include "Suites.h"

namespace zelvan::testhost {

namespace {

// The names the host serves these functions by (see ServedFunctions.h).
constexpr char kGetEffectLayer[] = "AEGP_GetEffectLayer";
constexpr char kGetNewEffectForEffect[] = "AEGP_GetNewEffectForEffect";

A_Err GetEffectLayer(PF_ProgPtr effect_ref, AEGP_LayerH* layer) noexcept {
  return HostCall<kGetEffectLayer>([] { return std::string(); }, [&](HostCore& h) -> A_Err {
    if (!h.IsOurEffect(effect_ref, kGetEffectLayer) || layer == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    *layer = h.comp().HandleOf(h.comp().effect_layer());
    return 0;
  });
}

A_Err GetNewEffectForEffect(AEGP_PluginID plugin_id, PF_ProgPtr effect_ref, AEGP_EffectRefH* effect) noexcept {
  auto args = [&] { return "plugin=" + std::to_string(plugin_id); };
  return HostCall<kGetNewEffectForEffect>(args, [&](HostCore& h) -> A_Err {
    if (!h.IsOurEffect(effect_ref, kGetNewEffectForEffect) || effect == nullptr) {
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (!h.IsRegistered(plugin_id)) {
      h.accounts().Violation("AEGP_GetNewEffectForEffect with unregistered plug-in identifier " +
                           std::to_string(plugin_id));
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    auto ref = std::make_unique<EffectRefObject>();
    const void* key = ref.get();
    EffectRefObject* object =
        OpenObject(h, h.objects().effect_refs, key, std::move(ref), Resource::EffectRef, "from AEGP_GetNewEffectForEffect");
    *effect = reinterpret_cast<AEGP_EffectRefH>(object);
    return 0;
  });
}

}  // namespace

const AEGP_PFInterfaceSuite1 kPFInterfaceSuite1 = [] {
  AEGP_PFInterfaceSuite1 s{};
  s.AEGP_GetEffectLayer = GetEffectLayer;
  s.AEGP_GetNewEffectForEffect = GetNewEffectForEffect;
  return s;
}();

}  // namespace zelvan::testhost
