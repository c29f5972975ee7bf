// A GoogleTest fixture around one simulated host: every test ends by
// expecting the host's accounts to balance. Include only from tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Host.h"

namespace zelvan::testhost {

// The built plug-in; targets pass its path as ZELVAN_PLUGIN_PATH.
inline std::string PluginPath() {
#ifdef ZELVAN_PLUGIN_PATH
  return ZELVAN_PLUGIN_PATH;
#else
  return "ZelvanClipCycle.so";
#endif
}

class HostFixture : public ::testing::Test {
 protected:
  void SetUp() override { host_ = std::make_unique<Host>(PluginPath()); }
  void TearDown() override {
    if (!host_) return;
    if (check_balance_) {
      EXPECT_EQ(host_->accounts().Imbalance(), "") << "host calls:\n" << host_->trace().Dump();
    }
    host_.reset();
  }

  Host& host() { return *host_; }
  // For the few tests that leave something behind on purpose.
  void SkipBalanceCheck() { check_balance_ = false; }

  std::unique_ptr<Host> host_;
  bool check_balance_ = true;
};

}  // namespace zelvan::testhost
