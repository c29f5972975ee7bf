// Turns arbitrary bytes into a whole host session against the real plug-in:
// composition geometry, parameter values, host faults and a sequence of
// commands. After every input the host's accounts must balance, every result
// must be a code the effect may return, and a failed render must leave the
// output untouched unless the copy itself ran.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <set>
#include <string>

#include "Host.h"
#include "Params.h"

namespace {

using zelvan::testhost::FrameRequest;
using zelvan::testhost::Host;
using zelvan::testhost::Layer;
using zelvan::testhost::Module;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "session invariant broken: %s\n", what.c_str());
  std::abort();
}

double AnyDouble(FuzzedDataProvider& in) {
  static const double kSpecial[] = {0.0,
                                    -0.0,
                                    1.0,
                                    30.0,
                                    29.97002997002997,
                                    -30.0,
                                    std::numeric_limits<double>::infinity(),
                                    -std::numeric_limits<double>::infinity(),
                                    std::numeric_limits<double>::quiet_NaN(),
                                    1e300,
                                    -1e300,
                                    std::numeric_limits<double>::denorm_min(),
                                    1e-310};
  if (in.ConsumeBool()) return in.PickValueInArray(kSpecial);
  return in.ConsumeFloatingPoint<double>();
}

A_Time AnyTime(FuzzedDataProvider& in) {
  return A_Time{in.ConsumeIntegral<A_long>(), in.ConsumeIntegralInRange<A_u_long>(1, 0xFFFFFFFFu)};
}

const char* const kHostCalls[] = {
    "AEGP_RegisterWithAEGP",     "add_param",                   "checkout_param",
    "checkin_param",             "AEGP_GetNewEffectForEffect",  "AEGP_GetNewEffectStreamByIndex",
    "AEGP_SetDynamicStreamFlag", "AEGP_DisposeStream",          "AEGP_DisposeEffect",
    "checkout_layer",            "AEGP_GetEffectLayer",         "AEGP_GetLayerParentComp",
    "AEGP_GetCompFramerate",     "AEGP_GetNewStreamValue",      "AEGP_DisposeStreamValue",
    "AEGP_GetLayerFromLayerID",  "AEGP_GetLayerInPoint",        "AEGP_GetLayerDuration",
    "AEGP_ConvertCompToLayerTime", "checkout_layer_pixels",     "checkout_output",
    "copy",                      "host_new_handle",             "host_lock_handle"};

struct SuiteName {
  const char* name;
  A_long version;
};
// The handle suite is left out: the host releases each frame's pre-render data
// through the effect's release function outside any command, and a host that
// refused its own handle suite there would leave nothing able to free it.
// Handle creation and locking still fail through the call faults.
const SuiteName kSuites[] = {{"AEGP Utility Suite", 7},
                             {"AEGP PF Interface Suite", 1}, {"AEGP Effect Suite", 2},
                             {"AEGP Stream Suite", 9},       {"AEGP Dynamic Stream Suite", 5},
                             {"AEGP Comp Suite", 15},        {"AEGP Layer Suite", 13}};

const std::shared_ptr<const Module>& Plugin() {
  static const std::shared_ptr<const Module> module = Module::Load(ZELVAN_PLUGIN_PATH);
  return module;
}

void ArmFaults(FuzzedDataProvider& in, Host& host, std::set<A_Err>& allowed) {
  const int faults = in.ConsumeIntegralInRange(0, 3);
  for (int i = 0; i < faults; ++i) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
      case 0: {
        // Never 0: a call that "fails" with success but fills nothing is a
        // host breaking its own contract, not a failure the effect can see.
        A_Err code = in.ConsumeBool() ? in.ConsumeIntegral<A_Err>() : A_Err(in.ConsumeIntegralInRange(1, 600));
        if (code == 0) code = PF_Err_INTERNAL_STRUCT_DAMAGED;
        const char* call = in.PickValueInArray(kHostCalls);
        host.faults().FailCall(call, in.ConsumeIntegralInRange(0, 6), code);
        allowed.insert(code);
        break;
      }
      case 1: {
        const SuiteName& s = in.PickValueInArray(kSuites);
        host.faults().RefuseSuite(s.name, s.version, in.ConsumeIntegral<A_Err>(), in.ConsumeIntegralInRange(0, 4));
        break;
      }
      case 2: {
        const SuiteName& s = in.PickValueInArray(kSuites);
        host.faults().NullSuite(s.name, s.version, in.ConsumeIntegralInRange(0, 4));
        break;
      }
      default:
        host.faults().NullBasicSuite(in.ConsumeIntegralInRange(0, 15) == 0);
        break;
    }
  }
}

void SetParams(FuzzedDataProvider& in, Host& host) {
  using namespace zelvan;
  for (PF_ParamIndex i = kParamMode; i <= kParamEasingMode && i < host.params().count(); ++i) {
    if (!in.ConsumeBool()) continue;
    switch (i) {
      case kParamLayer:
        host.params().SetValue(i, in.ConsumeBool() ? 2.0 : double(in.ConsumeIntegral<A_long>()));
        break;
      case kParamTime:
      case kParamWaitingTime:
      case kParamStartPercent:
      case kParamEndPercent:
        // Any 16.16 value the host could hand over.
        host.params().SetValue(i, zelvan::testhost::FromFixed(in.ConsumeIntegral<PF_Fixed>()));
        break;
      case kParamStartSeconds:
      case kParamEndSeconds:
        host.params().SetValue(i, AnyDouble(in));
        break;
      default:  // popups: every code, 0, negative and huge ones included
        host.params().SetValue(i, double(in.ConsumeIntegral<A_long>()));
        break;
    }
  }
  if (in.ConsumeBool() && host.params().count() > kParamTime) {
    host.params().SetKeyframes(kParamTime,
                               {{A_Time{0, 30}, AnyDouble(in) / 1e290}, {AnyTime(in), AnyDouble(in) / 1e290}});
  }
}

void RunCommand(FuzzedDataProvider& in, Host& host, const std::set<A_Err>& allowed) {
  static const PF_Cmd kAnswered[] = {PF_Cmd_ABOUT, PF_Cmd_UPDATE_PARAMS_UI,
                                     PF_Cmd_SMART_PRE_RENDER, PF_Cmd_SMART_RENDER, PF_Cmd_RENDER};
  // Global setup, parameter setup and global setdown frame the session; a
  // host sends each of them once.
  PF_Cmd cmd = in.ConsumeIntegralInRange(0, 3) != 0 ? in.PickValueInArray(kAnswered) : in.ConsumeIntegral<PF_Cmd>();
  if (cmd == PF_Cmd_GLOBAL_SETUP || cmd == PF_Cmd_GLOBAL_SETDOWN || cmd == PF_Cmd_PARAMS_SETUP) cmd = PF_Cmd_ABOUT;

  PF_Err err = PF_Err_NONE;
  if (cmd == PF_Cmd_SMART_PRE_RENDER) {
    FrameRequest request;
    request.time = in.ConsumeIntegral<A_long>();
    request.depth = in.PickValueInArray({zelvan::pixels::Depth::k8, zelvan::pixels::Depth::k16,
                                         zelvan::pixels::Depth::kFloat});
    const bool odd_geometry = in.ConsumeBool();
    const A_long width = in.ConsumeIntegral<A_long>(), height = in.ConsumeIntegral<A_long>();
    const PF_RationalScale dsx{in.ConsumeIntegral<A_long>(), in.ConsumeIntegral<A_u_long>()};
    const PF_RationalScale dsy{in.ConsumeIntegral<A_long>(), in.ConsumeIntegral<A_u_long>()};
    err = host.frames().PreRender(request, [&](PF_InData& in_data, PF_OutData&) {
      if (!odd_geometry) return;
      // The layer's size and downsampling as a broken host might report them.
      in_data.width = width;
      in_data.height = height;
      in_data.downsample_x = dsx;
      in_data.downsample_y = dsy;
    });
  } else if (cmd == PF_Cmd_SMART_RENDER) {
    if (!host.frames().pending()) return;
    const std::size_t copies_before = host.trace().Count("copy");
    err = host.frames().Render();
    const bool copied = host.trace().Count("copy") > copies_before;
    if (err != PF_Err_NONE && !copied && host.frames().last_output_written()) {
      Fail("a failed render wrote its output without copying: " + std::to_string(err));
    }
  } else {
    err = host.Command(cmd);
  }
  if (err != PF_Err_NONE && allowed.count(err) == 0) {
    Fail("command " + std::to_string(cmd) + " returned the unexpected code " + std::to_string(err));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  // The effect's own codes, the host's own refusals passed on (a parameter
  // that was never added cannot be checked out), and every injected code.
  std::set<A_Err> allowed = {PF_Err_OUT_OF_MEMORY, PF_Err_INTERNAL_STRUCT_DAMAGED, PF_Err_INVALID_INDEX,
                             PF_Err_UNRECOGNIZED_PARAM_TYPE, PF_Err_INVALID_CALLBACK, PF_Err_BAD_CALLBACK_PARAM};
  {
    Host host(Plugin());

    // Geometry: worlds stay small so an input costs little; times and rates
    // range over everything the host types can carry.
    auto& comp = host.comp();
    comp.width = in.ConsumeIntegralInRange<A_long>(0, 40);
    comp.height = in.ConsumeIntegralInRange<A_long>(0, 40);
    comp.frame_rate = AnyDouble(in);
    comp.time_scale = in.ConsumeIntegralInRange<A_u_long>(1, 0xFFFFFFFFu);
    comp.effect_layer().width = comp.width;
    comp.effect_layer().height = comp.height;
    host.SetTimeScale(comp.time_scale);
    Layer source;
    source.id = 2;
    source.width = in.ConsumeIntegralInRange<A_long>(0, 40);
    source.height = in.ConsumeIntegralInRange<A_long>(0, 40);
    source.in_point = AnyTime(in);
    source.duration = AnyTime(in);
    source.start_offset = AnyTime(in);
    comp.AddLayer(source);

    ArmFaults(in, host, allowed);
    const PF_Err setup = host.StartSession();
    if (setup != PF_Err_NONE && allowed.count(setup) == 0) Fail("session start returned " + std::to_string(setup));
    SetParams(in, host);

    const int commands = in.ConsumeIntegralInRange(0, 12);
    for (int i = 0; i < commands && in.remaining_bytes() > 0; ++i) RunCommand(in, host, allowed);

    host.frames().Abandon();
    host.faults().Clear();
    host.GlobalSetdown();
    const std::string imbalance = host.accounts().Imbalance();
    if (!imbalance.empty()) Fail("the host's accounts do not balance:\n" + imbalance + "\ncalls:\n" + host.trace().Dump());
  }
  return 0;
}
