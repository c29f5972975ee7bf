// 16.16 fixed point, the host's number for angles and fixed sliders: one user
// unit (a degree, a percent) is 65536. Every conversion between the two goes
// through here.
#pragma once

#include "AE_Effect.h"

namespace zelvan {

inline constexpr double kFixedOne = 65536.0;

// Truncates toward zero: exact for the parameter table's values, each a whole
// multiple of 1/65536 well inside the 32-bit range.
constexpr PF_Fixed UserToFixed(double user_value) { return PF_Fixed(user_value * kFixedOne); }

// A fixed value (as the host hands it over, widened to double) in user units.
constexpr double FixedToUser(double fixed_value) { return fixed_value / kFixedOne; }

static_assert(UserToFixed(1.0) == 65536 && UserToFixed(100.0) == 6553600 && UserToFixed(-1.5) == -98304,
              "one user unit is 65536");
static_assert(FixedToUser(65536.0) == 1.0 && FixedToUser(-98304.0) == -1.5, "and back");

}  // namespace zelvan
