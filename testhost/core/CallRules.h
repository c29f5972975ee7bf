// The functions the rules of where the host serves each call name
// (CallRules.cpp), once for each rule that names them. Every function the
// host serves has exactly one rule: its tests check this list against
// ServedFunctions(), and a call without a rule fails as the host's own error.
#pragma once

#include <string>
#include <vector>

namespace zelvan::testhost {

std::vector<std::string> RuledFunctions();

}  // namespace zelvan::testhost
