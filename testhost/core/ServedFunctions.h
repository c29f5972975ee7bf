// The functions the host hands to the plug-in, by the names it traces, rules
// and faults them by. Each call site serves its function under a name given
// as a template argument (HostCall<kName>), and that instantiation registers
// the name before main runs: ServedFunctions() lists every function some call
// site serves, whether or not the plug-in ever calls it. The rules of where
// each may be called (CallRules.h) are checked against this list.
#pragma once

#include <string>
#include <vector>

namespace zelvan::testhost {

// Sorted, each name once.
std::vector<std::string> ServedFunctions();

bool RegisterServedFunction(const char* name);

// ServedFunction<kName>::Name() gives the name; using it registers the name.
template <const char* kName>
class ServedFunction {
 public:
  static const char* Name() noexcept {
    static_cast<void>(&registered_);
    return kName;
  }

 private:
  static const bool registered_;
};

template <const char* kName>
const bool ServedFunction<kName>::registered_ = RegisterServedFunction(kName);

}  // namespace zelvan::testhost
