// Names of the bits of out_flags and out_flags2 ("DEEP_COLOR_AWARE", ...);
// bits without a name come out as "bit N".
#pragma once

#include <string>
#include <vector>

#include "A.h"

namespace zelvan::testhost {

std::vector<std::string> OutFlagNames(A_long flags);
std::vector<std::string> OutFlag2Names(A_long flags);

}  // namespace zelvan::testhost
