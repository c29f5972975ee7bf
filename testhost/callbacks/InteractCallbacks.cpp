// in_data->inter: the effect adds its parameters, and checks them out at a
// time (layers as pixel worlds) and back in.
#include <cstring>

#include "Callbacks.h"
#include "HostCall.h"
#include "LayerFrames.h"
#include "NamedLayer.h"

namespace zelvan::testhost {
namespace {

// The names the host serves these functions by (see ServedFunctions.h).
constexpr char kAddParam[] = "add_param";
constexpr char kCheckoutParam[] = "checkout_param";
constexpr char kCheckinParam[] = "checkin_param";

std::string NameOf(const PF_ParamDef* def) {
  if (def == nullptr) return "";
  return std::string(def->name, strnlen(def->name, sizeof def->name));
}

PF_Err AddParam(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def) noexcept {
  auto args = [&] {
    return "index=" + std::to_string(index) +
           (def != nullptr ? " type=" + std::to_string(def->param_type) + " name=\"" + NameOf(def) + "\""
                           : " def=null");
  };
  return HostCall<kAddParam>(args, [&](HostCore& h) -> A_Err {
    if (!h.IsOurEffect(effect_ref, kAddParam) || def == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    std::string problem;
    const PF_Err err = h.params().Add(index, *def, &problem);
    if (err != PF_Err_NONE) {
      h.accounts().Violation("add_param of parameter " + std::to_string(h.params().count()) + " \"" + NameOf(def) +
                           "\" with " + problem);
    }
    return err;
  });
}

PF_Err CheckoutParam(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time, A_long time_step,
                     A_u_long time_scale, PF_ParamDef* param) noexcept {
  auto args = [&] {
    return "index=" + std::to_string(index) + " time=" + std::to_string(what_time) +
           " step=" + std::to_string(time_step) + " scale=" + std::to_string(time_scale);
  };
  ParamCheckoutCall call{index, what_time, time_step, time_scale, param, PF_Err_NONE};
  HostObserver* observer = CurrentObserver();
  if (observer != nullptr) observer->ParamCheckoutStarting(call);
  call.result = HostCall<kCheckoutParam>(args, [&](HostCore& h) -> A_Err {
    if (!h.IsOurEffect(effect_ref, kCheckoutParam) || param == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (!h.params().Valid(index)) return PF_Err_INVALID_INDEX;
    if (time_scale == 0) return PF_Err_BAD_CALLBACK_PARAM;
    const A_Time layer_time = MakeTime(what_time, time_scale);
    PF_ParamDef def = h.params().DefinitionAt(index, Composition::Seconds(layer_time));

    auto checkout = std::make_unique<ParamCheckoutObject>();
    checkout->index = index;
    checkout->def = param;
    std::string what = "index " + std::to_string(index) + " at time " + std::to_string(what_time);
    if (def.param_type == PF_Param_LAYER) {
      const Layer* layer = NamedLayer(h.comp(), h.params(), index, layer_time);
      std::memset(&def.u.ld, 0, sizeof def.u.ld);
      if (layer != nullptr) {
        const A_Time comp_time = Composition::LayerToCompTime(h.comp().effect_layer(), layer_time);
        auto world = RenderLayerFrame(h.comp(), *layer, comp_time, h.downsample_x(), h.downsample_y(), h.depth(),
                                      h.NextPadding(h.depth()));
        if (world != nullptr) {
          def.u.ld = *world->world();
          checkout->world = world->world();
          checkout->world_owner = world;
          what += " (layer " + std::to_string(layer->id) + " frame " +
                  std::to_string(h.comp().FrameAt(*layer, comp_time)) + ")";
        }
      }
    }
    // Room first, the ledger last: a failure anywhere before leaves nothing behind.
    h.objects().param_checkouts.reserve(h.objects().param_checkouts.size() + 1);
    checkout->serial = h.accounts().Open(Resource::ParamCheckout, what, h.command());
    h.objects().param_checkouts.push_back(std::move(checkout));
    *param = def;
    return 0;
  });
  if (observer != nullptr) observer->ParamCheckedOut(call);
  return call.result;
}

PF_Err CheckinParam(PF_ProgPtr effect_ref, PF_ParamDef* param) noexcept {
  // A checkout is known by where the effect received it, or by its pixels.
  auto find = [param](const HostCore& h) {
    for (auto it = h.objects().param_checkouts.begin(); it != h.objects().param_checkouts.end(); ++it) {
      if ((*it)->def == param) return it;
    }
    for (auto it = h.objects().param_checkouts.begin(); it != h.objects().param_checkouts.end(); ++it) {
      if (param != nullptr && (*it)->world != nullptr && (*it)->world->data == param->u.ld.data) return it;
    }
    return h.objects().param_checkouts.end();
  };
  auto label = [&](const HostCore& h) {
    auto it = find(h);
    return it == h.objects().param_checkouts.end() ? std::string("index=?") : "index=" + std::to_string((*it)->index);
  };
  return HostRelease<kCheckinParam>(label, [&](HostCore& h) -> A_Err {
    if (!h.IsOurEffect(effect_ref, kCheckinParam) || param == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    auto it = find(h);
    if (it == h.objects().param_checkouts.end()) {
      h.accounts().Violation("checkin_param of a parameter that is not checked out");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    if ((*it)->world_owner != nullptr && !(*it)->world_owner->paddingIntact()) {
      h.accounts().Violation("the effect wrote into the row padding of checked-out parameter " +
                           std::to_string((*it)->index));
    }
    h.accounts().Close(Resource::ParamCheckout, (*it)->serial);
    h.objects().param_checkouts.erase(it);
    return 0;
  });
}

}  // namespace

PF_InteractCallbacks InteractCallbacks() {
  PF_InteractCallbacks c{};
  c.checkout_param = CheckoutParam;
  c.checkin_param = CheckinParam;
  c.add_param = AddParam;
  return c;
}

}  // namespace zelvan::testhost
