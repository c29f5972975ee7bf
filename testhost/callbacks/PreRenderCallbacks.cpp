// The pre-render extra's callbacks: the effect states which layer pixels it
// will need, and the host answers with the rectangles it can provide.
#include "Callbacks.h"
#include "FrameState.h"
#include "HostCall.h"
#include "LayerFrames.h"
#include "NamedLayer.h"

namespace zelvan::testhost {
namespace {

// The names the host serves these functions by (see ServedFunctions.h).
constexpr char kCheckoutLayer[] = "checkout_layer";

std::string RectText(const PF_LRect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

PF_Err CheckoutLayer(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long checkout_id, const PF_RenderRequest* req,
                     A_long what_time, A_long time_step, A_u_long time_scale, PF_CheckoutResult* result) noexcept {
  auto args = [&] {
    return "index=" + std::to_string(index) + " id=" + std::to_string(checkout_id) +
           " time=" + std::to_string(what_time) + " step=" + std::to_string(time_step) +
           " scale=" + std::to_string(time_scale) +
           " rect=" + (req != nullptr ? RectText(req->rect) : std::string("null"));
  };
  return HostCall<kCheckoutLayer>(args, [&](HostCore& h) -> A_Err {
    if (!h.IsOurEffect(effect_ref, kCheckoutLayer) || req == nullptr || result == nullptr) {
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    FrameState* frame = h.FrameFor(kCheckoutLayer);
    if (frame == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (!h.params().Valid(index) || h.params().at(index).def.param_type != PF_Param_LAYER) return PF_Err_INVALID_INDEX;
    if (time_scale == 0) return PF_Err_BAD_CALLBACK_PARAM;
    for (const LayerCheckoutRecord& r : frame->layer_checkouts) {
      if (r.checkout_id == checkout_id) {
        h.accounts().Violation("checkout_layer with checkout identifier " + std::to_string(checkout_id) +
                             " used twice in one frame");
        return PF_Err_BAD_CALLBACK_PARAM;
      }
    }
    const Layer* layer = NamedLayer(h.comp(), h.params(), index, MakeTime(what_time, time_scale));
    PF_CheckoutResult out{};
    out.par = MakeScale(1, 1);
    if (layer != nullptr) {
      // The host can give the whole layer at the current resolution, and of
      // it the part that was asked for; the effect's own input, grown by the
      // effects before it, comes whole, as they return it.
      const bool input = index == 0;
      const PF_LRect bounds = input ? InputExtent(*layer, h.downsample_x(), h.downsample_y())
                                    : LayerExtent(*layer, h.downsample_x(), h.downsample_y());
      out.max_result_rect = bounds;
      out.result_rect = input && Grown(*layer) ? bounds : IntersectRects(req->rect, bounds);
      out.ref_width = layer->width;
      out.ref_height = layer->height;
    }
    LayerCheckoutRecord record;
    record.checkout_id = checkout_id;
    record.index = index;
    record.time = what_time;
    record.time_step = time_step;
    record.time_scale = time_scale;
    record.request = *req;
    record.result = out;
    frame->layer_checkouts.push_back(record);
    *result = out;
    return 0;
  });
}

}  // namespace

PF_PreRenderCallbacks PreRenderCallbacks() {
  PF_PreRenderCallbacks c{};
  c.checkout_layer = CheckoutLayer;
  return c;
}

}  // namespace zelvan::testhost
