// The simulated host: loads the plug-in binary and drives it through the
// commands a host sends. Each thing it holds is reached one way: the frames
// through frames(), the parameters through params(), and so on below.
//
// Typical session:
//   Host host(path);
//   ASSERT_EQ(host.StartSession(), PF_Err_NONE);
//   ASSERT_EQ(host.frames().RenderFrame(0), PF_Err_NONE);
//   host.GlobalSetdown();
//   EXPECT_EQ(host.accounts().Imbalance(), "");
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AE_EffectSmart.h"
#include "Accounts.h"
#include "CallTrace.h"
#include "CallbackFailure.h"
#include "Composition.h"
#include "CurrentHost.h"
#include "Customize.h"
#include "Faults.h"
#include "Frames.h"
#include "HostObserver.h"
#include "Learned.h"
#include "Module.h"
#include "ParamModel.h"

namespace zelvan::testhost {

class HostCore;

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

  // ---- Commands, as the host sends them; each returns the entry point's result.
  PF_Err Command(PF_Cmd cmd, void* extra = nullptr, const Customize& customize = nullptr);
  PF_Err About(const Customize& customize = nullptr);
  PF_Err GlobalSetup(const Customize& customize = nullptr);
  PF_Err ParamsSetup(const Customize& customize = nullptr);
  PF_Err UpdateParamsUI(const Customize& customize = nullptr);
  PF_Err GlobalSetdown(const Customize& customize = nullptr);
  // GlobalSetup then ParamsSetup; the first error, or 0.
  PF_Err StartSession();

  // ---- Frames: smart pre-render, render and the release of pre-render data.
  Frames& frames();
  const Frames& frames() const;

  // ---- The last command and what the host learned from the effect.
  const PF_InData& in_data() const;
  const PF_OutData& out_data() const;
  int last_command() const;  // its serial, for trace().LinesOfCommand
  // True when the output world passed to the last non-render command is unchanged.
  bool command_output_untouched() const;
  const Learned& learned() const;

  // ---- What the host keeps for the effect: its parameters, the composition,
  // and the time and resolution of the next commands (in the effect layer's time).
  ParamModel& params();
  const ParamModel& params() const;
  Composition& comp();
  const Composition& comp() const;
  void SetTime(A_long current_time, A_long time_step = 1);
  void SetTimeScale(A_u_long time_scale);
  void SetDownsample(PF_RationalScale x, PF_RationalScale y);

  // ---- What the host checks and records: accounts (handles included),
  // faults on demand, the call trace, its own failures, and an observer.
  const Accounts& accounts() const;
  Faults& faults();
  CallTrace& trace();
  const CallTrace& trace() const;
  // Host calls whose own work failed (a frame source that threw), in order;
  // each gave the plug-in an error code instead of an exception.
  const std::vector<CallbackFailure>& callback_failures() const;
  // Who is told of each parameter checkout and copy the plug-in makes (null:
  // nobody); it must stay alive for as long as it is set.
  void SetObserver(HostObserver* observer);

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
  friend class Frames;
  friend class SimulatedCommand;
  friend class SimulatedRelease;
  // Sends one command; after runs once the entry point returned, before the
  // command ends (while what it holds still belongs to it).
  PF_Err Run(PF_Cmd cmd, void* extra, const Customize& customize, const std::function<void(PF_Err)>& after);
  void Prepare();
  void BeginCommand(PF_Cmd cmd);
  void EndCommand(PF_Cmd cmd);
  void Absorb(PF_Cmd cmd, PF_Err err);
  // The host runs the effect's release function for pre-render data.
  void SetReleasing(bool releasing);

  std::unique_ptr<HostCore> core_;
  std::unique_ptr<Frames> frames_;
  std::unique_ptr<CurrentHostScope> serving_;
};

}  // namespace zelvan::testhost
