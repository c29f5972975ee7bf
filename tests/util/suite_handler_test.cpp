// AEGP_SuiteHandler against the simulated host's basic suite.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "AEGP_SuiteHandler.h"
#include "Host.h"
#include "Suites.h"

namespace {

using zelvan::testhost::Host;

class SuiteHandlerTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(host.accounts().Imbalance(), "") << host.trace().Dump(); }

  // Runs body and returns the host error code it threw, or 0.
  template <class Body>
  static PF_Err Thrown(Body body) {
    try {
      body();
    } catch (PF_Err err) {
      return err;
    }
    return PF_Err_NONE;
  }

  Host host;
};

TEST_F(SuiteHandlerTest, UnusedHandlerMakesNoHostCall) {
  { AEGP_SuiteHandler suites(host.basic_suite()); }
  EXPECT_EQ(host.trace().size(), 0u);
}

TEST_F(SuiteHandlerTest, SameSuiteTwiceIsOneAcquisitionAndOneRelease) {
  {
    AEGP_SuiteHandler suites(host.basic_suite());
    const PF_HandleSuite2* first = suites.HandleSuite2();
    const PF_HandleSuite2* second = suites.HandleSuite2();
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, &zelvan::testhost::kHandleSuite2);
    EXPECT_EQ(host.trace().Lines(), std::vector<std::string>{"AcquireSuite PF Handle Suite 2"});
  }
  EXPECT_EQ(host.trace().Lines(),
            (std::vector<std::string>{"AcquireSuite PF Handle Suite 2", "ReleaseSuite PF Handle Suite 2"}));
}

TEST_F(SuiteHandlerTest, NullBasicSuiteThrows516WithoutHostCall) {
  EXPECT_EQ(Thrown([] { AEGP_SuiteHandler suites(nullptr); }), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(host.trace().size(), 0u);
}

TEST_F(SuiteHandlerTest, EveryAccessorAcquiresItsSuiteByExactNameAndVersion) {
  {
    AEGP_SuiteHandler suites(host.basic_suite());
    EXPECT_EQ(suites.UtilitySuite7(), &zelvan::testhost::kUtilitySuite7);
    EXPECT_EQ(suites.HandleSuite2(), &zelvan::testhost::kHandleSuite2);
    EXPECT_EQ(suites.PFInterfaceSuite1(), &zelvan::testhost::kPFInterfaceSuite1);
    EXPECT_EQ(suites.EffectSuite2(), &zelvan::testhost::kEffectSuite2);
    EXPECT_EQ(suites.StreamSuite9(), &zelvan::testhost::kStreamSuite9);
    EXPECT_EQ(suites.DynamicStreamSuite5(), &zelvan::testhost::kDynamicStreamSuite5);
    EXPECT_EQ(suites.CompSuite15(), &zelvan::testhost::kCompSuite15);
    EXPECT_EQ(suites.LayerSuite13(), &zelvan::testhost::kLayerSuite13);
  }
  EXPECT_EQ(host.trace().LinesOf("AcquireSuite"),
            (std::vector<std::string>{
                "AcquireSuite AEGP Utility Suite 7", "AcquireSuite PF Handle Suite 2",
                "AcquireSuite AEGP PF Interface Suite 1", "AcquireSuite AEGP Effect Suite 2",
                "AcquireSuite AEGP Stream Suite 9", "AcquireSuite AEGP Dynamic Stream Suite 5",
                "AcquireSuite AEGP Comp Suite 15", "AcquireSuite AEGP Layer Suite 13"}));
  // Table order: Stream 9 (5), Dynamic Stream 5 (11), Comp 15 (18), PF
  // Interface 1 (28), Effect 2 (38), Utility 7 (43), Handle 2 (47), Layer 13 (77).
  EXPECT_EQ(host.trace().LinesOf("ReleaseSuite"),
            (std::vector<std::string>{
                "ReleaseSuite AEGP Stream Suite 9", "ReleaseSuite AEGP Dynamic Stream Suite 5",
                "ReleaseSuite AEGP Comp Suite 15", "ReleaseSuite AEGP PF Interface Suite 1",
                "ReleaseSuite AEGP Effect Suite 2", "ReleaseSuite AEGP Utility Suite 7",
                "ReleaseSuite PF Handle Suite 2", "ReleaseSuite AEGP Layer Suite 13"}));
}

TEST_F(SuiteHandlerTest, ReleaseOrderIsTableOrderNotAcquisitionOrder) {
  {
    AEGP_SuiteHandler suites(host.basic_suite());
    suites.HandleSuite2();
    suites.LayerSuite13();
    suites.UtilitySuite7();
  }
  EXPECT_EQ(host.trace().LinesOf("ReleaseSuite"),
            (std::vector<std::string>{"ReleaseSuite AEGP Utility Suite 7", "ReleaseSuite PF Handle Suite 2",
                                      "ReleaseSuite AEGP Layer Suite 13"}));
}

TEST_F(SuiteHandlerTest, RefusedSuiteThrows516AndIsNotReleasedWhileEarlierOnesAreReleasedOnce) {
  host.faults().RefuseSuite("AEGP Layer Suite", 13, 0x7777);
  const PF_Err err = Thrown([&] {
    AEGP_SuiteHandler suites(host.basic_suite());
    suites.HandleSuite2();
    suites.UtilitySuite7();
    suites.LayerSuite13();
    ADD_FAILURE() << "the refused suite did not throw";
  });
  EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);  // the host's own code is dropped
  EXPECT_EQ(host.trace().LinesOf("ReleaseSuite"),
            (std::vector<std::string>{"ReleaseSuite AEGP Utility Suite 7", "ReleaseSuite PF Handle Suite 2"}));
  EXPECT_EQ(host.accounts().Suite("AEGP Layer Suite", 13).released, 0);
}

TEST_F(SuiteHandlerTest, SuiteAnsweredWithNullPointerThrows516AndIsNotReleased) {
  host.faults().NullSuite("AEGP Stream Suite", 9);
  const PF_Err err = Thrown([&] {
    AEGP_SuiteHandler suites(host.basic_suite());
    suites.EffectSuite2();
    suites.StreamSuite9();
  });
  EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(host.trace().LinesOf("ReleaseSuite"), std::vector<std::string>{"ReleaseSuite AEGP Effect Suite 2"});
}

TEST_F(SuiteHandlerTest, FailedAcquisitionLeavesTheSlotEmptySoTheNextRequestAsksAgain) {
  host.faults().RefuseSuite("AEGP Comp Suite", 15, 9, /*nth=*/1);
  {
    AEGP_SuiteHandler suites(host.basic_suite());
    EXPECT_EQ(Thrown([&] { suites.CompSuite15(); }), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(suites.CompSuite15(), &zelvan::testhost::kCompSuite15);
  }
  EXPECT_EQ(host.trace().Count("AcquireSuite"), 2u);
  EXPECT_EQ(host.trace().LinesOf("ReleaseSuite"), std::vector<std::string>{"ReleaseSuite AEGP Comp Suite 15"});
}

TEST_F(SuiteHandlerTest, SuiteTheHostDoesNotOfferThrows516) {
  const PF_Err err = Thrown([&] {
    AEGP_SuiteHandler suites(host.basic_suite());
    suites.Suite(AEGP_SuiteHandler::kMarkerSuite1);
  });
  EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(host.trace().Lines(), std::vector<std::string>{"AcquireSuite AEGP Marker Suite 1"});
  EXPECT_EQ(host.trace().entries()[0].result, zelvan::testhost::kSuiteNotFound);
}

TEST_F(SuiteHandlerTest, FailingReleaseIsIgnoredAndTheOthersAreStillReleased) {
  host.faults().FailCall("ReleaseSuite", 1, 0x55);
  {
    AEGP_SuiteHandler suites(host.basic_suite());
    suites.StreamSuite9();
    suites.LayerSuite13();
  }
  EXPECT_EQ(host.trace().LinesOf("ReleaseSuite"),
            (std::vector<std::string>{"ReleaseSuite AEGP Stream Suite 9", "ReleaseSuite AEGP Layer Suite 13"}));
}

// Positions whose suites only this test offers (the host's own do not
// include them): each acquired through its slot, each released once, in
// table order, when the handler goes.
struct OfferedSlotsCase {
  const char* name;
  std::vector<std::pair<const char*, A_long>> offered;
  std::vector<int> positions;  // acquired in this order
  std::vector<std::string> releases;
};

const OfferedSlotsCase kOfferedSlots[] = {
    {"PathDataSuiteHasTwoSlotsEachReleasedOnItsOwn",
     {{"PF Path Data Suite", 1}},
     {30, 31},
     {"ReleaseSuite PF Path Data Suite 1", "ReleaseSuite PF Path Data Suite 1"}},
    {"FirstAndLastPositionsAreBothReleased",
     {{"AEGP Marker Suite", 1}, {"DRAWBOT Path Suite", 1}},
     {AEGP_SuiteHandler::kSuiteCount - 1, 0},
     {"ReleaseSuite AEGP Marker Suite 1", "ReleaseSuite DRAWBOT Path Suite 1"}},
};

class OfferedSlotsTest : public SuiteHandlerTest, public ::testing::WithParamInterface<OfferedSlotsCase> {};

TEST_P(OfferedSlotsTest, EachSlotIsAcquiredAndReleasedOnItsOwn) {
  const OfferedSlotsCase& c = GetParam();
  static const int kTable = 0;
  for (const auto& [name, version] : c.offered) host.OfferSuite(name, version, &kTable);
  {
    AEGP_SuiteHandler suites(host.basic_suite());
    for (int position : c.positions) EXPECT_EQ(suites.Suite(AEGP_SuiteHandler::SuiteId(position)), &kTable);
  }
  EXPECT_EQ(host.trace().Count("AcquireSuite"), c.positions.size());
  EXPECT_EQ(host.trace().LinesOf("ReleaseSuite"), c.releases);
}

INSTANTIATE_TEST_SUITE_P(Slots, OfferedSlotsTest, ::testing::ValuesIn(kOfferedSlots),
                         [](const auto& p) { return std::string(p.param.name); });

// The known suites in release order, as the host spells them.
struct KnownSuite {
  const char* name;
  A_long version;
};
const KnownSuite kKnownSuites[] = {
    {"AEGP Marker Suite", 1}, {"AEGP Marker Suite", 2}, {"AEGP Layer Suite", 8}, {"AEGP Layer Suite", 10},
    {"AEGP Stream Suite", 9}, {"AEGP Stream Suite", 8}, {"AEGP Stream Suite", 7}, {"AEGP Stream Suite", 4},
    {"AEGP Dynamic Stream Suite", 2}, {"AEGP Dynamic Stream Suite", 3}, {"AEGP Dynamic Stream Suite", 5},
    {"AEGP Keyframe Suite", 4}, {"AEGP Keyframe Suite", 3}, {"AEGP Keyframe Suite", 1}, {"AEGP Comp Suite", 9},
    {"AEGP Comp Suite", 11}, {"AEGP Comp Suite", 14}, {"AEGP Comp Suite", 15}, {"AEGP Canvas Suite", 10},
    {"AEGP Canvas Suite", 11}, {"AEGP Camera Suite", 2}, {"AEGP Register Suite", 6}, {"AEGP Item Suite", 13},
    {"AEGP Item Suite", 11}, {"AEGP Item Suite", 10}, {"AEGP Item Suite", 7}, {"AEGP Item Suite", 3},
    {"AEGP PF Interface Suite", 1}, {"PF Path Query Suite", 1}, {"AEGP Memory Suite", 1}, {"PF Path Data Suite", 1},
    {"PF Path Data Suite", 1}, {"PF AE App Suite", 6}, {"PF AE Adv App Suite", 2}, {"AEGP Light Suite", 1},
    {"AEGP Light Suite", 2}, {"AEGP Effect Suite", 1}, {"AEGP Effect Suite", 2}, {"AEGP Effect Suite", 3},
    {"AEGP Layer Mask Suite", 5}, {"AEGP Mask Outline Suite", 3}, {"AEGP Command Suite", 1},
    {"AEGP Utility Suite", 7}, {"AEGP Render Suite", 1}, {"AEGP Render Suite", 2}, {"PF ANSI Suite", 1},
    {"PF Handle Suite", 2}, {"PF Fill Matte Suite", 2}, {"PF World Transform Suite", 1},
    {"AEGP QueryXform Suite", 4}, {"AEGP Composite Suite", 4}, {"PF World Suite", 1}, {"AEGP IO In Suite", 5},
    {"AEGP IO Out Suite", 7}, {"AEGP Render Queue Suite", 1}, {"AEGP Render Queue Item Suite", 3},
    {"AEGP Output Module Suite", 4}, {"AEGP File Import Manager Suite", 3}, {"PF Sampling8 Suite", 1},
    {"PF Sampling16 Suite", 1}, {"PF Iterate8 Suite", 1}, {"PF iterate16 Suite", 1}, {"PF iterateFloat Suite", 1},
    {"AEGP Collection Suite", 2}, {"AEGP Text Document Suite", 1}, {"AEGP Sound Data Suite", 1},
    {"AEGP Text Layer Suite", 1}, {"AEGP Artisan Util Suite", 1}, {"AEGP World Suite", 2}, {"AEGP World Suite", 3},
    {"AEGP Render Options Suite", 1}, {"AEGP Tracker Suite", 1}, {"AEGP Tracker Utility Suite", 1},
    {"AE Plugin Helper Suite2", 2}, {"AEGP Layer Suite", 11}, {"AEGP Layer Suite", 12}, {"AEGP Layer Suite", 13},
    {"PF AE Adv Item Suite", 1}, {"AEGP Layer Suite", 5}, {"AEGP Layer Mask Suite", 2}, {"AEGP Comp Suite", 4},
    {"AEGP Collection Suite", 1}, {"AEGP Mask Outline Suite", 2}, {"PF AE Adv App Suite", 1},
    {"AEGP Utility Suite", 3}, {"AEGP Render Options Suite", 2}, {"AEGP Proj Suite", 8}, {"AEGP Footage Suite", 11},
    {"AEGP Render Queue Item Suite", 4}, {"AEGP Utility Suite", 10}, {"AEGP Persistent Data Suite", 3},
    {"PF Color Settings Suite", 3}, {"PF Color Settings Suite", 1}, {"PF ColorParamSuite", 1},
    {"PF SamplingFloat Suite", 1}, {"AEGP Utility Suite", 11}, {"PF Effect Custom UI Suite", 1},
    {"PF Effect Custom UI Overlay Theme Suite", 1}, {"DRAWBOT Draw Suite", 1}, {"DRAWBOT Supplier Suite", 1},
    {"DRAWBOT Surface Suite", 1}, {"DRAWBOT Path Suite", 1}
};

TEST_F(SuiteHandlerTest, TableHoldsTheKnownSuitesInReleaseOrder) {
  ASSERT_EQ(int(AEGP_SuiteHandler::kSuiteCount), int(std::size(kKnownSuites)));
  for (int i = 0; i < AEGP_SuiteHandler::kSuiteCount; ++i) {
    const auto id = AEGP_SuiteHandler::SuiteId(i);
    EXPECT_STREQ(AEGP_SuiteHandler::SuiteName(id), kKnownSuites[i].name) << "position " << i + 1;
    EXPECT_EQ(AEGP_SuiteHandler::SuiteVersion(id), kKnownSuites[i].version) << "position " << i + 1;
  }
  EXPECT_EQ(int(AEGP_SuiteHandler::kSuiteCount), 102);
  EXPECT_STREQ(AEGP_SuiteHandler::SuiteName(AEGP_SuiteHandler::SuiteId(0)), "AEGP Marker Suite");
  EXPECT_STREQ(AEGP_SuiteHandler::SuiteName(AEGP_SuiteHandler::SuiteId(42)), "AEGP Utility Suite");
  EXPECT_EQ(AEGP_SuiteHandler::SuiteVersion(AEGP_SuiteHandler::SuiteId(42)), 7);
  EXPECT_STREQ(AEGP_SuiteHandler::SuiteName(AEGP_SuiteHandler::SuiteId(46)), "PF Handle Suite");
  EXPECT_STREQ(AEGP_SuiteHandler::SuiteName(AEGP_SuiteHandler::SuiteId(61)), "PF iterate16 Suite");
  EXPECT_STREQ(AEGP_SuiteHandler::SuiteName(AEGP_SuiteHandler::SuiteId(73)), "AE Plugin Helper Suite2");
  EXPECT_STREQ(AEGP_SuiteHandler::SuiteName(AEGP_SuiteHandler::SuiteId(76)), "AEGP Layer Suite");
  EXPECT_EQ(AEGP_SuiteHandler::SuiteVersion(AEGP_SuiteHandler::SuiteId(76)), 13);
  EXPECT_STREQ(AEGP_SuiteHandler::SuiteName(AEGP_SuiteHandler::SuiteId(93)), "PF ColorParamSuite");
  EXPECT_STREQ(AEGP_SuiteHandler::SuiteName(AEGP_SuiteHandler::SuiteId(101)), "DRAWBOT Path Suite");
}

}  // namespace
