// The render extra's callbacks: the pixels of the layers checked out in
// pre-render, and the output world.
#include "Callbacks.h"
#include "Copy.h"
#include "FrameState.h"
#include "HostCall.h"
#include "LayerFrames.h"
#include "NamedLayer.h"

namespace zelvan::testhost {
namespace {

// The names the host serves these functions by (see ServedFunctions.h).
constexpr char kCheckoutLayerPixels[] = "checkout_layer_pixels";
constexpr char kCheckinLayerPixels[] = "checkin_layer_pixels";
constexpr char kCheckoutOutput[] = "checkout_output";

// The pixels of one pre-render checkout, and their fingerprint as handed:
// the layer at the checkout's time, with what the effects before this one
// added around it, cut to the rectangle the host promised and placed by its
// origin.
struct HandedPixels {
  std::shared_ptr<pixels::PixelWorld> world;
  std::uint64_t fingerprint = 0;
};

HandedPixels PixelsFor(HostCore& h, const FrameState& f, const LayerCheckoutRecord& r) {
  const PF_LRect& rect = r.result.result_rect;
  const A_long width = rect.right - rect.left, height = rect.bottom - rect.top;
  auto make = [&](const pixels::Color* fill) {
    const A_long padding = h.NextPadding(f.depth);
    auto world = fill != nullptr ? std::make_shared<pixels::PixelWorld>(width, height, f.depth, padding, *fill)
                                 : std::make_shared<pixels::PixelWorld>(width, height, f.depth, padding);
    world->world()->origin_x = rect.left;
    world->world()->origin_y = rect.top;
    return world;
  };
  auto handed = [](std::shared_ptr<pixels::PixelWorld> world) {
    const std::uint64_t fingerprint = pixels::Fingerprint(*world->world());
    return HandedPixels{std::move(world), fingerprint};
  };
  const A_Time layer_time = MakeTime(r.time, r.time_scale);
  const Layer* layer = NamedLayer(h.comp(), h.params(), r.index, layer_time);
  if (layer == nullptr || width == 0 || height == 0) return handed(make(nullptr));
  const A_Time comp_time = Composition::LayerToCompTime(h.comp().effect_layer(), layer_time);
  // The layer's place in the world; an exact copy, as the sizes are equal.
  const PF_LRect extent = LayerExtent(*layer, h.downsample_x(), h.downsample_y());
  const PF_LRect place = MakeRect(-rect.left, -rect.top, extent.right - rect.left, extent.bottom - rect.top);
  const bool whole = place.left == 0 && place.top == 0 && place.right == width && place.bottom == height;
  if (whole && layer->solid && Composition::Shows(*layer, comp_time)) {
    // A solid that fills the world is made in its colour at once, and every
    // such world has the same fingerprint.
    auto world = make(&*layer->solid);
    const std::uint64_t fingerprint = h.fill_prints().Of(*world, *layer->solid);
    return {std::move(world), fingerprint};
  }
  auto world = make(nullptr);
  if (r.index == 0 && Grown(*layer)) world->fill(GrownColor());
  if (whole) {
    // The layer fills the world exactly: painted straight into it, not copied.
    if (!PaintLayerFrame(h.comp(), *layer, comp_time, *world->world())) {
      pixels::FillRect(*world->world(), &place, pixels::Color{});
    }
    return handed(std::move(world));
  }
  auto frame = RenderLayerFrame(h.comp(), *layer, comp_time, h.downsample_x(), h.downsample_y(), f.depth);
  if (frame != nullptr) {
    (void)pixels::CopyWorld(frame->world(), world->world(), nullptr, &place);
  } else {
    pixels::FillRect(*world->world(), &place, pixels::Color{});
  }
  return handed(std::move(world));
}

PF_Err CheckoutLayerPixels(PF_ProgPtr effect_ref, A_long checkout_id, PF_EffectWorld** pixels_out) noexcept {
  return HostCall<kCheckoutLayerPixels>([&] { return "id=" + std::to_string(checkout_id); }, [&](HostCore& h) -> A_Err {
    if (!h.IsOurEffect(effect_ref, kCheckoutLayerPixels) || pixels_out == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    FrameState* frame = h.FrameFor(kCheckoutLayerPixels);
    if (frame == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    FrameState& f = *frame;
    auto have = f.layer_pixels.find(checkout_id);
    if (have != f.layer_pixels.end()) {
      *pixels_out = have->second->world();
      return 0;
    }
    for (const LayerCheckoutRecord& r : f.layer_checkouts) {
      if (r.checkout_id != checkout_id) continue;
      auto [world, fingerprint] = PixelsFor(h, f, r);
      f.layer_pixels_as_handed[checkout_id] = fingerprint;
      const std::string what = "checkout " + std::to_string(checkout_id) + " of parameter " + std::to_string(r.index);
      // Both slots first, the ledger last, so that a failure leaves nothing half-made.
      f.layer_pixels[checkout_id] = world;
      try {
        int& serial = f.layer_pixel_serials[checkout_id];
        serial = h.accounts().Open(Resource::LayerPixels, what, h.command());
      } catch (...) {
        f.layer_pixels.erase(checkout_id);
        f.layer_pixel_serials.erase(checkout_id);
        f.layer_pixels_as_handed.erase(checkout_id);
        throw;
      }
      *pixels_out = world->world();
      return 0;
    }
    h.accounts().Violation("checkout_layer_pixels of checkout " + std::to_string(checkout_id) +
                         " that pre-render did not check out");
    return PF_Err_BAD_CALLBACK_PARAM;
  });
}

PF_Err CheckinLayerPixels(PF_ProgPtr effect_ref, A_long checkout_id) noexcept {
  auto args = [&] { return "id=" + std::to_string(checkout_id); };
  return HostRelease<kCheckinLayerPixels>(args, [&](HostCore& h) -> A_Err {
    if (!h.IsOurEffect(effect_ref, kCheckinLayerPixels)) return PF_Err_BAD_CALLBACK_PARAM;
    FrameState* frame = h.FrameFor(kCheckinLayerPixels);
    if (frame == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    FrameState& f = *frame;
    auto serial = f.layer_pixel_serials.find(checkout_id);
    if (serial == f.layer_pixel_serials.end()) {
      h.accounts().Violation("checkin_layer_pixels of checkout " + std::to_string(checkout_id) + " that is not out");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    h.accounts().Close(Resource::LayerPixels, serial->second);
    f.layer_pixel_serials.erase(serial);
    f.layer_pixels.erase(checkout_id);
    return 0;
  });
}

PF_Err CheckoutOutput(PF_ProgPtr effect_ref, PF_EffectWorld** output) noexcept {
  return HostCall<kCheckoutOutput>([] { return std::string(); }, [&](HostCore& h) -> A_Err {
    if (!h.IsOurEffect(effect_ref, kCheckoutOutput) || output == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    FrameState* frame = h.FrameFor(kCheckoutOutput);
    if (frame == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    frame->output_checked_out = true;
    *output = frame->output->world();
    return 0;
  });
}

}  // namespace

PF_SmartRenderCallbacks SmartRenderCallbacks() {
  PF_SmartRenderCallbacks c{};
  c.checkout_layer_pixels = CheckoutLayerPixels;
  c.checkin_layer_pixels = CheckinLayerPixels;
  c.checkout_output = CheckoutOutput;
  return c;
}

}  // namespace zelvan::testhost
