// The simulated host: loads the plug-in binary and drives it through the
// commands a host sends, with its suites, callbacks, accounts, faults, call
// trace, parameter model and composition.
//
// Typical session:
//   Host host(path);
//   ASSERT_EQ(host.GlobalSetup(), PF_Err_NONE);
//   ASSERT_EQ(host.ParamsSetup(), PF_Err_NONE);
//   ASSERT_EQ(host.RenderFrame(0), PF_Err_NONE);
//   host.GlobalSetdown();
//   EXPECT_EQ(host.Imbalance(), "");
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AE_EffectSmart.h"
#include "AE_GeneralPlug.h"
#include "Accounts.h"
#include "CallTrace.h"
#include "CallbackFailure.h"
#include "CurrentHost.h"
#include "Composition.h"
#include "Faults.h"
#include "HostObserver.h"
#include "Module.h"
#include "ParamModel.h"
#include "PixelWorld.h"

namespace zelvan::testhost {

class HostCore;
struct FrameState;

// What the host asks of one frame.
struct FrameRequest {
  A_long time = 0;                  // in the effect layer's time, at the host's time scale
  std::optional<PF_LRect> rect;     // default: the whole layer at the current downsampling
  PF_Field field = 0;
  PF_ChannelMask channel_mask = 0xF;
  pixels::Depth depth = pixels::Depth::k8;
  // What the output's result rectangles hold before the effect grows them.
  PF_LRect result_rect{};
  PF_LRect max_result_rect{};
  PF_RenderOutputFlags flags = 0;
};

// A frame in flight: from a successful pre-render until the host releases
// the effect's pre-render data. 0 names no frame.
struct FrameToken {
  int serial = 0;
};

class Host {
 public:
  // Loads the plug-in; throws LoadError.
  explicit Host(const std::string& plugin_path);
  // A null module gives a host without a plug-in, for tests of host-side code
  // alone; sending it a command throws std::logic_error.
  explicit Host(std::shared_ptr<const Module> module);
  Host();
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  const Module& module() const;

  // ---- Commands, as the host sends them. Each returns the entry point's
  // result. The host fills fresh in-data and out-data for every command;
  // customize, when given, may change them just before the call.
  using Customize = std::function<void(PF_InData& in_data, PF_OutData& out_data)>;
  PF_Err Command(PF_Cmd cmd, void* extra = nullptr, const Customize& customize = nullptr);
  PF_Err About(const Customize& customize = nullptr);
  PF_Err GlobalSetup(const Customize& customize = nullptr);
  PF_Err ParamsSetup(const Customize& customize = nullptr);
  PF_Err UpdateParamsUI(const Customize& customize = nullptr);
  PF_Err GlobalSetdown(const Customize& customize = nullptr);
  // GlobalSetup then ParamsSetup; the first error, or 0.
  PF_Err StartSession();

  // ---- Frames in flight, as a host pipelines them: pre-render any number of
  // frames, render them in any order (each once) or never, and release each
  // frame's pre-render data later, through the effect's delete function,
  // outside any command (from any thread, one at a time). A frame whose
  // pre-render fails is released at once and gets no token.
  PF_Err PreRenderFrame(const FrameRequest& request, FrameToken* token, const Customize& customize = nullptr);
  // Throws std::logic_error for a frame not in flight or rendered already.
  PF_Err Render(FrameToken token, const Customize& customize = nullptr);
  // Throws std::logic_error for a frame not in flight.
  void ReleaseFrame(FrameToken token);
  std::vector<FrameToken> frames_in_flight() const;

  // ---- One frame at a time: pre-render, then render of the same frame. A
  // frame whose pre-render fails, or that a new pre-render replaces, is
  // abandoned; the effect's pre-render data is released right after the
  // render, or on abandonment.
  PF_Err PreRender(A_long time);
  PF_Err PreRender(const FrameRequest& request, const Customize& customize = nullptr);
  // Renders the frame of the last successful pre-render; throws
  // std::logic_error when there is none.
  PF_Err Render(const Customize& customize = nullptr);
  // PreRender, then Render when it succeeded.
  PF_Err RenderFrame(A_long time);
  PF_Err RenderFrame(const FrameRequest& request);
  void AbandonFrame();
  bool frame_pending() const;
  // The pre-render blocks of the frame the last frame call worked on, in
  // flight or released (throws std::logic_error before any).
  const PF_PreRenderInput& pre_render_input() const;
  const PF_PreRenderOutput& pre_render_output() const;
  // Layer checkouts the effect made in that frame's pre-render.
  std::vector<PF_CheckoutResult> layer_checkout_results() const;
  std::vector<PF_RenderRequest> layer_checkout_requests() const;
  // What that frame's pre-render data held when pre-render returned (empty
  // when it was not one of the host's handles).
  const std::vector<unsigned char>& pre_render_data_bytes() const;
  // How often the host called the effect's delete function, and with what.
  int pre_render_data_deleted() const;
  const std::vector<void*>& deleted_pre_render_data() const;
  // The output world of the last render (null before any), whether the
  // effect checked it out and whether its pixels changed.
  const pixels::PixelWorld* last_output() const;
  bool last_output_checked_out() const;
  bool last_output_written() const;
  // The colour the host fills an output with before the render, so that an
  // unwritten output is recognisable; SetOutputFill changes it (a render for
  // users starts transparent, as in a real host).
  static pixels::Color UnwrittenColor();
  void SetOutputFill(const pixels::Color& fill);

  // ---- What the host saw.
  const PF_InData& in_data() const;    // of the last command
  const PF_OutData& out_data() const;  // of the last command
  int last_command() const;            // its serial, for trace().LinesOfCommand
  const std::string& about_text() const;
  std::optional<A_u_long> version() const;
  A_long out_flags() const;    // the flags global setup reported
  A_long out_flags2() const;
  PF_Handle global_data() const;
  std::optional<A_long> num_params_reported() const;
  // The identifiers handed out by AEGP_RegisterWithAEGP, with the names used.
  std::vector<std::pair<AEGP_PluginID, std::string>> registrations() const;
  // True when the output world passed to the last non-render command is unchanged.
  bool command_output_untouched() const;

  // ---- Parameters as the host keeps them.
  ParamModel& params();
  const ParamModel& params() const;
  // Shorthands: value in user units (see ParamModel::SetValue), keyframes.
  void SetParam(PF_ParamIndex index, double value);
  void SetKeyframes(PF_ParamIndex index, std::vector<Keyframe> keys);
  bool Hidden(PF_ParamIndex index) const;

  // ---- Composition, time and resolution.
  Composition& comp();
  const Composition& comp() const;
  // Time of the next commands, in the effect layer's time.
  void SetTime(A_long current_time, A_long time_step = 1);
  void SetTimeScale(A_u_long time_scale);
  void SetDownsample(PF_RationalScale x, PF_RationalScale y);

  // ---- Accounts, faults and trace.
  Faults& faults();
  const CallTrace& trace() const;
  CallTrace& trace();
  const Accounts& accounts() const;
  // Who is told of each parameter checkout and copy the plug-in makes (null:
  // nobody); it must stay alive for as long as it is set.
  void SetObserver(HostObserver* observer);
  // Empty when every suite, handle, reference, stream, value and checkout
  // was given back and no misuse was seen; otherwise one line per finding.
  std::string Imbalance() const;
  // Host calls whose own work failed (a frame source that threw), in order;
  // each gave the plug-in an error code instead of an exception.
  const std::vector<CallbackFailure>& callback_failures() const;

  // Contents of a live handle (null when not live), its size and lock depth.
  void* HandleData(PF_Handle handle) const;
  A_HandleSize HandleSize(PF_Handle handle) const;
  int HandleLockDepth(PF_Handle handle) const;
  std::size_t LiveHandles() const;

  // ---- Host services for code that runs outside a command (tests of the
  // host-interface layer). While this host exists it serves its thread; the
  // blocks are those the next command would get, and stay valid until then.
  const SPBasicSuite* basic_suite() const;
  // Offers one more suite by name and version (tests of code that uses
  // suites the effect itself does not need).
  void OfferSuite(const std::string& name, A_long version, const void* table);
  PF_InData& PrepareInData();
  PF_OutData& PrepareOutData();
  PF_ProgPtr effect_ref() const;
  // The parameter array of the running command (outside commands, the next
  // one's), null-terminated: a customize function may change its entries.
  PF_ParamDef** command_params();

 private:
  friend class SimulatedCommand;
  friend class SimulatedRelease;
  PF_Err Run(PF_Cmd cmd, void* extra, const Customize& customize, const std::function<void(PF_Err)>& after);
  void Prepare();
  void BeginCommand(PF_Cmd cmd);
  void EndCommand(PF_Cmd cmd);
  void SetReleasing(bool releasing);
  void Absorb(PF_Cmd cmd, PF_Err err);
  FrameState& InFlight(FrameToken token, const char* what) const;
  // The frame the last frame call worked on, in flight or released.
  const FrameState& Inspected() const;
  void ReleaseAllFrames();

  std::unique_ptr<HostCore> core_;
  std::unique_ptr<CurrentHostScope> serving_;
};

// While it lives, the host runs as in a command of that selector, for tests
// that call host functions directly: calls bound to commands are served as
// in that command, and what it left held or locked is reported when it ends.
class SimulatedCommand {
 public:
  SimulatedCommand(Host& host, PF_Cmd cmd);
  ~SimulatedCommand();
  SimulatedCommand(const SimulatedCommand&) = delete;
  SimulatedCommand& operator=(const SimulatedCommand&) = delete;

 private:
  Host& host_;
  PF_Cmd cmd_;
};

// While it lives, the host runs as in its release of a frame's pre-render
// data, outside any command, for tests that call host functions directly.
class SimulatedRelease {
 public:
  explicit SimulatedRelease(Host& host);
  ~SimulatedRelease();
  SimulatedRelease(const SimulatedRelease&) = delete;
  SimulatedRelease& operator=(const SimulatedRelease&) = delete;

 private:
  Host& host_;
};

// Names of the bits of out_flags and out_flags2 ("DEEP_COLOR_AWARE", ...);
// bits without a name come out as "bit N".
std::vector<std::string> OutFlagNames(A_long flags);
std::vector<std::string> OutFlag2Names(A_long flags);

}  // namespace zelvan::testhost
