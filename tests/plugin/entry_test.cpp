// The entry point's dispatch and the about command, through the loaded binary.
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "HostFixture.h"

namespace {

using zelvan::testhost::HostFixture;

class EntryTest : public HostFixture {};

TEST_F(EntryTest, IgnoredSelectorsReturnZeroAndTouchNothing) {
  std::vector<PF_Cmd> ignored = {2, 11, 15, 16, 17, 18, 19, 20, 21, 22, 25, 26, 100, 1000, INT_MAX,
                                 -1, -2, -24, INT_MIN};
  for (PF_Cmd cmd = 5; cmd <= 13; ++cmd) ignored.push_back(cmd);
  for (PF_Cmd cmd : ignored) {
    SCOPED_TRACE("selector " + std::to_string(cmd));
    PF_InData in_before{};
    PF_OutData out_before{};
    unsigned char extra[64];
    std::memset(extra, 0x3C, sizeof extra);
    const unsigned char extra_before = extra[0];
    const std::size_t mark = host().trace().size();
    const PF_Err err = host().Command(cmd, extra, [&](PF_InData& in, PF_OutData& out) {
      std::memset(&out, 0x5A, sizeof out);
      in_before = in;
      out_before = out;
    });
    EXPECT_EQ(err, PF_Err_NONE);
    EXPECT_EQ(std::memcmp(&host().in_data(), &in_before, sizeof in_before), 0) << "in-data changed";
    EXPECT_EQ(std::memcmp(&host().out_data(), &out_before, sizeof out_before), 0) << "out-data changed";
    EXPECT_TRUE(host().command_output_untouched());
    for (unsigned char b : extra) EXPECT_EQ(b, extra_before);
    EXPECT_EQ(host().trace().size(), mark) << host().trace().Dump(mark);
  }
}

TEST_F(EntryTest, SmartCommandsWithoutTheirExtraBlockAre516AndCallNothing) {
  for (PF_Cmd cmd : {PF_Cmd_SMART_PRE_RENDER, PF_Cmd_SMART_RENDER}) {
    SCOPED_TRACE("selector " + std::to_string(cmd));
    const std::size_t mark = host().trace().size();
    EXPECT_EQ(host().Command(cmd, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host().trace().size(), mark) << host().trace().Dump(mark);
  }
}

TEST_F(EntryTest, AboutTextNamesTheEffectAndVersion) {
  ASSERT_EQ(host().About(), PF_Err_NONE);
  const std::string text = host().learned().about_text;
  EXPECT_EQ(text.rfind("ZelvanClipCycle, v1.00\r", 0), 0u) << text;
  EXPECT_GT(text.size(), std::strlen("ZelvanClipCycle, v1.00\r")) << "the maker's notice follows";
  EXPECT_EQ(text.find('\r', 23), std::string::npos) << "one line of notice";
  // Only the formatter was called: no suite, no handle.
  EXPECT_EQ(host().trace().LinesOfCommand(host().last_command()).size(), 1u);
  EXPECT_EQ(host().trace().Count("sprintf"), 1u);
  EXPECT_TRUE(host().command_output_untouched());
}

TEST_F(EntryTest, AboutWorksWithoutBasicSuite) {
  host().faults().NullBasicSuite();
  ASSERT_EQ(host().About(), PF_Err_NONE);
  EXPECT_EQ(host().learned().about_text.rfind("ZelvanClipCycle, v1.00\r", 0), 0u);
  EXPECT_EQ(host().trace().Count("AcquireSuite"), 0u);
}

TEST_F(EntryTest, AboutTextFitsTheMessageBuffer) {
  ASSERT_EQ(host().About(), PF_Err_NONE);
  EXPECT_LT(host().learned().about_text.size(), sizeof(PF_OutData{}.return_msg));
}

TEST_F(EntryTest, PropertyListNamesTheExportedEntryPoint) {
  EXPECT_EQ(host().module().entry_point_name(), "EntryPointFunc");
  EXPECT_NE(host().module().entry_point(), nullptr);
}

TEST_F(EntryTest, FullSessionBalances) {
  EXPECT_EQ(host().GlobalSetup(), PF_Err_NONE);
  EXPECT_EQ(host().About(), PF_Err_NONE);
  EXPECT_EQ(host().ParamsSetup(), PF_Err_NONE);
  EXPECT_EQ(host().GlobalSetdown(), PF_Err_NONE);
  EXPECT_EQ(host().accounts().handles().live(), 0u);
}

}  // namespace
