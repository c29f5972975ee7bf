#include "Frames.h"

#include <iterator>
#include <stdexcept>
#include <string>

#include "FrameState.h"
#include "Host.h"
#include "HostCore.h"
#include "LayerFrames.h"

namespace zelvan::testhost {

namespace {

A_short BitDepth(pixels::Depth d) {
  switch (d) {
    case pixels::Depth::k8:
      return 8;
    case pixels::Depth::k16:
      return 16;
    case pixels::Depth::kFloat:
      return 32;
  }
  return 8;
}

// The pre-render blocks of a new frame, as the host fills them before the
// effect grows them.
void FillPreRenderBlocks(FrameState& frame, const FrameRequest& request, const PF_LRect& whole_layer,
                         PF_PreRenderCallbacks* callbacks) {
  PF_RenderRequest& req = frame.pre_input.output_request;
  req.rect = request.rect.value_or(whole_layer);
  req.field = request.field;
  req.channel_mask = request.channel_mask;
  // Words of the host's own, which an effect passes on as it found them.
  for (std::size_t i = 0; i < std::size(req.reserved); ++i) req.reserved[i] = A_long(0x5A540000 + i);
  for (std::size_t i = 0; i < std::size(req.unused); ++i) req.unused[i] = A_char('u' + i);
  frame.pre_input.bitdepth = BitDepth(request.depth);
  frame.pre_output.result_rect = request.result_rect;
  frame.pre_output.max_result_rect = request.max_result_rect;
  frame.pre_output.flags = request.flags;
  frame.pre_extra.input = &frame.pre_input;
  frame.pre_extra.output = &frame.pre_output;
  frame.pre_extra.cb = callbacks;
}

}  // namespace

Frames::Frames(Host& host, HostCore& core) : host_(host), core_(core), output_fill_(UnwrittenColor()) {}

Frames::~Frames() = default;

// ---- In flight

PF_Err Frames::PreRenderFrame(const FrameRequest& request, FrameToken* token, const Customize& customize) {
  HostCore& h = core_;
  if (token != nullptr) *token = FrameToken{};
  auto owned = std::make_unique<FrameState>();
  FrameState& frame = *owned;
  frame.serial = ++started_;
  frame.time = request.time;
  frame.depth = request.depth;
  frame.downsample_x = h.downsample_x_;
  frame.downsample_y = h.downsample_y_;
  FillPreRenderBlocks(frame, request, LayerExtent(h.comp_->effect_layer(), h.downsample_x_, h.downsample_y_),
                      &h.pre_render_cb_);
  frames_[frame.serial] = std::move(owned);
  inspected_ = frame.serial;
  h.depth_ = request.depth;
  h.current_time_ = request.time;

  h.frame_ = &frame;
  const PF_Err err = host_.Run(PF_Cmd_SMART_PRE_RENDER, &frame.pre_extra, customize, [&](PF_Err) {
    // What the effect left for the render, as it stood when it returned.
    if (const HandleTable::Record* r =
            h.accounts_.handles().Find(static_cast<PF_Handle>(frame.pre_output.pre_render_data))) {
      frame.pre_render_bytes.assign(r->bytes.get(), r->bytes.get() + r->size);
    }
  });
  h.frame_ = nullptr;
  if (err != PF_Err_NONE) {
    Release(FrameToken{frame.serial});
    return err;
  }
  frame.pre_rendered = true;
  if (token != nullptr) token->serial = frame.serial;
  return err;
}

FrameState& Frames::InFlight(FrameToken token, const char* what) const {
  auto it = frames_.find(token.serial);
  if (it == frames_.end()) {
    throw std::logic_error(std::string(what) + " of frame " + std::to_string(token.serial) +
                           ", which is not in flight (never pre-rendered, or released)");
  }
  return *it->second;
}

void Frames::MakeOutput(FrameState& f) {
  const PF_LRect area = OutputArea(f.pre_input.output_request.rect, f.pre_output.result_rect, f.pre_output.flags);
  // The last frame's output is valid until this render: it goes before the
  // next one is made, so that two large worlds are not held at once.
  last_output_.reset();
  const A_long width = area.right - area.left, height = area.bottom - area.top;
  f.output = std::make_unique<pixels::PixelWorld>(width, height, f.depth, core_.NextPadding(f.depth), output_fill_);
  f.output->world()->origin_x = area.left;
  f.output->world()->origin_y = area.top;
  f.output_before = core_.fill_prints().Of(*f.output, output_fill_);
}

void Frames::CheckRenderedWorlds(FrameState& f) {
  Accounts& accounts = core_.accounts_;
  // The effect reads its inputs and writes its output's pixels, nothing else.
  for (const auto& [id, world] : f.layer_pixels) {
    const auto handed = f.layer_pixels_as_handed.find(id);
    if (!world->paddingIntact() || handed == f.layer_pixels_as_handed.end() ||
        pixels::Fingerprint(*world->world()) != handed->second) {
      accounts.Violation("the effect wrote into its input (checkout " + std::to_string(id) + ")");
    }
  }
  if (!f.output->paddingIntact()) accounts.Violation("the effect wrote into the row padding of its output");
  // Layer pixels are the host's again once the render returns.
  for (const auto& [id, serial] : f.layer_pixel_serials) accounts.Close(Resource::LayerPixels, serial);
  f.layer_pixel_serials.clear();
  f.layer_pixels.clear();
  f.layer_pixels_as_handed.clear();
}

PF_Err Frames::Render(FrameToken token, const Customize& customize) {
  HostCore& h = core_;
  FrameState& f = InFlight(token, "Frames::Render");
  if (f.rendered) throw std::logic_error("Frames::Render of frame " + std::to_string(f.serial) + " a second time");
  f.rendered = true;
  inspected_ = f.serial;
  f.render_input.output_request = f.pre_input.output_request;
  f.render_input.bitdepth = f.pre_input.bitdepth;
  f.render_input.pre_render_data = f.pre_output.pre_render_data;
  f.render_extra.input = &f.render_input;
  f.render_extra.cb = &h.smart_render_cb_;
  MakeOutput(f);
  h.depth_ = f.depth;
  h.current_time_ = f.time;
  // The frame renders at the resolution it was pre-rendered at.
  const PF_RationalScale dsx = h.downsample_x_, dsy = h.downsample_y_;
  h.downsample_x_ = f.downsample_x;
  h.downsample_y_ = f.downsample_y;

  h.frame_ = &f;
  const PF_Err err =
      host_.Run(PF_Cmd_SMART_RENDER, &f.render_extra, customize, [&](PF_Err) { CheckRenderedWorlds(f); });
  h.frame_ = nullptr;
  h.downsample_x_ = dsx;
  h.downsample_y_ = dsy;
  last_output_checked_out_ = f.output_checked_out;
  last_output_written_ = pixels::Fingerprint(*f.output->world()) != f.output_before;
  last_output_ = std::move(f.output);
  return err;
}

void Frames::Release(FrameToken token) {
  HostCore& h = core_;
  FrameState& f = InFlight(token, "Frames::Release");
  std::unique_ptr<FrameState> frame = std::move(frames_[f.serial]);
  frames_.erase(frame->serial);
  if (pending_ == frame->serial) pending_ = 0;
  inspected_ = frame->serial;
  // A host releases pre-render data outside any command, on a thread of its
  // choosing: this one is served for the while.
  CurrentHostScope scope(&h);
  if (frame->pre_output.delete_pre_render_data_func != nullptr) {
    ++pre_render_data_deleted_;
    deleted_pre_render_data_.push_back(frame->pre_output.pre_render_data);
    host_.SetReleasing(true);
    {
      PluginRunningScope plugin_running;
      frame->pre_output.delete_pre_render_data_func(frame->pre_output.pre_render_data);
    }
    host_.SetReleasing(false);
    h.accounts_.LocksMustBeUndone("when the release of frame " + std::to_string(frame->serial) +
                                  "'s pre-render data returned");
  }
  last_released_ = std::move(frame);
}

void Frames::ReleaseAll() {
  for (const FrameToken token : in_flight()) Release(token);
}

std::vector<FrameToken> Frames::in_flight() const {
  std::vector<FrameToken> out;
  for (const auto& [serial, frame] : frames_) out.push_back(FrameToken{serial});
  return out;
}

// ---- One at a time

PF_Err Frames::PreRender(A_long time) {
  FrameRequest request;
  request.time = time;
  return PreRender(request);
}

PF_Err Frames::PreRender(const FrameRequest& request, const Customize& customize) {
  Abandon();
  FrameToken token;
  const PF_Err err = PreRenderFrame(request, &token, customize);
  pending_ = token.serial;
  return err;
}

PF_Err Frames::Render(const Customize& customize) {
  if (pending_ == 0) throw std::logic_error("Frames::Render without a successful PreRender of the frame");
  const FrameToken token{pending_};
  const PF_Err err = Render(token, customize);
  Release(token);
  return err;
}

PF_Err Frames::RenderFrame(A_long time) {
  FrameRequest request;
  request.time = time;
  return RenderFrame(request);
}

PF_Err Frames::RenderFrame(const FrameRequest& request) {
  const PF_Err err = PreRender(request);
  return err != PF_Err_NONE ? err : Render();
}

void Frames::Abandon() {
  if (pending_ != 0) Release(FrameToken{pending_});
}

bool Frames::pending() const { return pending_ != 0; }

// ---- Inspection

const FrameState& Frames::Inspected() const {
  auto it = frames_.find(inspected_);
  if (it != frames_.end()) return *it->second;
  if (last_released_ != nullptr) return *last_released_;
  throw std::logic_error("no frame has been pre-rendered");
}

const PF_PreRenderInput& Frames::pre_render_input() const { return Inspected().pre_input; }
const PF_PreRenderOutput& Frames::pre_render_output() const { return Inspected().pre_output; }
const std::vector<unsigned char>& Frames::pre_render_data_bytes() const { return Inspected().pre_render_bytes; }

std::vector<PF_CheckoutResult> Frames::layer_checkout_results() const {
  std::vector<PF_CheckoutResult> out;
  for (const LayerCheckoutRecord& r : Inspected().layer_checkouts) out.push_back(r.result);
  return out;
}

std::vector<PF_RenderRequest> Frames::layer_checkout_requests() const {
  std::vector<PF_RenderRequest> out;
  for (const LayerCheckoutRecord& r : Inspected().layer_checkouts) out.push_back(r.request);
  return out;
}

int Frames::pre_render_data_deleted() const { return pre_render_data_deleted_; }
const std::vector<void*>& Frames::deleted_pre_render_data() const { return deleted_pre_render_data_; }
const pixels::PixelWorld* Frames::last_output() const { return last_output_.get(); }
bool Frames::last_output_checked_out() const { return last_output_checked_out_; }
bool Frames::last_output_written() const { return last_output_written_; }
pixels::Color Frames::UnwrittenColor() { return pixels::Color{1.0f, 1.0f, 0.0f, 1.0f}; }
void Frames::SetOutputFill(const pixels::Color& fill) { output_fill_ = fill; }

}  // namespace zelvan::testhost
