// The host's accounts, faults and trace, driven through its own suites.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Callbacks.h"
#include "Host.h"
#include "HostFixture.h"
#include "SimulatedContext.h"
#include "Suites.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZELVAN_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZELVAN_TEST_ASAN 1
#endif
#endif

namespace {

using zelvan::testhost::Accounts;
using zelvan::testhost::Host;
using zelvan::testhost::kHandleSuite2;
using zelvan::testhost::Resource;
using zelvan::testhost::SimulatedCommand;
using zelvan::testhost::SimulatedRelease;
using zelvan::testhost::SmartRenderCallbacks;

TEST(Accounts, BalancedWhenNothingWasHandedOut) {
  Host host;
  EXPECT_EQ(host.accounts().Imbalance(), "");
}

TEST(Accounts, NamesAHandleNeverDisposed) {
  Host host;
  PF_Handle a = kHandleSuite2.host_new_handle(4);
  PF_Handle b = kHandleSuite2.host_new_handle(16);
  ASSERT_NE(kHandleSuite2.host_lock_handle(b), nullptr);
  kHandleSuite2.host_dispose_handle(a);
  EXPECT_EQ(host.accounts().Imbalance(), "handle #2 (16 bytes) never disposed, still locked (depth 1)");
  kHandleSuite2.host_unlock_handle(b);
  kHandleSuite2.host_dispose_handle(b);
  EXPECT_EQ(host.accounts().Imbalance(), "");
}

TEST(Accounts, NamesASuiteNeverReleased) {
  Host host;
  const void* suite = nullptr;
  ASSERT_EQ(host.basic_suite()->AcquireSuite("AEGP Layer Suite", 13, &suite), 0);
  EXPECT_EQ(host.accounts().Imbalance(), "suite 'AEGP Layer Suite' 13 acquired 1 time(s), released 0");
  ASSERT_EQ(host.basic_suite()->ReleaseSuite("AEGP Layer Suite", 13), 0);
  EXPECT_EQ(host.accounts().Imbalance(), "");
}

TEST(Accounts, ReleaseWithoutAcquisitionIsAViolation) {
  Host host;
  EXPECT_NE(host.basic_suite()->ReleaseSuite("PF Handle Suite", 2), 0);
  EXPECT_NE(host.accounts().Imbalance().find("ReleaseSuite 'PF Handle Suite' 2 without a matching acquisition"),
            std::string::npos)
      << host.accounts().Imbalance();
}

TEST(Accounts, MisusedHandlesAreNamed) {
  Host host;
  PF_Handle h = kHandleSuite2.host_new_handle(8);
  kHandleSuite2.host_unlock_handle(h);
  kHandleSuite2.host_dispose_handle(h);
  kHandleSuite2.host_dispose_handle(h);
  const std::string findings = host.accounts().Imbalance();
  EXPECT_NE(findings.find("host_unlock_handle of handle #1 that is not locked"), std::string::npos) << findings;
  EXPECT_NE(findings.find("host_dispose_handle of a handle that is not live"), std::string::npos) << findings;
}

TEST(Accounts, HandlesAreZeroedExactSizeAndLockNests) {
  Host host;
  PF_Handle h = kHandleSuite2.host_new_handle(12);
  const zelvan::testhost::HandleTable::Record* record = host.accounts().handles().Find(h);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(kHandleSuite2.host_get_handle_size(h), 12u);
  auto* bytes = static_cast<unsigned char*>(kHandleSuite2.host_lock_handle(h));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(bytes[i], 0);
  EXPECT_EQ(*h, bytes);  // the handle points at the block's master pointer
  EXPECT_EQ(kHandleSuite2.host_lock_handle(h), bytes);
  EXPECT_EQ(record->lock_depth, 2);
  kHandleSuite2.host_unlock_handle(h);
  kHandleSuite2.host_unlock_handle(h);
  EXPECT_EQ(record->lock_depth, 0);
  kHandleSuite2.host_dispose_handle(h);
  EXPECT_EQ(host.accounts().handles().live(), 0u);
  EXPECT_EQ(host.accounts().Imbalance(), "");
}

TEST(Accounts, PerCommandObjectsHeldPastTheirCommandAreNamedOnce) {
  Accounts accounts;
  const int serial = accounts.Open(Resource::Stream, "parameter 7", 3);
  accounts.Open(Resource::EffectRef, "from somewhere", 4);
  accounts.CommandEnded(3, "#3 UPDATE_PARAMS_UI");
  accounts.CommandEnded(3, "#3 UPDATE_PARAMS_UI");
  EXPECT_EQ(accounts.Imbalance(),
            "stream #1 (parameter 7) still held when command #3 UPDATE_PARAMS_UI returned\n"
            "effect reference #1 (from somewhere) never given back");
  EXPECT_TRUE(accounts.Close(Resource::Stream, serial));
  EXPECT_FALSE(accounts.Close(Resource::Stream, serial));
}

// Each misuse of handles and contexts a host would not accept, provoked
// once: the host records it, so the test that made it fails.
struct MisuseCase {
  const char* name;
  std::function<void(Host&)> misuse;
  const char* finding;  // null where the address sanitizer makes the finding itself
};

// Handle calls as a render makes them.
PF_Handle LockedHandle(Host& host) {
  SimulatedCommand render(host, PF_Cmd_SMART_RENDER);
  PF_Handle h = kHandleSuite2.host_new_handle(8);
  kHandleSuite2.host_lock_handle(h);
  return h;
}

// A render whose copy callback first scribbles where the effect may not
// write: into the source (the effect's input, when no layer is chosen) or
// into the row padding of the destination (its output).
enum class Scribble { Input, OutputPadding };
PF_UtilCallbacks g_real_utils;
Scribble g_scribble;
PF_Err ScribblingCopy(PF_ProgPtr ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* sr, PF_Rect* dr) {
  auto* target = static_cast<unsigned char*>(static_cast<void*>(g_scribble == Scribble::Input ? src->data : dst->data));
  const auto row = static_cast<std::size_t>(dst->width) * 4;  // 8-bit pixels
  target[g_scribble == Scribble::Input ? 0 : row] ^= 0xFF;
  return g_real_utils.copy(ref, src, dst, sr, dr);
}
void RenderScribbling(Host& host, Scribble where) {
  ASSERT_EQ(host.StartSession(), PF_Err_NONE);
  ASSERT_EQ(host.frames().PreRender(zelvan::testhost::FrameRequest{}), PF_Err_NONE);
  g_scribble = where;
  EXPECT_EQ(host.frames().Render([](PF_InData& in, PF_OutData&) {
    g_real_utils = *in.utils;
    static PF_UtilCallbacks scribbling;
    scribbling = *in.utils;
    scribbling.copy = ScribblingCopy;
    in.utils = &scribbling;
  }), PF_Err_NONE);
  host.GlobalSetdown();
}

const MisuseCase kMisuses[] = {
    {"EffectWritesIntoItsInput", [](Host& host) { RenderScribbling(host, Scribble::Input); },
     "the effect wrote into its input (checkout 0)"},
    {"EffectWritesIntoASolidInput",
     [](Host& host) {
       host.comp().effect_layer().solid = zelvan::pixels::Color{1.0f, 0.2f, 0.4f, 0.6f};
       RenderScribbling(host, Scribble::Input);
     },
     "the effect wrote into its input (checkout 0)"},
    {"EffectWritesIntoTheOutputsRowPadding", [](Host& host) { RenderScribbling(host, Scribble::OutputPadding); },
     "the effect wrote into the row padding of its output"},
    {"DisposeLockedHandle",
     [](Host& host) {
       SimulatedCommand render(host, PF_Cmd_SMART_RENDER);
       kHandleSuite2.host_dispose_handle(kHandleSuite2.host_new_handle(8));
       PF_Handle h = kHandleSuite2.host_new_handle(8);
       kHandleSuite2.host_lock_handle(h);
       kHandleSuite2.host_dispose_handle(h);
     },
     "host_dispose_handle of handle #2 while it is locked (depth 1)"},
    {"LockLeftWhenTheCommandReturns",
     [](Host& host) {
       PF_Handle h = LockedHandle(host);
       SimulatedCommand next(host, PF_Cmd_SMART_RENDER);
       kHandleSuite2.host_unlock_handle(h);
       kHandleSuite2.host_dispose_handle(h);
     },
     "handle #1 still locked (depth 1) when command #1 SMART_RENDER returned"},
    {"PointerKeptAcrossAnUnlock",
     [](Host& host) {
       SimulatedCommand render(host, PF_Cmd_SMART_RENDER);
       PF_Handle h = kHandleSuite2.host_new_handle(8);
       auto* stale = static_cast<unsigned char*>(kHandleSuite2.host_lock_handle(h));
       kHandleSuite2.host_unlock_handle(h);
       EXPECT_NE(*h, stale) << "the block moved";
#ifdef ZELVAN_TEST_ASAN
       EXPECT_DEATH(stale[3] = 1, "use-after-poison");  // the sanitizer makes the finding
#else
       stale[3] = 1;
#endif
       kHandleSuite2.host_dispose_handle(h);
     },
#ifdef ZELVAN_TEST_ASAN
     nullptr},
#else
     "handle #1: a block it moved from was written through a pointer kept across an unlock"},
#endif
    {"HandleUsedAfterItsDisposal",
     [](Host& host) {
       SimulatedCommand render(host, PF_Cmd_SMART_RENDER);
       PF_Handle h = kHandleSuite2.host_new_handle(8);
       kHandleSuite2.host_dispose_handle(h);
       kHandleSuite2.host_lock_handle(h);
     },
     "host_lock_handle of a handle that is not live (#1 (disposed))"},
    {"ParameterCheckoutInGlobalSetup",
     [](Host& host) {
       SimulatedCommand setup(host, PF_Cmd_GLOBAL_SETUP);
       PF_InData& in = host.PrepareInData();
       PF_ParamDef def{};
       in.inter.checkout_param(in.effect_ref, 0, 0, 1, 30, &def);
     },
     "checkout_param outside a render or the parameter commands (called in #1 GLOBAL_SETUP)"},
    {"DynamicStreamFlagInARender",
     [](Host& host) {
       SimulatedCommand render(host, PF_Cmd_SMART_RENDER);
       zelvan::testhost::kDynamicStreamSuite5.AEGP_SetDynamicStreamFlag(nullptr, AEGP_DynStreamFlag_HIDDEN, 0, 1);
     },
     "AEGP_SetDynamicStreamFlag outside the parameter-UI update (called in #1 SMART_RENDER)"},
    {"RegistrationInAParameterUpdate",
     [](Host& host) {
       SimulatedCommand update(host, PF_Cmd_UPDATE_PARAMS_UI);
       AEGP_PluginID id = 0;
       zelvan::testhost::kUtilitySuite7.AEGP_RegisterWithAEGP(nullptr, "t", &id);
     },
     "AEGP_RegisterWithAEGP outside global setup (called in #1 UPDATE_PARAMS_UI)"},
    {"CallOfACommandAfterItReturned",
     [](Host& host) {
       // The effect kept parameter setup's in-data and adds to it later.
       ASSERT_EQ(host.ParamsSetup(), PF_Err_NONE);
       const PF_InData in = host.in_data();
       PF_ParamDef def{};
       def.param_type = PF_Param_ANGLE;
       def.uu.id = 13;
       EXPECT_EQ(in.inter.add_param(in.effect_ref, -1, &def), PF_Err_BAD_CALLBACK_PARAM);
     },
     "add_param outside parameter setup (called in (none))"},
    {"SuiteOutsideAnyCommand",
     [](Host& host) {
       const void* suite = nullptr;
       EXPECT_NE(host.basic_suite()->AcquireSuite("PF Handle Suite", 2, &suite), 0);
     },
     "AcquireSuite outside any command (called in (none))"},
    // The render's worlds exist only in smart render; pre-render has none to give.
    {"LayerPixelsCheckedOutInSmartPreRender",
     [](Host& host) {
       SimulatedCommand pre(host, PF_Cmd_SMART_PRE_RENDER);
       PF_EffectWorld* pixels = nullptr;
       SmartRenderCallbacks().checkout_layer_pixels(host.effect_ref(), 1, &pixels);
     },
     "checkout_layer_pixels outside smart render (called in #1 SMART_PRE_RENDER)"},
    {"LayerPixelsCheckedInInSmartPreRender",
     [](Host& host) {
       SimulatedCommand pre(host, PF_Cmd_SMART_PRE_RENDER);
       SmartRenderCallbacks().checkin_layer_pixels(host.effect_ref(), 1);
     },
     "checkin_layer_pixels outside smart render (called in #1 SMART_PRE_RENDER)"},
    {"OutputCheckedOutInSmartPreRender",
     [](Host& host) {
       SimulatedCommand pre(host, PF_Cmd_SMART_PRE_RENDER);
       PF_EffectWorld* output = nullptr;
       SmartRenderCallbacks().checkout_output(host.effect_ref(), &output);
     },
     "checkout_output outside smart render (called in #1 SMART_PRE_RENDER)"},
    {"SuiteCallWhileReleasingPreRenderData",
     [](Host& host) {
       SimulatedRelease release(host);
       AEGP_LayerH layer = nullptr;
       EXPECT_NE(zelvan::testhost::kPFInterfaceSuite1.AEGP_GetEffectLayer(host.effect_ref(), &layer), 0);
     },
     "AEGP_GetEffectLayer outside any command (called in the release of pre-render data)"},
    {"OtherSuiteWhileReleasingPreRenderData",
     [](Host& host) {
       SimulatedRelease release(host);
       const void* suite = nullptr;
       EXPECT_NE(host.basic_suite()->AcquireSuite("AEGP Layer Suite", 13, &suite), 0);
     },
     "AcquireSuite 'AEGP Layer Suite' 13 in the release of pre-render data, which may use the handle suite only"},
};

class MisuseTest : public ::testing::TestWithParam<MisuseCase> {};

TEST_P(MisuseTest, IsRecorded) {
  // With the plug-in loaded, as in every test of it: outside commands the
  // host serves it nothing but what it calls it for.
  Host host(zelvan::testhost::PluginPath());
  GetParam().misuse(host);
  if (GetParam().finding != nullptr) {
    EXPECT_NE(host.accounts().Imbalance().find(GetParam().finding), std::string::npos) << host.accounts().Imbalance();
  }
}

INSTANTIATE_TEST_SUITE_P(EachMisuse, MisuseTest, ::testing::ValuesIn(kMisuses),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Faults, NthCallOfAFunctionFailsWithTheCode) {
  Host host;
  host.faults().FailCall("host_new_handle", 2, 0);
  PF_Handle first = kHandleSuite2.host_new_handle(4);
  PF_Handle second = kHandleSuite2.host_new_handle(4);
  PF_Handle third = kHandleSuite2.host_new_handle(4);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr);
  kHandleSuite2.host_dispose_handle(first);
  kHandleSuite2.host_dispose_handle(third);
  EXPECT_TRUE(host.trace().entries()[1].failed_by_fault);
  EXPECT_EQ(host.accounts().Imbalance(), "");
}

TEST(Faults, EveryCallFailsWithNthZero) {
  Host host;
  host.faults().FailLockHandle(0);
  PF_Handle h = kHandleSuite2.host_new_handle(4);
  EXPECT_EQ(kHandleSuite2.host_lock_handle(h), nullptr);
  EXPECT_EQ(kHandleSuite2.host_lock_handle(h), nullptr);
  kHandleSuite2.host_dispose_handle(h);
}

TEST(Faults, ArgumentFilterCountsOnlyMatchingCalls) {
  Host host;
  host.faults().FailCall("host_new_handle", 1, 0, "size=8");
  PF_Handle a = kHandleSuite2.host_new_handle(4);
  PF_Handle b = kHandleSuite2.host_new_handle(8);
  PF_Handle c = kHandleSuite2.host_new_handle(8);
  EXPECT_NE(a, nullptr);
  EXPECT_EQ(b, nullptr);
  EXPECT_NE(c, nullptr);
  kHandleSuite2.host_dispose_handle(a);
  kHandleSuite2.host_dispose_handle(c);
}

TEST(Faults, RefusedSuiteAnswersItsCodeAndNullSuiteAnswersZeroWithNull) {
  Host host;
  host.faults().RefuseSuite("AEGP Comp Suite", 15, 1234, 2);
  host.faults().NullSuite("AEGP Effect Suite", 2);
  const void* suite = nullptr;
  EXPECT_EQ(host.basic_suite()->AcquireSuite("AEGP Comp Suite", 15, &suite), 0);
  EXPECT_EQ(host.basic_suite()->AcquireSuite("AEGP Comp Suite", 15, &suite), 1234);
  EXPECT_EQ(host.basic_suite()->ReleaseSuite("AEGP Comp Suite", 15), 0);
  suite = &host;
  EXPECT_EQ(host.basic_suite()->AcquireSuite("AEGP Effect Suite", 2, &suite), 0);
  EXPECT_EQ(suite, nullptr);
  EXPECT_EQ(host.accounts().Imbalance(), "");
}

TEST(Faults, UnknownSuitesAreRefusedAndNamesAreExact) {
  Host host;
  const void* suite = nullptr;
  EXPECT_EQ(host.basic_suite()->AcquireSuite("PF Handle Suite", 1, &suite), zelvan::testhost::kSuiteNotFound);
  EXPECT_EQ(host.basic_suite()->AcquireSuite("PF handle Suite", 2, &suite), zelvan::testhost::kSuiteNotFound);
  EXPECT_EQ(host.basic_suite()->AcquireSuite("PF Handle Suite ", 2, &suite), zelvan::testhost::kSuiteNotFound);
  EXPECT_EQ(suite, nullptr);
}

TEST(Trace, RecordsCallsInOrderWithArguments) {
  Host host;
  const void* suite = nullptr;
  host.basic_suite()->AcquireSuite("PF Handle Suite", 2, &suite);
  PF_Handle h = kHandleSuite2.host_new_handle(4);
  kHandleSuite2.host_dispose_handle(h);
  host.basic_suite()->ReleaseSuite("PF Handle Suite", 2);
  EXPECT_EQ(host.trace().Lines(),
            (std::vector<std::string>{"AcquireSuite PF Handle Suite 2", "host_new_handle size=4",
                                      "host_dispose_handle #1", "ReleaseSuite PF Handle Suite 2"}));
  EXPECT_EQ(host.trace().Count("host_new_handle"), 1u);
  EXPECT_EQ(host.trace().Find("host_dispose_handle #1"), 2u);
  EXPECT_EQ(host.trace().Lines(2).size(), 2u);
  EXPECT_EQ(host.trace().entries()[0].command, 0);  // outside any command
}

TEST(Host, CommandsNeedAPlugin) {
  Host host;
  EXPECT_THROW(host.About(), std::logic_error);
  EXPECT_THROW(host.module(), std::logic_error);
}

TEST(Host, CallsWithoutAServingHostFail) {
  const int before = zelvan::testhost::OrphanCalls();
  EXPECT_EQ(kHandleSuite2.host_new_handle(4), nullptr);
  EXPECT_EQ(zelvan::testhost::OrphanCalls(), before + 1);
}

}  // namespace
