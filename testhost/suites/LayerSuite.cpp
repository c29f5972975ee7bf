// "AEGP Layer Suite" 13: layers of the composition and their timing.
#include "Composition.h"
#include "HostCall.h"
#include "Suites.h"

namespace zelvan::testhost {
namespace {

// The names the host serves these functions by (see ServedFunctions.h).
constexpr char kGetLayerParentComp[] = "AEGP_GetLayerParentComp";
constexpr char kGetLayerFromLayerID[] = "AEGP_GetLayerFromLayerID";
constexpr char kGetLayerInPoint[] = "AEGP_GetLayerInPoint";
constexpr char kGetLayerDuration[] = "AEGP_GetLayerDuration";
constexpr char kConvertCompToLayerTime[] = "AEGP_ConvertCompToLayerTime";

std::string LayerLabel(const HostCore& core, AEGP_LayerH layer) {
  const Layer* l = core.comp().FromHandle(layer);
  return l == nullptr ? "layer=?" : "layer=" + std::to_string(l->id);
}

std::string TimeText(const A_Time* t) {
  return t == nullptr ? "null" : std::to_string(t->value) + "/" + std::to_string(t->scale);
}

// The layer behind a handle, or null with a violation recorded.
Layer* Resolve(HostCore& h, AEGP_LayerH layer, const char* function) {
  Layer* l = h.comp().FromHandle(layer);
  if (l == nullptr) h.accounts().Violation(std::string(function) + " of a layer handle the host did not hand out");
  return l;
}

A_Err GetLayerParentComp(AEGP_LayerH layer, AEGP_CompH* comp) noexcept {
  auto args = [&](const HostCore& h) { return LayerLabel(h, layer); };
  return HostCall<kGetLayerParentComp>(args, [&](HostCore& h) -> A_Err {
    if (Resolve(h, layer, kGetLayerParentComp) == nullptr || comp == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    *comp = h.comp().handle();
    return 0;
  });
}

A_Err GetLayerFromLayerID(AEGP_CompH comp, AEGP_LayerIDVal id, AEGP_LayerH* layer) noexcept {
  return HostCall<kGetLayerFromLayerID>([&] { return "id=" + std::to_string(id); }, [&](HostCore& h) -> A_Err {
    if (!h.comp().IsHandle(comp)) {
      h.accounts().Violation("AEGP_GetLayerFromLayerID in a composition handle the host did not hand out");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    Layer* l = h.comp().Find(id);
    if (l == nullptr || layer == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    *layer = h.comp().HandleOf(*l);
    return 0;
  });
}

A_Err GetLayerInPoint(AEGP_LayerH layer, AEGP_LTimeMode mode, A_Time* in_point) noexcept {
  return HostCall<kGetLayerInPoint>(
      [&](const HostCore& h) { return LayerLabel(h, layer) + " mode=" + std::to_string(mode); },
      [&](HostCore& h) -> A_Err {
        const Layer* l = Resolve(h, layer, kGetLayerInPoint);
        if (l == nullptr || in_point == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
        if (mode == AEGP_LTimeMode_CompTime) {
          *in_point = l->in_point;
        } else if (mode == AEGP_LTimeMode_LayerTime) {
          *in_point = Composition::CompToLayerTime(*l, l->in_point);
        } else {
          return PF_Err_BAD_CALLBACK_PARAM;
        }
        return 0;
      });
}

A_Err GetLayerDuration(AEGP_LayerH layer, AEGP_LTimeMode mode, A_Time* duration) noexcept {
  return HostCall<kGetLayerDuration>(
      [&](const HostCore& h) { return LayerLabel(h, layer) + " mode=" + std::to_string(mode); },
      [&](HostCore& h) -> A_Err {
        const Layer* l = Resolve(h, layer, kGetLayerDuration);
        if (l == nullptr || duration == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
        if (mode != AEGP_LTimeMode_CompTime && mode != AEGP_LTimeMode_LayerTime) {
          return PF_Err_BAD_CALLBACK_PARAM;
        }
        // Layers are not time-stretched: the span is as long in either time.
        *duration = l->duration;
        return 0;
      });
}

A_Err ConvertCompToLayerTime(AEGP_LayerH layer, const A_Time* comp_time, A_Time* layer_time) noexcept {
  return HostCall<kConvertCompToLayerTime>(
      [&](const HostCore& h) { return LayerLabel(h, layer) + " time=" + TimeText(comp_time); },
      [&](HostCore& h) -> A_Err {
        const Layer* l = Resolve(h, layer, kConvertCompToLayerTime);
        if (l == nullptr || comp_time == nullptr || layer_time == nullptr) {
          return PF_Err_BAD_CALLBACK_PARAM;
        }
        *layer_time = Composition::CompToLayerTime(*l, *comp_time);
        return 0;
      });
}

}  // namespace

const AEGP_LayerSuite13 kLayerSuite13 = [] {
  AEGP_LayerSuite13 s{};
  s.AEGP_GetLayerParentComp = GetLayerParentComp;
  s.AEGP_GetLayerFromLayerID = GetLayerFromLayerID;
  s.AEGP_GetLayerInPoint = GetLayerInPoint;
  s.AEGP_GetLayerDuration = GetLayerDuration;
  s.AEGP_ConvertCompToLayerTime = ConvertCompToLayerTime;
  return s;
}();

}  // namespace zelvan::testhost
