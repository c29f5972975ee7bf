// The effect's twelve parameters, one row each, in the order parameter setup
// adds them: all the host is told about a parameter, and where the pre-render
// snapshot keeps its value. Parameter setup, the snapshot and the render tool
// read them from here.
#pragma once

#include <cstddef>

#include "AE_Effect.h"
#include "Params.h"
#include "PreRenderRecord.h"

namespace zelvan {

// In the parameter's user units: percent for the fixed sliders, seconds for
// the float sliders.
struct ParamRange {
  double valid_min, valid_max;
  double slider_min, slider_max;
};

// Where the pre-render snapshot keeps the value: a popup's code, or a number
// (degrees for the angle, a fraction for a percent slider, seconds for a
// float slider).
struct SnapshotField {
  int order;  // 1-based place among pre-render's checkouts; 0: not snapshotted
  A_long PreRenderRecord::*code;
  double PreRenderRecord::*number;
};

struct ParamSpec {
  ParamIndex index;  // also the identifier given to the host
  PF_ParamType type;
  const char* name;
  double dephault;  // popup code, degrees, percent or seconds
  ParamRange range;
  A_short precision;
  A_short display_flags;
  PF_ParamFlags flags;
  // A popup's entries separated by '|', in the order of their codes. Static
  // storage: the host keeps the pointer.
  const char* choices;
  SnapshotField snapshot;
};

inline constexpr ParamRange kNoRange{0.0, 0.0, 0.0, 0.0};
inline constexpr ParamRange kPercent{0.0, 100.0, 0.0, 100.0};
inline constexpr ParamRange kSeconds{0.0, 1000000.0, 0.0, 20.0};
// The easing popups stay expanded; the rest start collapsed.
inline constexpr PF_ParamFlags kCollapsed = PF_ParamFlag_START_COLLAPSED;
inline constexpr A_short kShowPercent = PF_ValueDisplayFlag_PERCENT;

// index, type, name, default, range, precision, display flags, flags, choices, snapshot
inline constexpr ParamSpec kParams[] = {
    {kParamMode, PF_Param_POPUP, "Mode", kModeWhole, kNoRange, 0, 0, kCollapsed,
     "Center|Whole|No Margin|Fit to Layer", {1, &PreRenderRecord::placementMode, nullptr}},
    {kParamLayer, PF_Param_LAYER, "Layer", 0, kNoRange, 0, 0, kCollapsed, nullptr, {0, nullptr, nullptr}},
    {kParamType, PF_Param_POPUP, "Type", kLoopCycle, kNoRange, 0, 0, kCollapsed, "Cycle|Pingpong",
     {2, &PreRenderRecord::loopType, nullptr}},
    {kParamTime, PF_Param_ANGLE, "Time", 0, kNoRange, 0, 0, kCollapsed, nullptr,
     {3, nullptr, &PreRenderRecord::timeAngle}},
    {kParamWaitingTime, PF_Param_FIX_SLIDER, "Waiting Time", 0, kPercent, 1, kShowPercent, kCollapsed, nullptr,
     {4, nullptr, &PreRenderRecord::waitingFraction}},
    {kParamRangeType, PF_Param_POPUP, "Range Type", kRangePercent, kNoRange, 0, 0, kCollapsed, "Percent|Second",
     {7, &PreRenderRecord::rangeType, nullptr}},
    {kParamStartPercent, PF_Param_FIX_SLIDER, "Start Time(%)", 0, kPercent, 2, kShowPercent, kCollapsed, nullptr,
     {8, nullptr, &PreRenderRecord::rangeStartFraction}},
    {kParamEndPercent, PF_Param_FIX_SLIDER, "End Time(%)", 100, kPercent, 2, kShowPercent, kCollapsed, nullptr,
     {9, nullptr, &PreRenderRecord::rangeEndFraction}},
    {kParamStartSeconds, PF_Param_FLOAT_SLIDER, "Start Time(sec)", 0, kSeconds, 2, 0, kCollapsed, nullptr,
     {10, nullptr, &PreRenderRecord::rangeStartSeconds}},
    {kParamEndSeconds, PF_Param_FLOAT_SLIDER, "End Time(sec)", 10, kSeconds, 2, 0, kCollapsed, nullptr,
     {11, nullptr, &PreRenderRecord::rangeEndSeconds}},
    {kParamEasingType, PF_Param_POPUP, "Easing Type", 1, kNoRange, 0, 0, 0,
     "Linear|Quad|Cubic|Quart|Quint|Expo|Circ|Sine|Bounce", {5, &PreRenderRecord::easingType, nullptr}},
    {kParamEasingMode, PF_Param_POPUP, "Easing Mode", 3, kNoRange, 0, 0, 0, "In|Out|InOut",
     {6, &PreRenderRecord::easingMode, nullptr}},
};
inline constexpr std::size_t kParamRows = sizeof kParams / sizeof kParams[0];
static_assert(kParamRows + 1 == kParamCount, "a row for every parameter but the input layer");

// A popup's number of entries: one more than its separators.
constexpr A_short ChoiceCount(const char* choices) {
  A_short count = 1;
  for (const char* c = choices; *c != '\0'; ++c) count = A_short(count + (*c == '|' ? 1 : 0));
  return count;
}

// The row of a parameter the effect adds; null for the input layer (index 0)
// and for indices beyond the last.
constexpr const ParamSpec* FindParam(PF_ParamIndex index) {
  for (const ParamSpec& p : kParams) {
    if (p.index == index) return &p;
  }
  return nullptr;
}

// How many parameters the pre-render snapshot holds.
constexpr int SnapshotCount() {
  int n = 0;
  for (const ParamSpec& p : kParams) n += p.snapshot.order != 0 ? 1 : 0;
  return n;
}

// The table's own rules: rows in index order from 1; choices for popups
// only; a snapshot place for each snapshotted row, each place once, a code
// field for popups and a number field for the rest; fixed sliders shown as
// percent, which the snapshot turns into fractions.
constexpr bool TableIsSound() {
  for (std::size_t i = 0; i < kParamRows; ++i) {
    const ParamSpec& p = kParams[i];
    if (p.index != PF_ParamIndex(i + 1)) return false;
    if ((p.type == PF_Param_POPUP) != (p.choices != nullptr)) return false;
    if (p.type == PF_Param_FIX_SLIDER && p.display_flags != kShowPercent) return false;
    const SnapshotField& f = p.snapshot;
    if (f.order == 0) continue;
    if ((p.type == PF_Param_POPUP) != (f.code != nullptr) || (f.code == nullptr) == (f.number == nullptr)) return false;
    int same_place = 0;
    for (const ParamSpec& q : kParams) same_place += q.snapshot.order == f.order ? 1 : 0;
    if (same_place != 1 || f.order > SnapshotCount()) return false;
  }
  return true;
}
static_assert(TableIsSound(), "see TableIsSound");

// A checked-out parameter's value in the host's own units: a popup's code,
// the 16.16 value of an angle or fixed slider, a float slider's value; 0 for
// a layer.
double HostValue(const ParamSpec& spec, const PF_ParamDef& def);

}  // namespace zelvan
