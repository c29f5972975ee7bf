// One frame from the host's pre-render to the release of the effect's
// pre-render data: the blocks it hands to the effect, what the effect checked
// out, and the worlds involved.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "AE_EffectSmart.h"
#include "PixelWorld.h"

namespace zelvan::testhost {

struct LayerCheckoutRecord {
  A_long checkout_id = 0;
  PF_ParamIndex index = 0;
  A_long time = 0;
  A_long time_step = 0;
  A_u_long time_scale = 0;
  PF_RenderRequest request{};
  PF_CheckoutResult result{};
};

struct FrameState {
  int serial = 0;
  A_long time = 0;
  pixels::Depth depth = pixels::Depth::k8;
  PF_RationalScale downsample_x{};  // the resolution it was pre-rendered at
  PF_RationalScale downsample_y{};

  PF_PreRenderInput pre_input{};
  PF_PreRenderOutput pre_output{};
  PF_PreRenderExtra pre_extra{};
  std::vector<LayerCheckoutRecord> layer_checkouts;
  bool pre_rendered = false;
  bool rendered = false;
  // The bytes of the pre-render data when pre-render returned, when it is
  // one of the host's handles.
  std::vector<unsigned char> pre_render_bytes;

  PF_SmartRenderInput render_input{};
  PF_SmartRenderExtra render_extra{};
  // Input pixels by checkout identifier, and their ledger serials; the host
  // takes them back when the render returns.
  std::map<A_long, std::shared_ptr<pixels::PixelWorld>> layer_pixels;
  std::map<A_long, int> layer_pixel_serials;
  // Fingerprints of the layer pixels as handed out (the effect only reads
  // them) and of the output before the render, kept instead of copies.
  std::map<A_long, std::uint64_t> layer_pixels_as_handed;
  std::unique_ptr<pixels::PixelWorld> output;
  std::uint64_t output_before = 0;
  bool output_checked_out = false;
};

}  // namespace zelvan::testhost
