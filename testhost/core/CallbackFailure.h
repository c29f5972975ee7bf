// A host call whose own work failed (a layer's frame source that threw, memory
// that ran out): the call gave the plug-in an error code, as a host does, and
// the cause is kept for whoever drives the host.
#pragma once

#include <string>

namespace zelvan::testhost {

struct CallbackFailure {
  int command = 0;  // serial of the command it happened in, 0 outside commands
  std::string function;
  std::string cause;
};

}  // namespace zelvan::testhost
