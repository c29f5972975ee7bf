// The frames a host asks of the effect, each from its smart pre-render to the
// release of the effect's pre-render data; reached as Host::frames().
//
// Contract:
// - In flight, as a host pipelines them: any number of frames pre-rendered,
//   each rendered once, in any order, or never, and released later. A frame
//   whose pre-render fails is released at once and gets no token.
// - One at a time: PreRender abandons the pending frame (releases it) and
//   makes the new one pending; Render renders the pending frame and releases
//   it right after.
// - A frame renders at the time, depth and downsampling it was pre-rendered
//   at; the host's own time and downsampling are as they were afterwards.
// - A release runs the effect's delete function outside any command, on the
//   calling thread, which the host serves for the while (the handle suite
//   only), and counts it.
// - The host releases every frame still in flight before global setdown and
//   when it goes.
// - A call about a frame that is not in flight, a second render of a frame,
//   or Render without a pending frame throws std::logic_error: the caller's
//   mistake, not the effect's. What the effect does wrong is the accounts'.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "AE_EffectSmart.h"
#include "Customize.h"
#include "PixelWorld.h"

namespace zelvan::testhost {

class Host;
class HostCore;
struct FrameState;

// What the host asks of one frame.
struct FrameRequest {
  A_long time = 0;               // in the effect layer's time, at the host's time scale
  std::optional<PF_LRect> rect;  // default: the whole layer at the current downsampling
  PF_Field field = 0;
  PF_ChannelMask channel_mask = 0xF;
  pixels::Depth depth = pixels::Depth::k8;
  // What the output's result rectangles hold before the effect grows them.
  PF_LRect result_rect{};
  PF_LRect max_result_rect{};
  PF_RenderOutputFlags flags = 0;
};

// A frame in flight: from a successful pre-render until its release. 0 names
// no frame.
struct FrameToken {
  int serial = 0;
};

class Frames {
 public:
  ~Frames();
  Frames(const Frames&) = delete;
  Frames& operator=(const Frames&) = delete;

  // ---- In flight. Each returns the entry point's result.
  PF_Err PreRenderFrame(const FrameRequest& request, FrameToken* token, const Customize& customize = nullptr);
  PF_Err Render(FrameToken token, const Customize& customize = nullptr);
  void Release(FrameToken token);
  std::vector<FrameToken> in_flight() const;

  // ---- One at a time.
  PF_Err PreRender(A_long time);
  PF_Err PreRender(const FrameRequest& request, const Customize& customize = nullptr);
  PF_Err Render(const Customize& customize = nullptr);
  // PreRender, then Render when it succeeded.
  PF_Err RenderFrame(A_long time);
  PF_Err RenderFrame(const FrameRequest& request);
  void Abandon();
  bool pending() const;

  // ---- The frame the last frame call worked on, in flight or released
  // (each throws std::logic_error before any frame).
  const PF_PreRenderInput& pre_render_input() const;
  const PF_PreRenderOutput& pre_render_output() const;
  // The layer checkouts the effect made in its pre-render.
  std::vector<PF_CheckoutResult> layer_checkout_results() const;
  std::vector<PF_RenderRequest> layer_checkout_requests() const;
  // What its pre-render data held when pre-render returned (empty when it
  // was not one of the host's handles).
  const std::vector<unsigned char>& pre_render_data_bytes() const;

  // ---- Every release: how often the host called the effect's delete
  // function, and with what.
  int pre_render_data_deleted() const;
  const std::vector<void*>& deleted_pre_render_data() const;

  // ---- The last render: its output world (null before any), whether the
  // effect checked it out and whether its pixels changed.
  const pixels::PixelWorld* last_output() const;
  bool last_output_checked_out() const;
  bool last_output_written() const;
  // What an output holds before the render, so that an unwritten output is
  // recognisable; SetOutputFill changes it (a render for users starts
  // transparent, as in a real host).
  static pixels::Color UnwrittenColor();
  void SetOutputFill(const pixels::Color& fill);

 private:
  friend class Host;
  Frames(Host& host, HostCore& core);

  // Before global setdown, and when the host goes.
  void ReleaseAll();
  FrameState& InFlight(FrameToken token, const char* what) const;
  const FrameState& Inspected() const;
  // Makes the render's output world, filled, at the area the pre-render set.
  void MakeOutput(FrameState& f);
  // What a render may not do to the worlds it was handed, and the layer
  // pixels given back when it returns.
  void CheckRenderedWorlds(FrameState& f);

  Host& host_;
  HostCore& core_;
  // By serial: pre-rendered, rendered or not, and not yet released.
  std::map<int, std::unique_ptr<FrameState>> frames_;
  int started_ = 0;
  int pending_ = 0;    // the one-at-a-time frame's serial; 0 for none
  int inspected_ = 0;  // the frame the last frame call worked on
  std::unique_ptr<FrameState> last_released_;
  int pre_render_data_deleted_ = 0;
  std::vector<void*> deleted_pre_render_data_;
  std::unique_ptr<pixels::PixelWorld> last_output_;
  bool last_output_written_ = false;
  bool last_output_checked_out_ = false;
  pixels::Color output_fill_;
};

}  // namespace zelvan::testhost
