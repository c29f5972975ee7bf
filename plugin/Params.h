// The effect's parameters: their positions in the host's parameter array (equal
// to their identifiers) and the 1-based codes of the popup menus.
#pragma once

#include "AEGP_SuiteHandler.h"
#include "AE_Effect.h"

namespace zelvan {

enum ParamIndex : A_long {
  kParamInput = 0,  // supplied by the host
  kParamMode = 1,
  kParamLayer = 2,
  kParamType = 3,
  kParamTime = 4,
  kParamWaitingTime = 5,
  kParamRangeType = 6,
  kParamStartPercent = 7,
  kParamEndPercent = 8,
  kParamStartSeconds = 9,
  kParamEndSeconds = 10,
  kParamEasingType = 11,
  kParamEasingMode = 12,
  kParamCount = 13,
};

enum PlacementMode : A_long { kModeCenter = 1, kModeWhole = 2, kModeNoMargin = 3, kModeFitToLayer = 4 };
enum LoopType : A_long { kLoopCycle = 1, kLoopPingpong = 2 };
enum RangeType : A_long { kRangePercent = 1, kRangeSecond = 2 };
enum EasingType : A_long {
  kEasingLinear = 1,
  kEasingQuad = 2,
  kEasingCubic = 3,
  kEasingQuart = 4,
  kEasingQuint = 5,
  kEasingExpo = 6,
  kEasingCirc = 7,
  kEasingSine = 8,
  kEasingBounce = 9,
};
enum EasingMode : A_long { kEasingIn = 1, kEasingOut = 2, kEasingInOut = 3 };

// Hides or shows one parameter's control without an undo step.
PF_Err SetStreamHidden(AEGP_SuiteHandler& suites, AEGP_EffectRefH effect, AEGP_PluginID plugin_id,
                       PF_ParamIndex index, bool hide);

}  // namespace zelvan
