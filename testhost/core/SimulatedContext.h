// Contexts a test can put the host in without the plug-in, to call host
// functions directly and see them served, or refused, as in that context.
#pragma once

#include "Host.h"

namespace zelvan::testhost {

// While it lives, the host runs as in a command of that selector: calls
// bound to commands are served as in that command, and what it left held or
// locked is reported when it ends.
class SimulatedCommand {
 public:
  SimulatedCommand(Host& host, PF_Cmd cmd);
  ~SimulatedCommand();
  SimulatedCommand(const SimulatedCommand&) = delete;
  SimulatedCommand& operator=(const SimulatedCommand&) = delete;

 private:
  Host& host_;
  PF_Cmd cmd_;
};

// While it lives, the host runs as in its release of a frame's pre-render
// data, outside any command.
class SimulatedRelease {
 public:
  explicit SimulatedRelease(Host& host);
  ~SimulatedRelease();
  SimulatedRelease(const SimulatedRelease&) = delete;
  SimulatedRelease& operator=(const SimulatedRelease&) = delete;

 private:
  Host& host_;
};

}  // namespace zelvan::testhost
