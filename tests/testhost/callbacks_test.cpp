// The callbacks and AEGP suites as the host answers them, called directly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "Host.h"
#include "SimulatedContext.h"
#include "Suites.h"

namespace {

using zelvan::testhost::CopyCall;
using zelvan::testhost::Host;
using zelvan::testhost::Keyframe;
using zelvan::testhost::ParamCheckoutCall;
using zelvan::testhost::SimulatedCommand;

PF_ParamDef Popup(const char* name, A_long id, A_short choices, A_short dflt, const char* text) {
  PF_ParamDef def{};
  def.param_type = PF_Param_POPUP;
  def.uu.id = id;
  std::strcpy(def.name, name);
  def.u.pd.value = dflt;
  def.u.pd.num_choices = choices;
  def.u.pd.dephault = dflt;
  def.u.pd.u_names = text;
  return def;
}

PF_ParamDef Angle(const char* name, A_long id) {
  PF_ParamDef def{};
  def.param_type = PF_Param_ANGLE;
  def.uu.id = id;
  std::strcpy(def.name, name);
  return def;
}

TEST(Ansi, SprintfFormatsForReal) {
  Host host;
  PF_InData& in = host.PrepareInData();
  char buffer[64];
  EXPECT_EQ(in.utils->ansi.sprintf(buffer, "%s, v%d.%d%d\r%s", "X", 1, 0, 0, "n"), 10);
  EXPECT_STREQ(buffer, "X, v1.00\rn");
  EXPECT_EQ(host.trace().Lines()[0], "sprintf dest=other format=\"%s, v%d.%d%d\\r%s\"");
}

TEST(Ansi, SprintfIntoReturnMessageIsBoundedAndTheCutReported) {
  Host host;
  PF_InData& in = host.PrepareInData();
  PF_OutData& out = host.PrepareOutData();
  const std::string long_text(300, 'x');
  in.utils->ansi.sprintf(out.return_msg, "%s", long_text.c_str());
  EXPECT_EQ(std::strlen(out.return_msg), 255u);
  EXPECT_NE(host.accounts().Imbalance().find("sprintf into return_msg needed 301 bytes, has 256"), std::string::npos);
}

TEST(Ansi, StrcpyAndMath) {
  Host host;
  PF_InData& in = host.PrepareInData();
  char name[32];
  EXPECT_EQ(in.utils->ansi.strcpy(name, "Mode"), name);
  EXPECT_STREQ(name, "Mode");
  EXPECT_EQ(in.utils->ansi.fmod(-90.0, 360.0), std::fmod(-90.0, 360.0));
  EXPECT_EQ(in.utils->ansi.fmod(725.0, 720.0), 5.0);
  EXPECT_EQ(in.utils->ansi.sqrt(16.0), 4.0);
  EXPECT_EQ(in.utils->ansi.pow(2.0, 10.0), 1024.0);
  EXPECT_EQ(host.trace().Count("fmod"), 2u);
  EXPECT_EQ(host.trace().LinesOf("fmod")[1], "fmod x=725 y=720");
}

TEST(InData, CarriesTheHostsCallbacksTimeAndResolution) {
  Host host;
  host.SetTime(45, 2);
  host.SetTimeScale(30);
  host.SetDownsample({1, 2}, {1, 3});
  PF_InData& in = host.PrepareInData();
  EXPECT_EQ(in.current_time, 45);
  EXPECT_EQ(in.time_step, 2);
  EXPECT_EQ(in.time_scale, 30u);
  EXPECT_EQ(in.width, 1920);
  EXPECT_EQ(in.height, 1080);
  EXPECT_EQ(in.downsample_x.num, 1);
  EXPECT_EQ(in.downsample_x.den, 2u);
  EXPECT_EQ(in.downsample_y.den, 3u);
  EXPECT_EQ(in.effect_ref, host.effect_ref());
  EXPECT_EQ(in.pica_basicP, host.basic_suite());
  EXPECT_NE(in.inter.add_param, nullptr);
  EXPECT_NE(in.utils->copy, nullptr);
  EXPECT_EQ(in.num_params, 1);
  host.faults().NullBasicSuite();
  EXPECT_EQ(host.PrepareInData().pica_basicP, nullptr);
}

TEST(Params, AddParamOutsideParameterSetupIsRefused) {
  Host host;
  PF_InData& in = host.PrepareInData();
  PF_ParamDef def = Angle("Time", 1);
  EXPECT_EQ(in.inter.add_param(in.effect_ref, -1, &def), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_NE(host.accounts().Imbalance().find("add_param outside parameter setup"), std::string::npos);
}

PF_ParamDef FixedSlider(A_long id, double valid_max, double slider_max, double dflt) {
  PF_ParamDef def{};
  def.param_type = PF_Param_FIX_SLIDER;
  def.uu.id = id;
  def.u.fd.valid_max = zelvan::testhost::ToFixed(valid_max);
  def.u.fd.slider_max = zelvan::testhost::ToFixed(slider_max);
  def.u.fd.dephault = def.u.fd.value = zelvan::testhost::ToFixed(dflt);
  return def;
}

PF_ParamDef FloatSlider(A_long id, float valid_min, float slider_min, float dflt) {
  PF_ParamDef def{};
  def.param_type = PF_Param_FLOAT_SLIDER;
  def.uu.id = id;
  def.u.fs_d.valid_min = valid_min;
  def.u.fs_d.slider_min = slider_min;
  def.u.fs_d.valid_max = def.u.fs_d.slider_max = 100.0f;
  def.u.fs_d.dephault = dflt;
  return def;
}

// Definitions a host refuses, each after the sound ones before it; the last
// is added in a second parameter setup of the same host.
struct BadDefinitionCase {
  const char* name;
  std::vector<std::vector<PF_ParamDef>> setups;
  const char* finding;
};

const BadDefinitionCase kBadDefinitions[] = {
    {"ChoiceCountIsNotTheNumberOfChoices", {{Popup("Mode", 1, 3, 1, "A|B")}}, "a choice count of 3 for 2 choices"},
    {"DefaultChoiceOutOfRange", {{Popup("Mode", 1, 2, 3, "A|B")}}, "a default choice 3 outside 1 to 2"},
    {"FixedSliderRangeBeyondTheValidRange", {{FixedSlider(1, 100, 200, 0)}}, "a slider range outside its valid range"},
    {"FixedDefaultOutOfRange", {{FixedSlider(1, 100, 100, 150)}}, "a default outside its valid range"},
    {"FloatSliderRangeBelowTheValidRange", {{FloatSlider(1, 0.0f, -1.0f, 0.0f)}},
     "a slider range outside its valid range"},
    {"FloatDefaultNotANumber", {{FloatSlider(1, 0.0f, 0.0f, std::numeric_limits<float>::quiet_NaN())}},
     "a default outside its valid range"},
    {"IdentifierTaken", {{Angle("Time", 1), Angle("Angle", 1)}}, "identifier 1, which parameter 1 has"},
    {"IdentifierOfTheInputLayer", {{Angle("Time", 0)}}, "identifier 0, which parameter 0 has"},
    {"IdentifierChangedBetweenSetups", {{Angle("Time", 1)}, {Angle("Time", 7)}},
     "where an earlier setup gave 1 and 3"},
};

class BadDefinitionTest : public ::testing::TestWithParam<BadDefinitionCase> {};

TEST_P(BadDefinitionTest, AddParamRefusesItAndTheHostRecordsWhy) {
  const BadDefinitionCase& c = GetParam();
  Host host;
  PF_InData& in = host.PrepareInData();
  PF_Err last = PF_Err_NONE;
  for (const std::vector<PF_ParamDef>& setup : c.setups) {
    SimulatedCommand params(host, PF_Cmd_PARAMS_SETUP);
    for (PF_ParamDef def : setup) last = in.inter.add_param(in.effect_ref, -1, &def);
  }
  EXPECT_EQ(last, PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_NE(host.accounts().Imbalance().find(c.finding), std::string::npos) << host.accounts().Imbalance();
}

INSTANTIATE_TEST_SUITE_P(EachCheck, BadDefinitionTest, ::testing::ValuesIn(kBadDefinitions),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Params, ModelKeepsItsOwnCopyOfTheDefinitionAndChoices) {
  Host host;
  char text[] = "A|B|C";
  ASSERT_EQ(host.params().Add(-1, Popup("Mode", 1, 3, 2, text)), PF_Err_NONE);
  text[0] = 'Z';
  EXPECT_EQ(host.params().Choices(1), "A|B|C");
  EXPECT_STREQ(host.params().Definition(1).u.pd.u_names, "A|B|C");
  EXPECT_EQ(host.params().Name(1), "Mode");
  EXPECT_EQ(host.params().count(), 2);
  EXPECT_EQ(host.params().Add(5, Angle("x", 2)), PF_Err_INVALID_INDEX);
}

TEST(Params, CheckoutGivesTheValueAtTheTimeAndCheckinBalances) {
  Host host;
  ASSERT_EQ(host.params().Add(-1, Popup("Type", 1, 2, 1, "Cycle|Pingpong")), PF_Err_NONE);
  ASSERT_EQ(host.params().Add(-1, Angle("Time", 2)), PF_Err_NONE);
  host.params().SetKeyframes(2, {Keyframe{{0, 30}, 0.0}, Keyframe{{30, 30}, 360.0}});
  host.params().SetKeyframes(1, {Keyframe{{0, 30}, 1.0}, Keyframe{{30, 30}, 2.0}});
  PF_InData& in = host.PrepareInData();
  SimulatedCommand render(host, PF_Cmd_SMART_RENDER);
  PF_ParamDef angle{}, popup{};
  ASSERT_EQ(in.inter.checkout_param(in.effect_ref, 2, 15, 1, 30, &angle), PF_Err_NONE);
  EXPECT_EQ(angle.u.ad.value, 180 * 65536);  // linear between keys
  ASSERT_EQ(in.inter.checkout_param(in.effect_ref, 1, 29, 1, 30, &popup), PF_Err_NONE);
  EXPECT_EQ(popup.u.pd.value, 1);  // popups hold until the next key
  EXPECT_EQ(host.accounts().OpenCount(zelvan::testhost::Resource::ParamCheckout), 2);
  EXPECT_EQ(in.inter.checkin_param(in.effect_ref, &angle), PF_Err_NONE);
  EXPECT_EQ(in.inter.checkin_param(in.effect_ref, &popup), PF_Err_NONE);
  EXPECT_EQ(host.accounts().Imbalance(), "");
  PF_ParamDef late{};
  ASSERT_EQ(in.inter.checkout_param(in.effect_ref, 2, 60, 1, 30, &late), PF_Err_NONE);
  EXPECT_EQ(late.u.ad.value, 360 * 65536);  // held after the last key
  EXPECT_EQ(host.accounts().Imbalance(), "parameter checkout #3 (index 2 at time 60) never given back");
  EXPECT_EQ(in.inter.checkin_param(in.effect_ref, &late), PF_Err_NONE);
  EXPECT_NE(in.inter.checkin_param(in.effect_ref, &late), PF_Err_NONE);
}

TEST(Params, CheckoutOfAnUnknownIndexFails) {
  Host host;
  PF_InData& in = host.PrepareInData();
  SimulatedCommand render(host, PF_Cmd_SMART_RENDER);
  PF_ParamDef def{};
  EXPECT_EQ(in.inter.checkout_param(in.effect_ref, 7, 0, 1, 30, &def), PF_Err_INVALID_INDEX);
  EXPECT_EQ(host.accounts().Imbalance(), "");
}

TEST(Params, FixedSliderPercentIsExact) {
  Host host;
  PF_ParamDef def{};
  def.param_type = PF_Param_FIX_SLIDER;
  def.uu.id = 1;
  def.u.fd.valid_max = def.u.fd.slider_max = 100 << 16;
  ASSERT_EQ(host.params().Add(-1, def), PF_Err_NONE);
  host.params().SetValue(1, 100.0);
  EXPECT_EQ(host.params().DefinitionAt(1, 0.0).u.fd.value, 6553600);
}

// Writes down what the host tells it, one line a notification.
struct Watcher : zelvan::testhost::HostObserver {
  std::vector<std::string> seen;
  void ParamCheckoutStarting(const ParamCheckoutCall& c) noexcept override {
    seen.push_back("starting index=" + std::to_string(c.index) + " time=" + std::to_string(c.time));
  }
  void ParamCheckedOut(const ParamCheckoutCall& c) noexcept override {
    seen.push_back("checked out index=" + std::to_string(c.index) + " step=" + std::to_string(c.time_step) +
                   " scale=" + std::to_string(c.time_scale) + " result=" + std::to_string(c.result) +
                   " angle=" + std::to_string(c.def->u.ad.value >> 16));
  }
  void Copied(const CopyCall& c) noexcept override {
    seen.push_back("copied " + std::to_string(c.src->width) + "x" + std::to_string(c.dst->height) +
                   " src_rect=" + (c.src_rect ? std::to_string(c.src_rect->right) : "whole") +
                   " dst_rect=" + (c.dst_rect ? std::to_string(c.dst_rect->right) : "whole") +
                   " result=" + std::to_string(c.result));
  }
};

TEST(Observer, HearsEachParameterCheckoutAndCopyWithItsResultUntilItGoes) {
  Host host;
  ASSERT_EQ(host.params().Add(-1, Angle("Time", 1)), PF_Err_NONE);
  host.params().SetValue(1, 90.0);
  Watcher watcher;
  host.SetObserver(&watcher);
  PF_InData& in = host.PrepareInData();
  SimulatedCommand render(host, PF_Cmd_SMART_RENDER);
  PF_ParamDef def{};
  ASSERT_EQ(in.inter.checkout_param(in.effect_ref, 1, 15, 2, 30, &def), PF_Err_NONE);
  EXPECT_EQ(in.inter.checkout_param(in.effect_ref, 7, 0, 1, 30, &def), PF_Err_INVALID_INDEX);
  EXPECT_EQ(in.inter.checkin_param(in.effect_ref, &def), PF_Err_NONE);
  zelvan::pixels::PixelWorld src(4, 3, zelvan::pixels::Depth::k8, 0), dst(4, 3, zelvan::pixels::Depth::k8, 0);
  PF_Rect half{0, 0, 2, 3};
  EXPECT_EQ(in.utils->copy(in.effect_ref, src.world(), dst.world(), &half, nullptr), PF_Err_NONE);
  host.faults().FailCall("copy", 1, 77);
  EXPECT_EQ(in.utils->copy(in.effect_ref, src.world(), dst.world(), nullptr, nullptr), 77);
  host.SetObserver(nullptr);
  EXPECT_EQ(in.utils->copy(in.effect_ref, src.world(), dst.world(), nullptr, nullptr), PF_Err_NONE);
  EXPECT_EQ(watcher.seen, (std::vector<std::string>{
                              "starting index=1 time=15",
                              "checked out index=1 step=2 scale=30 result=0 angle=90",
                              "starting index=7 time=0",
                              "checked out index=7 step=1 scale=30 result=" + std::to_string(PF_Err_INVALID_INDEX) +
                                  " angle=90",
                              "copied 4x3 src_rect=2 dst_rect=whole result=0",
                              "copied 4x3 src_rect=whole dst_rect=whole result=77",
                          }));
}

// Registration as global setup makes it.
AEGP_PluginID Register(Host& host) {
  SimulatedCommand setup(host, PF_Cmd_GLOBAL_SETUP);
  AEGP_PluginID id = 0;
  EXPECT_EQ(zelvan::testhost::kUtilitySuite7.AEGP_RegisterWithAEGP(nullptr, "t", &id), 0);
  return id;
}

TEST(Streams, HiddenFlagFollowsSetDynamicStreamFlag) {
  Host host;
  ASSERT_EQ(host.params().Add(-1, Angle("Time", 1)), PF_Err_NONE);
  const AEGP_PluginID id = Register(host);
  SimulatedCommand update(host, PF_Cmd_UPDATE_PARAMS_UI);
  AEGP_EffectRefH effect = nullptr;
  ASSERT_EQ(zelvan::testhost::kPFInterfaceSuite1.AEGP_GetNewEffectForEffect(id, host.effect_ref(), &effect), 0);
  AEGP_StreamRefH stream = nullptr;
  ASSERT_EQ(zelvan::testhost::kStreamSuite9.AEGP_GetNewEffectStreamByIndex(id, effect, 1, &stream), 0);
  EXPECT_EQ(zelvan::testhost::kStreamSuite9.AEGP_GetNewEffectStreamByIndex(id, effect, 9, &stream),
            PF_Err_INVALID_INDEX);
  EXPECT_FALSE(host.params().Hidden(1));
  ASSERT_EQ(zelvan::testhost::kDynamicStreamSuite5.AEGP_SetDynamicStreamFlag(stream, AEGP_DynStreamFlag_HIDDEN, 0, 1), 0);
  EXPECT_TRUE(host.params().Hidden(1));
  ASSERT_EQ(zelvan::testhost::kDynamicStreamSuite5.AEGP_SetDynamicStreamFlag(stream, AEGP_DynStreamFlag_HIDDEN, 0, 0), 0);
  EXPECT_FALSE(host.params().Hidden(1));
  EXPECT_EQ(host.trace().LinesOf("AEGP_SetDynamicStreamFlag")[0],
            "AEGP_SetDynamicStreamFlag index=1 flag=2 undoable=0 set=1");
  EXPECT_NE(host.accounts().Imbalance(), "");
  EXPECT_EQ(zelvan::testhost::kStreamSuite9.AEGP_DisposeStream(stream), 0);
  EXPECT_EQ(zelvan::testhost::kEffectSuite2.AEGP_DisposeEffect(effect), 0);
  EXPECT_EQ(host.accounts().Imbalance(), "");
}

TEST(Streams, FaultedDisposalStillDisposes) {
  Host host;
  const AEGP_PluginID id = Register(host);
  AEGP_EffectRefH effect = nullptr;
  ASSERT_EQ(zelvan::testhost::kPFInterfaceSuite1.AEGP_GetNewEffectForEffect(id, host.effect_ref(), &effect), 0);
  host.faults().FailCall("AEGP_DisposeEffect", 1, 77);
  EXPECT_EQ(zelvan::testhost::kEffectSuite2.AEGP_DisposeEffect(effect), 77);
  EXPECT_EQ(host.accounts().Imbalance(), "");
}

TEST(Streams, UnregisteredPluginIdentifierIsRefused) {
  Host host;
  AEGP_EffectRefH effect = nullptr;
  EXPECT_NE(zelvan::testhost::kPFInterfaceSuite1.AEGP_GetNewEffectForEffect(12345, host.effect_ref(), &effect), 0);
  EXPECT_EQ(effect, nullptr);
}

}  // namespace
