// What a caller may change in one command's blocks: the host fills fresh
// in-data and out-data for every command, and calls this, when given, just
// before it sends the command.
#pragma once

#include <functional>

#include "AE_Effect.h"

namespace zelvan::testhost {

using Customize = std::function<void(PF_InData& in_data, PF_OutData& out_data)>;

}  // namespace zelvan::testhost
