// Global setup and setdown through the loaded binary: the global record, the
// version, the flags and every failure path.
#include <cstring>
#include <string>
#include <vector>

#include "FlagNames.h"
#include "HostFixture.h"
#include "Version.h"

namespace {

using zelvan::testhost::HostFixture;

class GlobalTest : public HostFixture {
 protected:
  std::vector<std::string> CommandLines() { return host().trace().LinesOfCommand(host().last_command()); }
};

TEST_F(GlobalTest, SetupReportsVersionFlagsAndPublishesTheGlobalRecord) {
  ASSERT_EQ(host().GlobalSetup(), PF_Err_NONE);
  EXPECT_EQ(host().learned().version, 525825u);
  EXPECT_EQ(host().learned().out_flags, 0x06000000);
  EXPECT_EQ(host().learned().out_flags2, 0x00001400);
  PF_Handle global = host().learned().global_data;
  ASSERT_NE(global, nullptr);
  const zelvan::testhost::HandleTable::Record* record = host().accounts().handles().Find(global);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->size, 4u);
  EXPECT_EQ(record->lock_depth, 0);
  ASSERT_EQ(host().learned().registrations.size(), 1u);
  const auto [id, name] = *host().learned().registrations.begin();
  EXPECT_EQ(name, "Error!");
  A_long stored = 0;
  std::memcpy(&stored, record->bytes.get(), sizeof stored);
  EXPECT_EQ(stored, id);
  EXPECT_EQ(CommandLines(), (std::vector<std::string>{
                                "AcquireSuite PF Handle Suite 2", "host_new_handle size=4", "host_lock_handle #1",
                                "AcquireSuite AEGP Utility Suite 7", "AEGP_RegisterWithAEGP name=\"Error!\"",
                                "host_unlock_handle #1", "ReleaseSuite AEGP Utility Suite 7",
                                "ReleaseSuite PF Handle Suite 2"}));
  ASSERT_EQ(host().GlobalSetdown(), PF_Err_NONE);
  EXPECT_EQ(CommandLines(), (std::vector<std::string>{"AcquireSuite PF Handle Suite 2", "host_dispose_handle #1",
                                                      "ReleaseSuite PF Handle Suite 2"}));
  EXPECT_EQ(host().accounts().handles().live(), 0u);
}

TEST_F(GlobalTest, SetupOrsItsFlagsIntoWhatTheHostGave) {
  ASSERT_EQ(host().GlobalSetup([](PF_InData&, PF_OutData& out) {
    out.out_flags = 0x1;
    out.out_flags2 = 0x2;
  }), PF_Err_NONE);
  EXPECT_EQ(host().learned().out_flags, 0x06000001);
  EXPECT_EQ(host().learned().out_flags2, 0x00001402);
  EXPECT_EQ(host().GlobalSetdown(), PF_Err_NONE);
}

TEST_F(GlobalTest, NullBasicSuiteReturns516WithOutDataAlreadyWritten) {
  host().faults().NullBasicSuite();
  EXPECT_EQ(host().GlobalSetup(), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(host().out_data().my_version, 525825u);
  EXPECT_EQ(host().out_data().out_flags, 0x06000000);
  EXPECT_EQ(host().out_data().out_flags2, 0x00001400);
  EXPECT_EQ(host().learned().global_data, nullptr);
  EXPECT_TRUE(CommandLines().empty());
}

TEST_F(GlobalTest, RefusedNewHandleReturns512AndNeverRegisters) {
  host().faults().FailNewHandle();
  EXPECT_EQ(host().GlobalSetup(), PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_EQ(host().trace().Count("AEGP_RegisterWithAEGP"), 0u);
  EXPECT_EQ(host().learned().global_data, nullptr);
  EXPECT_EQ(host().accounts().handles().live(), 0u);
}

TEST_F(GlobalTest, RefusedLockReturnsZeroWithoutGlobalDataAndLeaksNothing) {
  host().faults().FailLockHandle();
  EXPECT_EQ(host().GlobalSetup(), PF_Err_NONE);
  EXPECT_EQ(host().learned().global_data, nullptr);
  EXPECT_EQ(host().trace().Count("AEGP_RegisterWithAEGP"), 0u);
  EXPECT_EQ(host().trace().Count("host_unlock_handle"), 0u);
  EXPECT_EQ(host().trace().Count("host_dispose_handle"), 1u);
  EXPECT_EQ(host().accounts().handles().live(), 0u);
}

TEST_F(GlobalTest, RefusedRegistrationReturnsItsCodeUnlocksAndDisposes) {
  host().faults().FailCall("AEGP_RegisterWithAEGP", 1, 0x1234);
  EXPECT_EQ(host().GlobalSetup(), 0x1234);
  EXPECT_EQ(host().learned().global_data, nullptr);
  const std::vector<std::string> lines = CommandLines();
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "AcquireSuite PF Handle Suite 2", "host_new_handle size=4", "host_lock_handle #1",
                       "AcquireSuite AEGP Utility Suite 7", "AEGP_RegisterWithAEGP name=\"Error!\"",
                       "host_unlock_handle #1", "host_dispose_handle #1", "ReleaseSuite AEGP Utility Suite 7",
                       "ReleaseSuite PF Handle Suite 2"}));
  EXPECT_EQ(host().accounts().handles().live(), 0u);
}

TEST_F(GlobalTest, RefusedUtilitySuiteReturns516WithEarlierSuitesReleased) {
  host().faults().RefuseSuite("AEGP Utility Suite", 7, 0x99);
  EXPECT_EQ(host().GlobalSetup(), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(host().learned().global_data, nullptr);
  EXPECT_EQ(host().trace().LinesOf("ReleaseSuite"), std::vector<std::string>{"ReleaseSuite PF Handle Suite 2"});
  EXPECT_EQ(host().accounts().Suite("AEGP Utility Suite", 7).acquired, 0);
  // The handle made before the failure is unlocked and disposed on the way out.
  EXPECT_EQ(host().trace().Count("host_unlock_handle"), 1u);
  EXPECT_EQ(host().trace().Count("host_dispose_handle"), 1u);
}

TEST_F(GlobalTest, HandleSuiteAnsweredWithNullPointerReturns516) {
  host().faults().NullSuite("PF Handle Suite", 2);
  EXPECT_EQ(host().GlobalSetup(), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(CommandLines(), std::vector<std::string>{"AcquireSuite PF Handle Suite 2"});
}

TEST_F(GlobalTest, SetdownWithoutGlobalDataDisposesNothing) {
  EXPECT_EQ(host().GlobalSetdown(), PF_Err_NONE);
  EXPECT_EQ(host().trace().Count("host_dispose_handle"), 0u);
}

TEST_F(GlobalTest, SetdownAfterFailedLockDisposesNothing) {
  host().faults().FailLockHandle();
  ASSERT_EQ(host().GlobalSetup(), PF_Err_NONE);
  const std::size_t mark = host().trace().size();
  EXPECT_EQ(host().GlobalSetdown(), PF_Err_NONE);
  EXPECT_EQ(host().trace().Count("host_dispose_handle", mark), 0u);
}

TEST_F(GlobalTest, SetdownDisposesTheHandleNotMerelyUnlocks) {
  ASSERT_EQ(host().GlobalSetup(), PF_Err_NONE);
  const std::size_t mark = host().trace().size();
  ASSERT_EQ(host().GlobalSetdown(), PF_Err_NONE);
  EXPECT_EQ(host().trace().Count("host_dispose_handle", mark), 1u);
  EXPECT_EQ(host().trace().Count("host_unlock_handle", mark), 0u);
}

TEST_F(GlobalTest, SetdownWithRefusedHandleSuiteReturns516AndKeepsNothing) {
  ASSERT_EQ(host().GlobalSetup(), PF_Err_NONE);
  PF_Handle global = host().learned().global_data;
  host().faults().RefuseSuite("PF Handle Suite", 2, 0x42);
  EXPECT_EQ(host().GlobalSetdown(), PF_Err_BAD_CALLBACK_PARAM);
  // The record could not be disposed; the host frees it itself.
  EXPECT_EQ(host().accounts().handles().live(), 1u);
  EXPECT_NE(host().accounts().handles().Find(global), nullptr);
  SkipBalanceCheck();
}

TEST_F(GlobalTest, TwoSessionsInOneHostRegisterTwiceAndKeepTheParameterIdentifiers) {
  for (int session = 0; session < 2; ++session) {
    ASSERT_EQ(host().StartSession(), PF_Err_NONE);  // the host checks the identifiers against the first
    EXPECT_EQ(host().params().count(), 13);
    ASSERT_EQ(host().GlobalSetdown(), PF_Err_NONE);
  }
  EXPECT_EQ(host().learned().registrations.size(), 2u);
}

TEST_F(GlobalTest, VersionWordDecodesAsReleaseOnePointZeroZeroBuildOne) {
  ASSERT_EQ(host().GlobalSetup(), PF_Err_NONE);
  EXPECT_EQ(*host().learned().version, zelvan::kVersionWord);
  EXPECT_EQ(zelvan::testhost::DescribeVersion(*host().learned().version), "1.00 release build 1");
  ASSERT_EQ(host().GlobalSetdown(), PF_Err_NONE);
}

TEST_F(GlobalTest, FlagsByName) {
  ASSERT_EQ(host().GlobalSetup(), PF_Err_NONE);
  EXPECT_EQ(zelvan::testhost::OutFlagNames(host().learned().out_flags),
            (std::vector<std::string>{"DEEP_COLOR_AWARE", "SEND_UPDATE_PARAMS_UI"}));
  EXPECT_EQ(zelvan::testhost::OutFlag2Names(host().learned().out_flags2),
            (std::vector<std::string>{"SUPPORTS_SMART_RENDER", "FLOAT_COLOR_AWARE"}));
  ASSERT_EQ(host().GlobalSetdown(), PF_Err_NONE);
}

}  // namespace
