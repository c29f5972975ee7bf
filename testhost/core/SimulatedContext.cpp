#include "SimulatedContext.h"

namespace zelvan::testhost {

SimulatedCommand::SimulatedCommand(Host& host, PF_Cmd cmd) : host_(host), cmd_(cmd) {
  if (cmd == PF_Cmd_PARAMS_SETUP) host.params().BeginSetup();
  host.BeginCommand(cmd);
}

SimulatedCommand::~SimulatedCommand() { host_.EndCommand(cmd_); }

SimulatedRelease::SimulatedRelease(Host& host) : host_(host) { host.SetReleasing(true); }

SimulatedRelease::~SimulatedRelease() { host_.SetReleasing(false); }

}  // namespace zelvan::testhost
