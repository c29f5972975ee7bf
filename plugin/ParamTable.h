// The effect's twelve parameters, one row each, in the order parameter setup
// adds them: all the host is told about a parameter, which range type shows
// it, where the pre-render snapshot keeps its value, and the names the render
// tool gives it. Parameter setup, the parameter-UI update, the snapshot and
// the render tool read them from here.
#pragma once

#include <cstddef>

#include "AE_Effect.h"
#include "FixedPoint.h"
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

// The render tool's names: the parameter's field among a scene's "params"
// (the start and end of both range types share theirs, the range type
// picking the row), a popup's entries as a scene writes them ('|' between,
// in the order of their codes), and its key among a report frame's
// "params" (null: not reported).
struct ToolNames {
  const char* field;
  const char* choices;
  const char* report;
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
  // The range type whose start and end this is: the parameter-UI update
  // shows the row under that type only. kEveryRange: always shown.
  A_long range_type;
  SnapshotField snapshot;
  ToolNames tool;
};

inline constexpr ParamRange kNoRange{0.0, 0.0, 0.0, 0.0};
inline constexpr ParamRange kPercent{0.0, 100.0, 0.0, 100.0};
inline constexpr ParamRange kSeconds{0.0, 1000000.0, 0.0, 20.0};
// The easing popups stay expanded; the rest start collapsed.
inline constexpr PF_ParamFlags kCollapsed = PF_ParamFlag_START_COLLAPSED;
inline constexpr A_short kShowPercent = PF_ValueDisplayFlag_PERCENT;

inline constexpr A_long kEveryRange = 0;

// index, type, name, default, range, precision, display flags, flags, choices, range type, snapshot, tool names
inline constexpr ParamSpec kParams[] = {
    {kParamMode, PF_Param_POPUP, "Mode", kModeWhole, kNoRange, 0, 0, kCollapsed,
     "Center|Whole|No Margin|Fit to Layer", kEveryRange, {1, &PreRenderRecord::placementMode, nullptr},
     {"mode", "center|whole|no-margin|fit", "mode"}},
    {kParamLayer, PF_Param_LAYER, "Layer", 0, kNoRange, 0, 0, kCollapsed, nullptr, kEveryRange, {0, nullptr, nullptr},
     {"layer", nullptr, nullptr}},
    {kParamType, PF_Param_POPUP, "Type", kLoopCycle, kNoRange, 0, 0, kCollapsed, "Cycle|Pingpong", kEveryRange,
     {2, &PreRenderRecord::loopType, nullptr}, {"type", "cycle|pingpong", "type"}},
    {kParamTime, PF_Param_ANGLE, "Time", 0, kNoRange, 0, 0, kCollapsed, nullptr, kEveryRange,
     {3, nullptr, &PreRenderRecord::timeAngle}, {"time", nullptr, "time_fixed"}},
    {kParamWaitingTime, PF_Param_FIX_SLIDER, "Waiting Time", 0, kPercent, 1, kShowPercent, kCollapsed, nullptr,
     kEveryRange, {4, nullptr, &PreRenderRecord::waitingFraction}, {"waiting", nullptr, "waiting_fixed"}},
    {kParamRangeType, PF_Param_POPUP, "Range Type", kRangePercent, kNoRange, 0, 0, kCollapsed, "Percent|Second",
     kEveryRange, {7, &PreRenderRecord::rangeType, nullptr}, {"range", "percent|second", "range_type"}},
    {kParamStartPercent, PF_Param_FIX_SLIDER, "Start Time(%)", 0, kPercent, 2, kShowPercent, kCollapsed, nullptr,
     kRangePercent, {8, nullptr, &PreRenderRecord::rangeStartFraction}, {"start", nullptr, "start_pct_fixed"}},
    {kParamEndPercent, PF_Param_FIX_SLIDER, "End Time(%)", 100, kPercent, 2, kShowPercent, kCollapsed, nullptr,
     kRangePercent, {9, nullptr, &PreRenderRecord::rangeEndFraction}, {"end", nullptr, "end_pct_fixed"}},
    {kParamStartSeconds, PF_Param_FLOAT_SLIDER, "Start Time(sec)", 0, kSeconds, 2, 0, kCollapsed, nullptr,
     kRangeSecond, {10, nullptr, &PreRenderRecord::rangeStartSeconds}, {"start", nullptr, "start_sec"}},
    {kParamEndSeconds, PF_Param_FLOAT_SLIDER, "End Time(sec)", 10, kSeconds, 2, 0, kCollapsed, nullptr,
     kRangeSecond, {11, nullptr, &PreRenderRecord::rangeEndSeconds}, {"end", nullptr, "end_sec"}},
    {kParamEasingType, PF_Param_POPUP, "Easing Type", kEasingLinear, kNoRange, 0, 0, 0,
     "Linear|Quad|Cubic|Quart|Quint|Expo|Circ|Sine|Bounce", kEveryRange, {5, &PreRenderRecord::easingType, nullptr},
     {"easing", "linear|quad|cubic|quart|quint|expo|circ|sine|bounce", "easing_type"}},
    {kParamEasingMode, PF_Param_POPUP, "Easing Mode", kEasingInOut, kNoRange, 0, 0, 0, "In|Out|InOut", kEveryRange,
     {6, &PreRenderRecord::easingMode, nullptr}, {"easing_mode", "in|out|inout", "easing_mode"}},
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

constexpr bool SameText(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

// A '|'-separated list holds no empty entry.
constexpr bool NoEmptyEntry(const char* list) {
  if (*list == '\0' || *list == '|') return false;
  for (const char* c = list; *c != '\0'; ++c) {
    if (*c == '|' && (c[1] == '|' || c[1] == '\0')) return false;
  }
  return true;
}

// The tool's names follow their own rules: every row a field; short names
// for popups only, as many as the popup's entries, none empty; a report key
// for each snapshotted row alone, each key once; a field shared by exactly
// two rows, those of the two range types.
constexpr bool ToolNamesAreSound() {
  for (const ParamSpec& p : kParams) {
    const ToolNames& t = p.tool;
    if (t.field == nullptr || *t.field == '\0') return false;
    if ((p.type == PF_Param_POPUP) != (t.choices != nullptr)) return false;
    if (t.choices != nullptr && (ChoiceCount(t.choices) != ChoiceCount(p.choices) || !NoEmptyEntry(t.choices))) {
      return false;
    }
    if ((p.snapshot.order != 0) != (t.report != nullptr)) return false;
    if (p.range_type != kEveryRange && p.range_type != kRangePercent && p.range_type != kRangeSecond) return false;
    int same_field = 0, same_key = 0;
    for (const ParamSpec& q : kParams) {
      if (&q == &p) continue;
      if (SameText(q.tool.field, t.field)) {
        ++same_field;
        if (p.range_type == kEveryRange || q.range_type == kEveryRange || q.range_type == p.range_type) return false;
      }
      same_key += t.report != nullptr && q.tool.report != nullptr && SameText(q.tool.report, t.report) ? 1 : 0;
    }
    if (same_field != (p.range_type == kEveryRange ? 0 : 1) || same_key != 0) return false;
  }
  return true;
}
static_assert(ToolNamesAreSound(), "see ToolNamesAreSound");

// The row of `row`'s field that range type `range_type` shows: for a range's
// start or end, that range type's row of the field; for the rest, `row`.
constexpr const ParamSpec& RowInRange(const ParamSpec& row, A_long range_type) {
  for (const ParamSpec& p : kParams) {
    if (row.range_type != kEveryRange && p.range_type == range_type && SameText(p.tool.field, row.tool.field)) return p;
  }
  return row;
}

// The user unit of a slider, the unit of its range.
constexpr const char* SliderUnit(const ParamSpec& p) { return p.type == PF_Param_FIX_SLIDER ? "percent" : "seconds"; }

// A value in the host's units (below) as the snapshot keeps a number:
// degrees for an angle; a fraction for a percent slider, divided first, then
// scaled, so that 100 % is exactly 1.0; a float slider's value unchanged.
constexpr double SnapshotNumber(const ParamSpec& p, double host_value) {
  switch (p.type) {
    case PF_Param_ANGLE:
      return FixedToUser(host_value);
    case PF_Param_FIX_SLIDER:
      return FixedToUser(host_value) * 0.01;
    default:
      return host_value;
  }
}

// A checked-out parameter's value in the host's own units: a popup's code,
// the 16.16 value of an angle or fixed slider, a float slider's value; 0 for
// a layer.
double HostValue(const ParamSpec& spec, const PF_ParamDef& def);
// Whether that value is a whole number: all but a float slider's are.
constexpr bool HostValueIsWhole(const ParamSpec& spec) { return spec.type != PF_Param_FLOAT_SLIDER; }

}  // namespace zelvan
