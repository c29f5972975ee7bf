// Parameter setup and the parameter-UI update through the loaded binary: the
// definitions exactly as the host received them, and the show/hide of the
// range fields by "Range Type".
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "PluginSession.h"

namespace {

using zelvan::testhost::HostFixture;
using zelvan::testhost::PluginSession;

PF_ParamDef Base(PF_ParamType type, const char* name, A_long id, bool collapsed) {
  PF_ParamDef d;
  std::memset(&d, 0, sizeof d);
  d.param_type = type;
  std::strcpy(d.name, name);
  d.uu.id = id;
  d.flags = collapsed ? PF_ParamFlag_START_COLLAPSED : 0;
  return d;
}

PF_ParamDef Popup(const char* name, A_long id, A_short choices, A_short dflt, bool collapsed) {
  PF_ParamDef d = Base(PF_Param_POPUP, name, id, collapsed);
  d.u.pd.value = dflt;
  d.u.pd.num_choices = choices;
  d.u.pd.dephault = dflt;
  return d;
}

PF_ParamDef Percent(const char* name, A_long id, PF_Fixed dflt, A_short precision) {
  PF_ParamDef d = Base(PF_Param_FIX_SLIDER, name, id, true);
  d.u.fd.value = dflt;
  d.u.fd.valid_min = 0;
  d.u.fd.valid_max = 6553600;
  d.u.fd.slider_min = 0;
  d.u.fd.slider_max = 6553600;
  d.u.fd.dephault = dflt;
  d.u.fd.precision = precision;
  d.u.fd.display_flags = PF_ValueDisplayFlag_PERCENT;
  return d;
}

PF_ParamDef Seconds(const char* name, A_long id, float dflt) {
  PF_ParamDef d = Base(PF_Param_FLOAT_SLIDER, name, id, true);
  d.u.fs_d.value = dflt;
  d.u.fs_d.valid_min = 0.0f;
  d.u.fs_d.valid_max = 1000000.0f;
  d.u.fs_d.slider_min = 0.0f;
  d.u.fs_d.slider_max = 20.0f;
  d.u.fs_d.dephault = dflt;
  d.u.fs_d.precision = 2;
  d.u.fs_d.curve_tolerance = 0.05f;
  return d;
}

class ParamsSetupTest : public PluginSession {
 protected:
  // Byte for byte as the host received it: every field not named stays 0.
  void ExpectDefinition(PF_ParamIndex index, PF_ParamDef expected, const char* choices = nullptr) {
    SCOPED_TRACE("parameter " + std::to_string(index));
    PF_ParamDef actual = host().params().at(index).def;  // the host's stored copy
    EXPECT_EQ(host().params().Name(index), std::string(expected.name));
    EXPECT_EQ(actual.param_type, expected.param_type);
    EXPECT_EQ(actual.uu.id, expected.uu.id);
    EXPECT_EQ(actual.flags, expected.flags);
    EXPECT_EQ(actual.ui_flags, 0);
    EXPECT_EQ(actual.ui_width, 0);
    EXPECT_EQ(actual.ui_height, 0);
    if (choices != nullptr) {
      EXPECT_EQ(host().params().Choices(index), choices);
      EXPECT_EQ(actual.u.pd.value, expected.u.pd.value);
      EXPECT_EQ(actual.u.pd.num_choices, expected.u.pd.num_choices);
      EXPECT_EQ(actual.u.pd.dephault, expected.u.pd.dephault);
    }
    EXPECT_EQ(std::memcmp(&actual, &expected, sizeof actual), 0) << "some field differs from the table";
  }
};

TEST_F(ParamsSetupTest, HostReportsThirteenParameters) {
  EXPECT_EQ(host().params().count(), 13);
  EXPECT_EQ(host().learned().num_params_reported, 13);
}

TEST_F(ParamsSetupTest, EveryDefinitionAsTheHostReceivedIt) {
  ExpectDefinition(1, Popup("Mode", 1, 4, 2, true), "Center|Whole|No Margin|Fit to Layer");
  PF_ParamDef layer = Base(PF_Param_LAYER, "Layer", 2, true);
  ExpectDefinition(2, layer);
  EXPECT_EQ(host().params().at(2).def.u.ld.dephault, 0);
  ExpectDefinition(3, Popup("Type", 3, 2, 1, true), "Cycle|Pingpong");
  ExpectDefinition(4, Base(PF_Param_ANGLE, "Time", 4, true));
  ExpectDefinition(5, Percent("Waiting Time", 5, 0, 1));
  ExpectDefinition(6, Popup("Range Type", 6, 2, 1, true), "Percent|Second");
  ExpectDefinition(7, Percent("Start Time(%)", 7, 0, 2));
  ExpectDefinition(8, Percent("End Time(%)", 8, 6553600, 2));
  ExpectDefinition(9, Seconds("Start Time(sec)", 9, 0.0f));
  ExpectDefinition(10, Seconds("End Time(sec)", 10, 10.0f));
  ExpectDefinition(11, Popup("Easing Type", 11, 9, 1, false), "Linear|Quad|Cubic|Quart|Quint|Expo|Circ|Sine|Bounce");
  ExpectDefinition(12, Popup("Easing Mode", 12, 3, 3, false), "In|Out|InOut");
}

TEST_F(ParamsSetupTest, CurveToleranceHasItsExactBits) {
  uint32_t bits = 0;
  std::memcpy(&bits, &host().params().at(9).def.u.fs_d.curve_tolerance, sizeof bits);
  EXPECT_EQ(bits, 0x3D4CCCCDu);
}

TEST_F(ParamsSetupTest, ParametersAreAppendedInOrderWithoutAnySuite) {
  const auto adds = host().trace().LinesOf("add_param");
  ASSERT_EQ(adds.size(), 12u);
  EXPECT_EQ(adds[0], "add_param index=-1 type=7 name=\"Mode\"");
  EXPECT_EQ(adds[1], "add_param index=-1 type=0 name=\"Layer\"");
  EXPECT_EQ(adds[3], "add_param index=-1 type=3 name=\"Time\"");
  EXPECT_EQ(adds[9], "add_param index=-1 type=10 name=\"End Time(sec)\"");
  EXPECT_EQ(adds[11], "add_param index=-1 type=7 name=\"Easing Mode\"");
  EXPECT_EQ(CommandLinesOf("AcquireSuite").size(), 0u);
  EXPECT_EQ(CommandLinesOf("strcpy").size(), 12u);
}

class ParamsSetupFailure : public HostFixture {};

TEST_F(ParamsSetupFailure, AddParamFailingAtTypeAddsNothingMore) {
  ASSERT_EQ(host().GlobalSetup(), PF_Err_NONE);
  host().faults().FailCall("add_param", 1, 0x0C0C, "name=\"Type\"");
  EXPECT_EQ(host().ParamsSetup(), 0x0C0C);
  EXPECT_EQ(host().params().count(), 3);  // input, "Mode", "Layer"
  EXPECT_EQ(host().trace().Count("add_param"), 3u);
  EXPECT_EQ(host().out_data().num_params, 1) << "num_params keeps the host's value";
  EXPECT_FALSE(host().learned().num_params_reported.has_value());
  EXPECT_EQ(host().GlobalSetdown(), PF_Err_NONE);
}

TEST_F(ParamsSetupFailure, FirstAddParamFailingReturnsAtOnce) {
  host().faults().FailCall("add_param", 1, PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(host().ParamsSetup(), PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(host().params().count(), 1);
}

class UpdateParamsUITest : public PluginSession {
 protected:
  void ExpectShown(bool percent_shown) {
    EXPECT_EQ(host().params().Hidden(7), !percent_shown);
    EXPECT_EQ(host().params().Hidden(8), !percent_shown);
    EXPECT_EQ(host().params().Hidden(9), percent_shown);
    EXPECT_EQ(host().params().Hidden(10), percent_shown);
  }
  std::vector<std::string> FlagCalls() { return CommandLinesOf("AEGP_SetDynamicStreamFlag"); }
};

TEST_F(UpdateParamsUITest, AllControlsStartVisible) {
  for (PF_ParamIndex i = 1; i <= 12; ++i) EXPECT_FALSE(host().params().Hidden(i)) << i;
}

TEST_F(UpdateParamsUITest, DefaultsShowPercentAndHideSeconds) {
  ASSERT_EQ(host().UpdateParamsUI(), PF_Err_NONE);
  ExpectShown(true);
  EXPECT_EQ(FlagCalls(), (std::vector<std::string>{"AEGP_SetDynamicStreamFlag index=7 flag=2 undoable=0 set=0",
                                                   "AEGP_SetDynamicStreamFlag index=8 flag=2 undoable=0 set=0",
                                                   "AEGP_SetDynamicStreamFlag index=9 flag=2 undoable=0 set=1",
                                                   "AEGP_SetDynamicStreamFlag index=10 flag=2 undoable=0 set=1"}));
  EXPECT_NE(host().out_data().out_flags & PF_OutFlag_REFRESH_UI, 0);
  EXPECT_EQ(CommandLinesOf("AEGP_GetNewEffectForEffect").size(), 1u);
  EXPECT_EQ(CommandLinesOf("AEGP_DisposeEffect").size(), 1u);
  EXPECT_EQ(CommandLinesOf("AEGP_DisposeStream").size(), 4u);
}

TEST_F(UpdateParamsUITest, EveryStreamIsTakenAndDisposedInOrder) {
  ASSERT_EQ(host().UpdateParamsUI(), PF_Err_NONE);
  const std::vector<std::string> per_index = {"AEGP_GetNewEffectStreamByIndex", "AEGP_SetDynamicStreamFlag",
                                              "AEGP_DisposeStream"};
  ASSERT_EQ(CommandLinesOf("AEGP_GetNewEffectStreamByIndex"),
            (std::vector<std::string>{"AEGP_GetNewEffectStreamByIndex index=7", "AEGP_GetNewEffectStreamByIndex index=8",
                                      "AEGP_GetNewEffectStreamByIndex index=9",
                                      "AEGP_GetNewEffectStreamByIndex index=10"}));
  const std::vector<std::string> lines = CommandLines();
  std::vector<std::string> functions;
  for (const std::string& line : lines) {
    const std::string f = line.substr(0, line.find(' '));
    if (f.rfind("AEGP_", 0) == 0) functions.push_back(f);
  }
  std::vector<std::string> expected = {"AEGP_GetNewEffectForEffect"};
  for (int i = 0; i < 4; ++i) expected.insert(expected.end(), per_index.begin(), per_index.end());
  expected.push_back("AEGP_DisposeEffect");
  EXPECT_EQ(functions, expected);
}

TEST_F(UpdateParamsUITest, RangeTypeTogglesBothWaysAndRepeatsTheSameCalls) {
  ASSERT_EQ(host().UpdateParamsUI(), PF_Err_NONE);
  host().params().SetValue(6, 2);
  ASSERT_EQ(host().UpdateParamsUI(), PF_Err_NONE);
  ExpectShown(false);
  EXPECT_EQ(FlagCalls(), (std::vector<std::string>{"AEGP_SetDynamicStreamFlag index=7 flag=2 undoable=0 set=1",
                                                   "AEGP_SetDynamicStreamFlag index=8 flag=2 undoable=0 set=1",
                                                   "AEGP_SetDynamicStreamFlag index=9 flag=2 undoable=0 set=0",
                                                   "AEGP_SetDynamicStreamFlag index=10 flag=2 undoable=0 set=0"}));
  const std::vector<std::string> second = FlagCalls();
  ASSERT_EQ(host().UpdateParamsUI(), PF_Err_NONE);
  EXPECT_EQ(FlagCalls(), second) << "an unchanged value makes the same four calls again";
  ExpectShown(false);
  host().params().SetValue(6, 1);
  ASSERT_EQ(host().UpdateParamsUI(), PF_Err_NONE);
  ExpectShown(true);
}

TEST_F(UpdateParamsUITest, RangeTypeReadAtTheCurrentTime) {
  host().params().SetKeyframes(6, {{{0, 30}, 1.0}, {{30, 30}, 2.0}});
  host().SetTime(45);
  ASSERT_EQ(host().UpdateParamsUI(), PF_Err_NONE);
  ExpectShown(false);
}

TEST_F(UpdateParamsUITest, OutOfRangeValueTouchesNoControlButStillCleansUp) {
  ASSERT_EQ(host().UpdateParamsUI(), PF_Err_NONE);
  for (double value : {0.0, 3.0, -1.0}) {
    host().params().SetValue(6, value);
    ASSERT_EQ(host().UpdateParamsUI(), PF_Err_NONE);
    EXPECT_TRUE(FlagCalls().empty());
    EXPECT_EQ(CommandLinesOf("AEGP_GetNewEffectStreamByIndex").size(), 0u);
    EXPECT_EQ(CommandLinesOf("AEGP_DisposeEffect").size(), 1u);
    EXPECT_NE(host().out_data().out_flags & PF_OutFlag_REFRESH_UI, 0);
    ExpectShown(true);
  }
}

TEST_F(UpdateParamsUITest, StreamFailingAtIndex7SkipsTheRestAndStillDisposes) {
  host().faults().FailCall("AEGP_GetNewEffectStreamByIndex", 1, 0x707, "index=7");
  EXPECT_EQ(host().UpdateParamsUI(), 0x707);
  EXPECT_EQ(CommandLinesOf("AEGP_GetNewEffectStreamByIndex").size(), 1u);
  EXPECT_TRUE(FlagCalls().empty());
  EXPECT_EQ(CommandLinesOf("AEGP_DisposeStream").size(), 0u);
  EXPECT_EQ(CommandLinesOf("AEGP_DisposeEffect").size(), 1u);
  EXPECT_NE(host().out_data().out_flags & PF_OutFlag_REFRESH_UI, 0);
}

TEST_F(UpdateParamsUITest, FlagFailingAtIndex7DisposesItsStreamAndSkipsTheRest) {
  host().faults().FailCall("AEGP_SetDynamicStreamFlag", 1, 0x717, "index=7");
  EXPECT_EQ(host().UpdateParamsUI(), 0x717);
  EXPECT_EQ(CommandLinesOf("AEGP_GetNewEffectStreamByIndex").size(), 1u);
  EXPECT_EQ(CommandLinesOf("AEGP_DisposeStream"), std::vector<std::string>{"AEGP_DisposeStream index=7"});
  EXPECT_EQ(CommandLinesOf("AEGP_DisposeEffect").size(), 1u);
}

TEST_F(UpdateParamsUITest, FailureAtIndex9KeepsTheFirstError) {
  host().faults().FailCall("AEGP_SetDynamicStreamFlag", 1, 0x919, "index=9");
  host().faults().FailCall("AEGP_DisposeEffect", 1, 0x999);
  EXPECT_EQ(host().UpdateParamsUI(), 0x919);
  EXPECT_EQ(FlagCalls().size(), 3u);
  EXPECT_EQ(CommandLinesOf("AEGP_DisposeStream").size(), 3u);
  EXPECT_FALSE(host().params().Hidden(7));
}

TEST_F(UpdateParamsUITest, EffectReferenceRefusedEndsWithItsCode) {
  host().faults().FailCall("AEGP_GetNewEffectForEffect", 1, 0x321);
  EXPECT_EQ(host().UpdateParamsUI(), 0x321);
  EXPECT_EQ(CommandLinesOf("AEGP_GetNewEffectStreamByIndex").size(), 0u);
  EXPECT_EQ(CommandLinesOf("AEGP_DisposeEffect").size(), 0u);
  EXPECT_NE(host().out_data().out_flags & PF_OutFlag_REFRESH_UI, 0);
}

TEST_F(UpdateParamsUITest, DisposeEffectErrorIsReturnedWhenNoneBefore) {
  host().faults().FailCall("AEGP_DisposeEffect", 1, 0x444);
  EXPECT_EQ(host().UpdateParamsUI(), 0x444);
  ExpectShown(true);
}

TEST_F(UpdateParamsUITest, DisposeStreamErrorIsRecordedAndStopsTheRest) {
  host().faults().FailCall("AEGP_DisposeStream", 1, 0x455);
  EXPECT_EQ(host().UpdateParamsUI(), 0x455);
  EXPECT_EQ(CommandLinesOf("AEGP_GetNewEffectStreamByIndex").size(), 1u);
  EXPECT_EQ(CommandLinesOf("AEGP_DisposeEffect").size(), 1u);
}

TEST_F(UpdateParamsUITest, MissingGlobalDataIsAnErrorAndTouchesNoControl) {
  const PF_Err err = host().UpdateParamsUI([](PF_InData& in, PF_OutData&) { in.global_data = nullptr; });
  EXPECT_EQ(err, PF_Err_INTERNAL_STRUCT_DAMAGED);
  for (const std::string& line : CommandLines()) EXPECT_EQ(line.rfind("AEGP_", 0), std::string::npos) << line;
  for (PF_ParamIndex i = 7; i <= 10; ++i) EXPECT_FALSE(host().params().Hidden(i));
}

TEST_F(UpdateParamsUITest, RefusedSuiteReturns516AndLeavesNothingBehind) {
  const std::pair<const char*, A_long> suites[] = {{"AEGP PF Interface Suite", 1},
                                                   {"AEGP Effect Suite", 2},
                                                   {"AEGP Stream Suite", 9},
                                                   {"AEGP Dynamic Stream Suite", 5}};
  for (const auto& [name, version] : suites) {
    SCOPED_TRACE(name);
    host().faults().Clear();
    host().faults().RefuseSuite(name, version, 0x1);
    EXPECT_EQ(host().UpdateParamsUI(), PF_Err_BAD_CALLBACK_PARAM);
    for (auto r : {zelvan::testhost::Resource::EffectRef, zelvan::testhost::Resource::Stream}) {
      EXPECT_EQ(host().accounts().OpenCount(r), 0) << zelvan::testhost::ResourceName(r);
    }
  }
  host().faults().Clear();
}

TEST_F(UpdateParamsUITest, ShortParameterArrayChangesNoControl) {
  // The array ends before "Range Type", by its count or by a null entry; the
  // effect reference is still given back and the controls redrawn.
  using zelvan::testhost::Host;
  const std::function<void(Host&, PF_InData&)> shorten[] = {
      [](Host&, PF_InData& in) { in.num_params = 6; },
      [](Host& h, PF_InData&) { h.command_params()[6] = nullptr; },
  };
  for (const auto& cut : shorten) {
    Host* h = &host();
    ASSERT_EQ(host().UpdateParamsUI([&cut, h](PF_InData& in, PF_OutData&) { cut(*h, in); }), PF_Err_NONE);
    EXPECT_TRUE(CommandLinesOf("AEGP_GetNewEffectStreamByIndex").empty());
    EXPECT_EQ(CommandLinesOf("AEGP_DisposeEffect").size(), 1u);
    EXPECT_NE(host().out_data().out_flags & PF_OutFlag_REFRESH_UI, 0);
  }
}

TEST_F(UpdateParamsUITest, NullBasicSuiteReturns516) {
  host().faults().NullBasicSuite();
  EXPECT_EQ(host().UpdateParamsUI(), PF_Err_BAD_CALLBACK_PARAM);
  host().faults().NullBasicSuite(false);
}

TEST_F(UpdateParamsUITest, ManyUpdatesStayBalanced) {
  for (int i = 0; i < 100; ++i) {
    host().params().SetValue(6, 1 + i % 2);
    ASSERT_EQ(host().UpdateParamsUI(), PF_Err_NONE);
  }
  EXPECT_EQ(host().accounts().OpenCount(zelvan::testhost::Resource::Stream), 0);
  EXPECT_EQ(host().accounts().Opened(zelvan::testhost::Resource::Stream), 400);
}

}  // namespace
