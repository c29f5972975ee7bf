// Smart pre-render through the loaded binary: the snapshot the effect
// publishes, the request for the whole input, the result extent, and the
// release of the per-frame record.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "PluginSession.h"
#include "PreRenderRecord.h"

namespace {

using zelvan::PreRenderRecord;
using zelvan::testhost::FrameRequest;
using zelvan::testhost::PluginSession;

class PreRenderTest : public PluginSession {
 protected:
  // The record the effect left for the render, as it stood when pre-render returned.
  PreRenderRecord Record() {
    const std::vector<unsigned char>& bytes = host().frames().pre_render_data_bytes();
    PreRenderRecord r{};
    EXPECT_GE(bytes.size(), sizeof r) << "the pre-render data is not a host handle of the record's size";
    if (bytes.size() >= sizeof r) std::memcpy(&r, bytes.data(), sizeof r);
    return r;
  }
  PF_LRect RequestRect() {
    const auto requests = host().frames().layer_checkout_requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? PF_LRect{} : requests[0].rect;
  }
};

void ExpectRect(const PF_LRect& r, A_long left, A_long top, A_long right, A_long bottom) {
  EXPECT_EQ(r.left, left);
  EXPECT_EQ(r.top, top);
  EXPECT_EQ(r.right, right);
  EXPECT_EQ(r.bottom, bottom);
}

TEST_F(PreRenderTest, SnapshotOfTheDefaults) {
  ASSERT_EQ(host().frames().PreRender(0), PF_Err_NONE);
  const PreRenderRecord r = Record();
  EXPECT_EQ(r.placementMode, 2);
  EXPECT_EQ(r.loopType, 1);
  EXPECT_EQ(r.timeAngle, 0.0);
  EXPECT_EQ(r.waitingFraction, 0.0);
  EXPECT_EQ(r.rangeType, 1);
  EXPECT_EQ(r.rangeStartFraction, 0.0);
  EXPECT_EQ(r.rangeEndFraction, 1.0);
  EXPECT_EQ(r.rangeStartSeconds, 0.0);
  EXPECT_EQ(r.rangeEndSeconds, 10.0);
  EXPECT_EQ(r.easingType, 1);
  EXPECT_EQ(r.easingMode, 3);
}

TEST_F(PreRenderTest, SnapshotOfChangedValues) {
  host().params().SetValue(1, 4);
  host().params().SetValue(3, 2);
  host().params().SetValue(4, -450.5);
  host().params().SetValue(5, 50.0);
  host().params().SetValue(6, 2);
  host().params().SetValue(7, 25.0);
  host().params().SetValue(8, 75.0);
  host().params().SetValue(9, 1.25);
  host().params().SetValue(10, 3.5);
  host().params().SetValue(11, 9);
  host().params().SetValue(12, 1);
  ASSERT_EQ(host().frames().PreRender(0), PF_Err_NONE);
  const PreRenderRecord r = Record();
  EXPECT_EQ(r.placementMode, 4);
  EXPECT_EQ(r.loopType, 2);
  EXPECT_EQ(r.timeAngle, -450.5);
  EXPECT_EQ(r.waitingFraction, 50.0 * 0.01);
  EXPECT_EQ(r.rangeType, 2);
  EXPECT_EQ(r.rangeStartFraction, 25.0 * 0.01);
  EXPECT_EQ(r.rangeEndFraction, 75.0 * 0.01);
  EXPECT_EQ(r.rangeStartSeconds, 1.25);
  EXPECT_EQ(r.rangeEndSeconds, 3.5);
  EXPECT_EQ(r.easingType, 9);
  EXPECT_EQ(r.easingMode, 1);
}

TEST_F(PreRenderTest, WaitingAtHundredPercentIsExactlyOne) {
  host().params().SetValue(5, 100.0);
  ASSERT_EQ(host().frames().PreRender(0), PF_Err_NONE);
  EXPECT_EQ(Record().waitingFraction, 1.0);
}

TEST_F(PreRenderTest, KeyframedParametersAreReadAtTheCurrentTimeOnly) {
  host().params().SetKeyframes(4, {{{0, 30}, 0.0}, {{30, 30}, 360.0}});
  host().params().SetKeyframes(5, {{{0, 30}, 0.0}, {{60, 30}, 100.0}});
  host().params().SetKeyframes(11, {{{0, 30}, 1.0}, {{10, 30}, 5.0}});
  ASSERT_EQ(host().frames().PreRender(15), PF_Err_NONE);
  PreRenderRecord r = Record();
  EXPECT_EQ(r.timeAngle, 180.0);
  EXPECT_EQ(r.waitingFraction, 25.0 * 0.01);
  EXPECT_EQ(r.easingType, 5);
  ASSERT_EQ(host().frames().PreRender(60), PF_Err_NONE);
  r = Record();
  EXPECT_EQ(r.timeAngle, 360.0);
  EXPECT_EQ(r.waitingFraction, 1.0);
  for (const std::string& line : CommandLinesOf("checkout_param")) {
    EXPECT_NE(line.find(" time=60 step=1 scale=30"), std::string::npos) << line;
  }
}

TEST_F(PreRenderTest, ParametersAreCheckedOutInOrderAndAllCheckedIn) {
  ASSERT_EQ(host().frames().PreRender(0), PF_Err_NONE);
  const std::vector<std::string> outs = CommandLinesOf("checkout_param");
  std::vector<std::string> expected;
  for (int index : {1, 3, 4, 5, 11, 12, 6, 7, 8, 9, 10}) {
    expected.push_back("checkout_param index=" + std::to_string(index) + " time=0 step=1 scale=30");
  }
  EXPECT_EQ(outs, expected);
  EXPECT_EQ(CommandLinesOf("checkin_param").size(), 11u);
  EXPECT_EQ(host().accounts().OpenCount(zelvan::testhost::Resource::ParamCheckout), 0);
}

TEST_F(PreRenderTest, RequestsTheWholeInputAtFullResolution) {
  FrameRequest request;
  request.rect = PF_LRect{100, 200, 300, 400};  // the host wants only part of the output
  request.field = 1;
  request.channel_mask = 0x7;
  ASSERT_EQ(host().frames().PreRender(request), PF_Err_NONE);
  const auto requests = host().frames().layer_checkout_requests();
  ASSERT_EQ(requests.size(), 1u);
  ExpectRect(requests[0].rect, 0, 0, 1920, 1080);
  EXPECT_EQ(requests[0].field, 1);
  EXPECT_EQ(requests[0].channel_mask, 0x7);
  EXPECT_NE(requests[0].preserve_rgb_of_zero_alpha, 0);
  // The host's own words come back as it wrote them.
  const PF_RenderRequest& asked = host().frames().pre_render_input().output_request;
  for (int i = 0; i < 4; ++i) EXPECT_EQ(requests[0].reserved[i], asked.reserved[i]) << i;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(requests[0].unused[i], asked.unused[i]) << i;
  EXPECT_NE(asked.reserved[0], 0) << "the host fills them";
  EXPECT_EQ(CommandLinesOf("checkout_layer"),
            std::vector<std::string>{"checkout_layer index=0 id=0 time=0 step=1 scale=30 rect=0,0,1920,1080"});
}

TEST_F(PreRenderTest, RequestAtHalfAndThirdResolution) {
  host().SetDownsample({1, 2}, {1, 2});
  ASSERT_EQ(host().frames().PreRender(0), PF_Err_NONE);
  ExpectRect(RequestRect(), 0, 0, 960, 540);
  host().SetDownsample({1, 3}, {1, 3});
  ASSERT_EQ(host().frames().PreRender(0), PF_Err_NONE);
  ExpectRect(RequestRect(), 0, 0, 640, 360);
}

TEST_F(PreRenderTest, OddWidthAtHalfResolutionRoundsUp) {
  host().comp().effect_layer().width = 1921;
  host().SetDownsample({1, 2}, {1, 2});
  ASSERT_EQ(host().frames().PreRender(0), PF_Err_NONE);
  ExpectRect(RequestRect(), 0, 0, 961, 540);
}

TEST_F(PreRenderTest, EmptyOutputRectsBecomeTheCheckoutRects) {
  host().SetDownsample({1, 2}, {1, 2});
  ASSERT_EQ(host().frames().PreRender(0), PF_Err_NONE);
  const auto results = host().frames().layer_checkout_results();
  ASSERT_EQ(results.size(), 1u);
  const PF_PreRenderOutput& out = host().frames().pre_render_output();
  ExpectRect(out.result_rect, results[0].result_rect.left, results[0].result_rect.top, results[0].result_rect.right,
             results[0].result_rect.bottom);
  ExpectRect(out.max_result_rect, 0, 0, 960, 540);
  EXPECT_NE(out.flags & PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS, 0);
}

TEST_F(PreRenderTest, OutputRectsGrowAndOtherFlagsStay) {
  FrameRequest request;
  request.result_rect = PF_LRect{-10, -20, 100, 100};
  request.max_result_rect = PF_LRect{0, 0, 3000, 50};
  request.flags = PF_RenderOutputFlag_GPU_RENDER_POSSIBLE;
  ASSERT_EQ(host().frames().PreRender(request), PF_Err_NONE);
  const PF_PreRenderOutput& out = host().frames().pre_render_output();
  ExpectRect(out.result_rect, -10, -20, 1920, 1080);
  ExpectRect(out.max_result_rect, 0, 0, 3000, 1080);
  EXPECT_EQ(out.flags, PF_RenderOutputFlag_GPU_RENDER_POSSIBLE | PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS);
}

TEST_F(PreRenderTest, RecordIsPublishedWithAReleaseFunction) {
  ASSERT_EQ(host().frames().PreRender(0), PF_Err_NONE);
  EXPECT_NE(host().frames().pre_render_output().pre_render_data, nullptr);
  EXPECT_NE(host().frames().pre_render_output().delete_pre_render_data_func, nullptr);
  const std::size_t live = host().accounts().handles().live();
  EXPECT_EQ(live, 2u);  // the global record and this frame's record
  host().frames().Abandon();
  EXPECT_EQ(host().accounts().handles().live(), 1u);
  EXPECT_EQ(host().frames().pre_render_data_deleted(), 1);
}

TEST_F(PreRenderTest, RenderReceivesTheSameFramesRecord) {
  ASSERT_EQ(host().frames().PreRender(0), PF_Err_NONE);
  void* data = host().frames().pre_render_output().pre_render_data;
  ASSERT_EQ(host().frames().Render(), PF_Err_NONE);
  ASSERT_EQ(host().frames().deleted_pre_render_data().size(), 1u);
  EXPECT_EQ(host().frames().deleted_pre_render_data()[0], data);
}

TEST_F(PreRenderTest, AThousandFramesLeaveNoHandle) {
  // Small frames: the handles are what this counts, not pixels.
  host().comp().effect_layer().width = 64;
  host().comp().effect_layer().height = 36;
  for (int frame = 0; frame < 1000; ++frame) {
    ASSERT_EQ(host().frames().RenderFrame(frame % 300), PF_Err_NONE) << "frame " << frame;
  }
  EXPECT_EQ(host().accounts().handles().live(), 1u);  // the global record only
  EXPECT_EQ(host().frames().pre_render_data_deleted(), 1000);
  EXPECT_EQ(host().accounts().handles().created(), 1001);
}

TEST_F(PreRenderTest, AThousandAbandonedFramesLeaveNoHandle) {
  for (int frame = 0; frame < 1000; ++frame) ASSERT_EQ(host().frames().PreRender(frame % 300), PF_Err_NONE);
  host().frames().Abandon();
  EXPECT_EQ(host().accounts().handles().live(), 1u);
  EXPECT_EQ(host().frames().pre_render_data_deleted(), 1000);
}

TEST_F(PreRenderTest, FirstFailingCheckoutEndsTheCommandWithItsCode) {
  host().faults().FailCall("checkout_param", 3, 0x3C3);
  EXPECT_EQ(host().frames().PreRender(0), 0x3C3);
  EXPECT_EQ(CommandLinesOf("checkout_param").size(), 3u);
  EXPECT_EQ(CommandLinesOf("checkout_layer").size(), 0u);
  EXPECT_EQ(CommandLinesOf("checkin_param").size(), 2u);  // the two that succeeded
  EXPECT_EQ(host().accounts().handles().live(), 1u) << "the abandoned frame's record is released";
}

TEST_F(PreRenderTest, EachCheckoutFailingInTurn) {
  for (int nth = 1; nth <= 11; ++nth) {
    SCOPED_TRACE("checkout " + std::to_string(nth));
    host().faults().Clear();
    host().faults().FailCall("checkout_param", nth, 1000 + nth);
    EXPECT_EQ(host().frames().PreRender(0), 1000 + nth);
    EXPECT_EQ(CommandLinesOf("checkout_param").size(), std::size_t(nth));
    EXPECT_EQ(host().accounts().OpenCount(zelvan::testhost::Resource::ParamCheckout), 0);
    EXPECT_EQ(host().frames().pre_render_output().flags & PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS, 0)
        << "the flag is set only once every checkout succeeded";
  }
  EXPECT_EQ(host().accounts().handles().live(), 1u);
}

TEST_F(PreRenderTest, FailingLayerCheckoutLeavesTheOutputRectsAlone) {
  host().faults().FailCall("checkout_layer", 1, 0x4C4);
  FrameRequest request;
  request.result_rect = PF_LRect{1, 2, 3, 4};
  EXPECT_EQ(host().frames().PreRender(request), 0x4C4);
  ExpectRect(host().frames().pre_render_output().result_rect, 1, 2, 3, 4);
  ExpectRect(host().frames().pre_render_output().max_result_rect, 0, 0, 0, 0);
  EXPECT_EQ(host().accounts().handles().live(), 1u);
  const std::vector<unsigned char>& bytes = host().frames().pre_render_data_bytes();
  ASSERT_GE(bytes.size(), sizeof(PreRenderRecord));
  EXPECT_EQ(std::count(bytes.begin(), bytes.begin() + sizeof(PreRenderRecord), 0), long(sizeof(PreRenderRecord)))
      << "the record is not written";
}

TEST_F(PreRenderTest, FailingCheckInAfterTheSnapshotIsTheCommandsError) {
  host().faults().FailCall("checkin_param", 4, 0x5C5);
  EXPECT_EQ(host().frames().PreRender(0), 0x5C5);
  EXPECT_EQ(CommandLinesOf("checkin_param").size(), 11u) << "the others are still checked in";
  EXPECT_EQ(host().accounts().handles().live(), 1u);
}

TEST_F(PreRenderTest, RefusedHandleIsOutOfMemoryAndReadsNothing) {
  host().faults().FailNewHandle();
  EXPECT_EQ(host().frames().PreRender(0), PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(CommandLinesOf("checkout_param").size(), 0u);
  EXPECT_EQ(CommandLinesOf("checkout_layer").size(), 0u);
  EXPECT_EQ(host().frames().pre_render_output().pre_render_data, nullptr);
}

TEST_F(PreRenderTest, RefusedLockIsOutOfMemoryAndDisposesTheHandle) {
  host().faults().FailLockHandle();
  EXPECT_EQ(host().frames().PreRender(0), PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(CommandLinesOf("checkout_param").size(), 0u);
  EXPECT_EQ(host().frames().pre_render_output().pre_render_data, nullptr);
  EXPECT_EQ(CommandLinesOf("host_dispose_handle").size(), 1u);
  EXPECT_EQ(host().accounts().handles().live(), 1u);
}

TEST_F(PreRenderTest, RefusedHandleSuiteReturns516) {
  host().faults().RefuseSuite("PF Handle Suite", 2, 0x5);
  EXPECT_EQ(host().frames().PreRender(0), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(CommandLinesOf("host_new_handle").size(), 0u);
  host().faults().Clear();
}

}  // namespace
