// AEFX_SuiteHelper against the simulated host: failures are reported through
// the out-data, never thrown.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "AEFX_SuiteHelper.h"
#include "Host.h"

namespace {

using zelvan::testhost::Host;

const char* const kDrawbot[] = {"DRAWBOT Draw Suite", "DRAWBOT Supplier Suite", "DRAWBOT Surface Suite",
                                "DRAWBOT Path Suite"};

class SuiteHelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    in = &host.PrepareInData();
    out = &host.PrepareOutData();
  }
  void TearDown() override { EXPECT_EQ(host.accounts().Imbalance(), "") << host.trace().Dump(); }
  std::string Message() const { return std::string(out->return_msg); }

  Host host;
  PF_InData* in = nullptr;
  PF_OutData* out = nullptr;
  int tables[4] = {};
};

TEST_F(SuiteHelperTest, AcquireWithoutBasicSuiteReportsTheDefaultText) {
  in->pica_basicP = nullptr;
  const void* suite = &tables[0];
  EXPECT_EQ(AEFX_AcquireSuite(in, out, "PF Handle Suite", 2, nullptr, &suite), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_NE(out->out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
  EXPECT_EQ(Message(), "Not able to acquire AEFX Suite.");
  EXPECT_EQ(suite, &tables[0]);  // left as it was
  EXPECT_EQ(host.trace().LinesOf("AcquireSuite").size(), 0u);
}

TEST_F(SuiteHelperTest, AcquireFailureShowsTheCallersOwnText) {
  in->pica_basicP = nullptr;
  const void* suite = nullptr;
  EXPECT_EQ(AEFX_AcquireSuite(in, out, "PF Handle Suite", 2, "No handles today.", &suite), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(Message(), "No handles today.");
}

TEST_F(SuiteHelperTest, TextIsUsedAsTheFormatWithNoArguments) {
  in->pica_basicP = nullptr;
  const void* suite = nullptr;
  EXPECT_EQ(AEFX_AcquireSuite(in, out, "X", 1, "100%% sure", &suite), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(Message(), "100% sure");
}

TEST_F(SuiteHelperTest, AcquireAndReleaseThroughTheHost) {
  const void* suite = nullptr;
  EXPECT_EQ(AEFX_AcquireSuite(in, out, "PF Handle Suite", 2, nullptr, &suite), PF_Err_NONE);
  EXPECT_NE(suite, nullptr);
  EXPECT_EQ(AEFX_ReleaseSuite(in, out, "PF Handle Suite", 2, nullptr), PF_Err_NONE);
  EXPECT_EQ(out->out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
  EXPECT_EQ(host.trace().Lines(),
            (std::vector<std::string>{"AcquireSuite PF Handle Suite 2", "ReleaseSuite PF Handle Suite 2"}));
}

TEST_F(SuiteHelperTest, HostCodeIsIgnoredOnlyThePointerCounts) {
  host.faults().NullSuite("PF Handle Suite", 2);
  const void* suite = nullptr;
  EXPECT_EQ(AEFX_AcquireSuite(in, out, "PF Handle Suite", 2, nullptr, &suite), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(Message(), "Not able to acquire AEFX Suite.");
}

TEST_F(SuiteHelperTest, RefusedSuiteReports516) {
  const void* suite = nullptr;
  EXPECT_EQ(AEFX_AcquireSuite(in, out, "No Such Suite", 1, nullptr, &suite), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(suite, nullptr);
  EXPECT_NE(out->out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
}

TEST_F(SuiteHelperTest, ReleaseWithoutBasicSuiteReportsTheReleaseText) {
  in->pica_basicP = nullptr;
  EXPECT_EQ(AEFX_ReleaseSuite(in, out, "PF Handle Suite", 2, nullptr), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_NE(out->out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
  EXPECT_EQ(Message(), "Not able to release AEFX Suite.");
}

TEST_F(SuiteHelperTest, DrawbotSuitesAcquiredInOrderAndReleasedInOrder) {
  for (int i = 0; i < 4; ++i) host.OfferSuite(kDrawbot[i], 1, &tables[i]);
  DRAWBOT_Suites suites{};
  EXPECT_EQ(AEFX_AcquireDrawbotSuites(in, out, &suites), PF_Err_NONE);
  EXPECT_EQ(suites.drawbot_suiteP, &tables[0]);
  EXPECT_EQ(suites.supplier_suiteP, &tables[1]);
  EXPECT_EQ(suites.surface_suiteP, &tables[2]);
  EXPECT_EQ(suites.path_suiteP, &tables[3]);
  EXPECT_EQ(AEFX_ReleaseDrawbotSuites(in, out), PF_Err_NONE);
  EXPECT_EQ(host.trace().Lines(),
            (std::vector<std::string>{"AcquireSuite DRAWBOT Draw Suite 1", "AcquireSuite DRAWBOT Supplier Suite 1",
                                      "AcquireSuite DRAWBOT Surface Suite 1", "AcquireSuite DRAWBOT Path Suite 1",
                                      "ReleaseSuite DRAWBOT Draw Suite 1", "ReleaseSuite DRAWBOT Supplier Suite 1",
                                      "ReleaseSuite DRAWBOT Surface Suite 1", "ReleaseSuite DRAWBOT Path Suite 1"}));
}

TEST_F(SuiteHelperTest, DrawbotFirstFailureStopsAndKeepsWhatWasAcquired) {
  host.OfferSuite(kDrawbot[0], 1, &tables[0]);
  host.OfferSuite(kDrawbot[1], 1, &tables[1]);
  int untouched = 0;
  DRAWBOT_Suites suites{nullptr, nullptr, nullptr, &untouched};
  EXPECT_EQ(AEFX_AcquireDrawbotSuites(in, out, &suites), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(suites.drawbot_suiteP, &tables[0]);
  EXPECT_EQ(suites.supplier_suiteP, &tables[1]);
  EXPECT_EQ(suites.surface_suiteP, nullptr);
  EXPECT_EQ(suites.path_suiteP, &untouched);
  EXPECT_EQ(host.trace().Count("AcquireSuite"), 3u);
  EXPECT_EQ(host.trace().Count("ReleaseSuite"), 0u);
  EXPECT_EQ(Message(), "Not able to acquire AEFX Suite.");
  // Given back here so that the host's accounts balance.
  EXPECT_EQ(AEFX_ReleaseSuite(in, out, kDrawbot[0], 1, nullptr), PF_Err_NONE);
  EXPECT_EQ(AEFX_ReleaseSuite(in, out, kDrawbot[1], 1, nullptr), PF_Err_NONE);
}

TEST_F(SuiteHelperTest, DrawbotReleaseWithoutBasicSuiteStillReturnsZero) {
  in->pica_basicP = nullptr;
  EXPECT_EQ(AEFX_ReleaseDrawbotSuites(in, out), PF_Err_NONE);
  EXPECT_NE(out->out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
  EXPECT_EQ(Message(), "Not able to release AEFX Suite.");
  EXPECT_EQ(host.trace().Count("sprintf"), 4u);  // the text written four times
}

}  // namespace
