// The composition model and the AEGP calls a render makes, answered by the host.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "Host.h"
#include "LayerFrames.h"
#include "PixelWorld.h"
#include "SimulatedContext.h"
#include "Suites.h"

namespace {

using namespace zelvan::testhost;

class CompositionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PF_ParamDef mode{};
    mode.param_type = PF_Param_POPUP;
    mode.uu.id = 1;
    mode.u.pd.value = 1;
    mode.u.pd.num_choices = 2;
    mode.u.pd.dephault = 1;
    mode.u.pd.u_names = "A|B";
    PF_ParamDef layer{};
    layer.param_type = PF_Param_LAYER;
    layer.uu.id = 2;
    ASSERT_EQ(host.params().Add(-1, mode), PF_Err_NONE);
    ASSERT_EQ(host.params().Add(-1, layer), PF_Err_NONE);
    Layer source;
    source.id = 5;
    source.width = 640;
    source.height = 360;
    source.in_point = {60, 30};
    source.duration = {300, 30};
    source.start_offset = {30, 30};
    host.comp().AddLayer(source);
    {
      SimulatedCommand setup(host, PF_Cmd_GLOBAL_SETUP);
      ASSERT_EQ(kUtilitySuite7.AEGP_RegisterWithAEGP(nullptr, "t", &plugin_id), 0);
    }
    // The calls below are those of a render.
    render.emplace(host, PF_Cmd_SMART_RENDER);
  }
  void TearDown() override {
    render.reset();
    if (expect_balanced) {
      EXPECT_EQ(host.accounts().Imbalance(), "") << host.trace().Dump();
    }
  }

  Host host;
  std::optional<SimulatedCommand> render;
  AEGP_PluginID plugin_id = 0;
  bool expect_balanced = true;
};

TEST_F(CompositionTest, EffectLayerItsCompositionAndFrameRate) {
  AEGP_LayerH layer = nullptr;
  ASSERT_EQ(kPFInterfaceSuite1.AEGP_GetEffectLayer(host.effect_ref(), &layer), 0);
  EXPECT_EQ(host.comp().FromHandle(layer), &host.comp().effect_layer());
  EXPECT_EQ(host.comp().effect_layer().id, 1);
  AEGP_CompH comp = nullptr;
  ASSERT_EQ(kLayerSuite13.AEGP_GetLayerParentComp(layer, &comp), 0);
  EXPECT_EQ(comp, host.comp().handle());
  A_FpLong fps = 0.0;
  ASSERT_EQ(kCompSuite15.AEGP_GetCompFramerate(comp, &fps), 0);
  EXPECT_EQ(fps, 30.0);
  for (double odd : {0.0, -24.0, std::numeric_limits<double>::quiet_NaN()}) {
    host.comp().frame_rate = odd;
    ASSERT_EQ(kCompSuite15.AEGP_GetCompFramerate(comp, &fps), 0);
    EXPECT_TRUE(std::isnan(odd) ? std::isnan(fps) : fps == odd);
  }
}

TEST_F(CompositionTest, LayerByIdentifierAndItsTiming) {
  AEGP_LayerH layer = nullptr;
  ASSERT_EQ(kLayerSuite13.AEGP_GetLayerFromLayerID(host.comp().handle(), 5, &layer), 0);
  A_Time in{}, duration{};
  ASSERT_EQ(kLayerSuite13.AEGP_GetLayerInPoint(layer, AEGP_LTimeMode_CompTime, &in), 0);
  EXPECT_EQ(in.value, 60);
  EXPECT_EQ(in.scale, 30u);
  ASSERT_EQ(kLayerSuite13.AEGP_GetLayerInPoint(layer, AEGP_LTimeMode_LayerTime, &in), 0);
  EXPECT_EQ(in.value, 30);
  ASSERT_EQ(kLayerSuite13.AEGP_GetLayerDuration(layer, AEGP_LTimeMode_CompTime, &duration), 0);
  EXPECT_EQ(duration.value, 300);
  EXPECT_NE(kLayerSuite13.AEGP_GetLayerFromLayerID(host.comp().handle(), 99, &layer), 0);
  EXPECT_EQ(host.trace().LinesOf("AEGP_GetLayerInPoint")[0], "AEGP_GetLayerInPoint layer=5 mode=1");
}

TEST_F(CompositionTest, CompToLayerTimeSubtractsTheStartOffsetInTheSameScale) {
  host.comp().effect_layer().start_offset = {10, 30};
  AEGP_LayerH layer = nullptr;
  ASSERT_EQ(kPFInterfaceSuite1.AEGP_GetEffectLayer(host.effect_ref(), &layer), 0);
  const A_Time comp_time{135, 30};
  A_Time layer_time{};
  ASSERT_EQ(kLayerSuite13.AEGP_ConvertCompToLayerTime(layer, &comp_time, &layer_time), 0);
  EXPECT_EQ(layer_time.value, 125);
  EXPECT_EQ(layer_time.scale, 30u);
  const A_Time fine{4500, 1000};  // the offset converted into the time's own scale
  ASSERT_EQ(kLayerSuite13.AEGP_ConvertCompToLayerTime(layer, &fine, &layer_time), 0);
  EXPECT_EQ(layer_time.value, 4500 - 333);
}

TEST_F(CompositionTest, LayerParameterStreamValueCarriesTheChosenLayer) {
  AEGP_EffectRefH effect = nullptr;
  ASSERT_EQ(kPFInterfaceSuite1.AEGP_GetNewEffectForEffect(plugin_id, host.effect_ref(), &effect), 0);
  AEGP_StreamRefH stream = nullptr;
  ASSERT_EQ(kStreamSuite9.AEGP_GetNewEffectStreamByIndex(plugin_id, effect, 2, &stream), 0);
  const A_Time t{0, 30};
  AEGP_StreamValue2 value{};
  ASSERT_EQ(kStreamSuite9.AEGP_GetNewStreamValue(plugin_id, stream, AEGP_LTimeMode_LayerTime, &t, 0, &value), 0);
  EXPECT_EQ(value.val.layer_id, 0);  // no layer chosen
  EXPECT_EQ(value.streamH, stream);
  ASSERT_EQ(kStreamSuite9.AEGP_DisposeStreamValue(&value), 0);
  host.params().SetValue(2, 5);
  ASSERT_EQ(kStreamSuite9.AEGP_GetNewStreamValue(plugin_id, stream, AEGP_LTimeMode_LayerTime, &t, 0, &value), 0);
  EXPECT_EQ(value.val.layer_id, 5);
  EXPECT_NE(host.accounts().Imbalance(), "");
  ASSERT_EQ(kStreamSuite9.AEGP_DisposeStreamValue(&value), 0);
  ASSERT_EQ(kStreamSuite9.AEGP_DisposeStream(stream), 0);
  ASSERT_EQ(kEffectSuite2.AEGP_DisposeEffect(effect), 0);
}

TEST_F(CompositionTest, LayerCheckoutGivesTheFrameAtThatTimeOrNoPixels) {
  host.params().SetValue(2, 5);
  PF_InData& in = host.PrepareInData();
  PF_ParamDef def{};
  // Effect layer time 90/30 = comp 3 s; layer 5 shows from 2 s, its own time is 2 s: frame 60.
  ASSERT_EQ(in.inter.checkout_param(in.effect_ref, 2, 90, 1, 30, &def), PF_Err_NONE);
  ASSERT_NE(def.u.ld.data, nullptr);
  EXPECT_EQ(def.u.ld.width, 640);
  EXPECT_EQ(def.u.ld.height, 360);
  EXPECT_EQ(zelvan::pixels::ReadFrameStamp(def.u.ld).frame, 60);
  ASSERT_EQ(in.inter.checkin_param(in.effect_ref, &def), PF_Err_NONE);
  // Before the in-point and at the end of the span there are no pixels, yet a checkout to give back.
  for (A_long t : {59, 360}) {
    PF_ParamDef outside{};
    ASSERT_EQ(in.inter.checkout_param(in.effect_ref, 2, t, 1, 30, &outside), PF_Err_NONE);
    EXPECT_EQ(outside.u.ld.data, nullptr) << t;
    ASSERT_EQ(in.inter.checkin_param(in.effect_ref, &outside), PF_Err_NONE);
  }
}

TEST_F(CompositionTest, LayerCheckoutFollowsDownsamplingDepthAndFrameSource) {
  host.params().SetValue(2, 5);
  host.SetDownsample({1, 3}, {1, 2});
  host.comp().Find(5)->source = [](PF_EffectWorld& world, A_long frame) {
    zelvan::pixels::FillRect(world, nullptr, zelvan::pixels::Color{1.0f, float(frame) / 1000.0f, 0.0f, 0.0f});
  };
  PF_InData& in = host.PrepareInData();
  PF_ParamDef def{};
  ASSERT_EQ(in.inter.checkout_param(in.effect_ref, 2, 75, 1, 30, &def), PF_Err_NONE);
  ASSERT_NE(def.u.ld.data, nullptr);
  EXPECT_EQ(def.u.ld.width, 213);  // 640 / 3 = 213.33, rounded half up
  EXPECT_EQ(def.u.ld.height, 180);
  EXPECT_NEAR(zelvan::pixels::GetPixel(def.u.ld, 0, 0).red, 45.0 / 1000.0, 1.0 / 255.0);
  ASSERT_EQ(in.inter.checkin_param(in.effect_ref, &def), PF_Err_NONE);
}

TEST(OutputArea, AllTheResultWithExtraPixelsOtherwiseWhatWasAsked) {
  const PF_LRect request = zelvan::MakeRect(16, 0, 48, 36), result = zelvan::MakeRect(-6, -6, 70, 42);
  const auto text = [](const PF_LRect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
  };
  EXPECT_EQ(text(OutputArea(request, result, PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS)), "-6,-6,70,42");
  EXPECT_EQ(text(OutputArea(request, result, 0)), "16,0,48,36");
  EXPECT_EQ(text(OutputArea(request, zelvan::MakeRect(60, 40, 90, 50), 0)), "0,0,0,0");
}

TEST_F(CompositionTest, FrameNumbersAndSpans) {
  const Layer& l = *host.comp().Find(5);
  EXPECT_FALSE(Composition::Shows(l, {59, 30}));
  EXPECT_TRUE(Composition::Shows(l, {60, 30}));
  EXPECT_TRUE(Composition::Shows(l, {359, 30}));
  EXPECT_FALSE(Composition::Shows(l, {360, 30}));
  EXPECT_EQ(host.comp().FrameAt(l, {60, 30}), 30);
  host.comp().frame_rate = 30000.0 / 1001.0;
  EXPECT_EQ(host.comp().FrameAt(l, {2030, 1000}), 30);  // 1.03 s of layer time at 29.97 fps
}

TEST_F(CompositionTest, ForeignHandlesAreRefused) {
  int junk = 0;
  A_FpLong fps = 0.0;
  EXPECT_NE(kCompSuite15.AEGP_GetCompFramerate(reinterpret_cast<AEGP_CompH>(&junk), &fps), 0);
  AEGP_CompH comp = nullptr;
  EXPECT_NE(kLayerSuite13.AEGP_GetLayerParentComp(reinterpret_cast<AEGP_LayerH>(&junk), &comp), 0);
  EXPECT_NE(host.accounts().Imbalance().find("did not hand out"), std::string::npos);
  expect_balanced = false;  // the misuse stays on record
}

}  // namespace
