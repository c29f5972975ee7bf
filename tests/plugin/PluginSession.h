// A fixture whose host has run global setup and parameter setup with the
// loaded plug-in; the session is set down before the accounts are checked.
#pragma once

#include <string>
#include <vector>

#include "HostFixture.h"

namespace zelvan::testhost {

class PluginSession : public HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    ASSERT_EQ(host().GlobalSetup(), PF_Err_NONE);
    ASSERT_EQ(host().ParamsSetup(), PF_Err_NONE);
  }
  void TearDown() override {
    if (host_) {
      EXPECT_EQ(host().GlobalSetdown(), PF_Err_NONE);
    }
    HostFixture::TearDown();
  }
  std::vector<std::string> CommandLines() { return host().trace().LinesOfCommand(host().last_command()); }
  std::vector<std::string> CommandLinesOf(const std::string& function) {
    std::vector<std::string> out;
    for (const TraceEntry& e : host().trace().entries()) {
      if (e.command == host().last_command() && e.function == function) out.push_back(e.Text());
    }
    return out;
  }
};

}  // namespace zelvan::testhost
