#include <gtest/gtest.h>

#include <climits>
#include <ostream>

#include "HostValues.h"
#include "Params.h"
#include "Placement.h"

namespace zelvan {
namespace {

bool operator==(const PF_LRect& a, const PF_LRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Str(const PF_LRect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

struct PlacementCase {
  A_long lw, lh, ow, oh, mode;
  PF_LRect src, dst;
};

class PlacementTable : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(PlacementTable, Rectangles) {
  const PlacementCase& c = GetParam();
  const PlacementRects r = placementRects(c.mode, c.lw, c.lh, c.ow, c.oh);
  EXPECT_TRUE(r.src == c.src) << "src " << Str(r.src) << " want " << Str(c.src);
  EXPECT_TRUE(r.dst == c.dst) << "dst " << Str(r.dst) << " want " << Str(c.dst);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, PlacementTable,
    ::testing::Values(
        PlacementCase{1920, 1080, 1280, 720, kModeCenter, {320, 180, 1600, 900}, {0, 0, 1280, 720}},
        PlacementCase{1920, 1080, 1280, 720, kModeWhole, {0, 0, 1920, 1080}, {0, 0, 1280, 720}},
        PlacementCase{1920, 1080, 1280, 720, kModeNoMargin, {0, 0, 1920, 1080}, {0, 0, 1280, 720}},
        PlacementCase{1000, 500, 800, 800, kModeCenter, {100, -150, 900, 650}, {0, 0, 800, 800}},
        PlacementCase{1000, 500, 800, 800, kModeWhole, {0, 0, 1000, 500}, {0, 200, 800, 600}},
        PlacementCase{1000, 500, 800, 800, kModeNoMargin, {250, 0, 750, 500}, {0, 0, 800, 800}},
        PlacementCase{1080, 1920, 1920, 1080, kModeWhole, {0, 0, 1080, 1920}, {656, 0, 1264, 1080}},
        PlacementCase{1080, 1920, 1920, 1080, kModeNoMargin, {0, 656, 1080, 1264}, {0, 0, 1920, 1080}},
        PlacementCase{999, 333, 500, 500, kModeWhole, {0, 0, 999, 333}, {0, 167, 500, 333}},
        PlacementCase{1920, 1080, 1920, 1080, kModeCenter, {0, 0, 1920, 1080}, {0, 0, 1920, 1080}},
        PlacementCase{1920, 1080, 1920, 1080, kModeWhole, {0, 0, 1920, 1080}, {0, 0, 1920, 1080}},
        PlacementCase{1920, 1080, 1920, 1080, kModeNoMargin, {0, 0, 1920, 1080}, {0, 0, 1920, 1080}},
        PlacementCase{1920, 1080, 1920, 1080, 99, {0, 0, 1920, 1080}, {0, 0, 1920, 1080}}));

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, PlacementTable,
    ::testing::Values(
        // An odd output in "Center" is one pixel wider than its source: the copy scales.
        PlacementCase{100, 100, 101, 101, kModeCenter, {0, 0, 100, 100}, {0, 0, 101, 101}},
        // Equal odd sizes: "Fit to Layer" whatever the mode, so no pixel is lost to the halving.
        PlacementCase{101, 101, 101, 101, kModeCenter, {0, 0, 101, 101}, {0, 0, 101, 101}},
        // Odd sizes on both sides: each half is truncated on its own (50 + 31, not (101 + 63) / 2).
        PlacementCase{101, 51, 63, 35, kModeCenter, {19, 8, 81, 42}, {0, 0, 63, 35}},
        // Equal ratios take the "otherwise" row; only worlds of no size (both
        // ratios infinite, or both 0) show which row that was.
        PlacementCase{0, 0, 64, 36, kModeWhole, {0, 0, 0, 0}, {0, 0, 0, 36}},
        PlacementCase{64, 36, 0, 0, kModeNoMargin, {0, 0, 64, 0}, {0, 0, 0, 0}},
        PlacementCase{640, 480, 1920, 1080, kModeFitToLayer, {0, 0, 640, 480}, {0, 0, 1920, 1080}},
        PlacementCase{640, 480, 1920, 1080, 0, {0, 0, 640, 480}, {0, 0, 1920, 1080}},
        PlacementCase{640, 480, 1920, 1080, -3, {0, 0, 640, 480}, {0, 0, 1920, 1080}},
        // Taller than wide into wide: bars left and right, crop top and bottom.
        PlacementCase{500, 1000, 800, 800, kModeWhole, {0, 0, 500, 1000}, {200, 0, 600, 800}},
        PlacementCase{500, 1000, 800, 800, kModeNoMargin, {0, 250, 500, 750}, {0, 0, 800, 800}}));

TEST(Placement, WorldsLieOnTheLayerByTheirOrigin) {
  EXPECT_TRUE(worldOnLayer(-6, 4, 76, 40) == MakeRect(-6, 4, 70, 44));
  EXPECT_TRUE(layerToWorld(MakeRect(0, 0, 64, 36), -6, 4) == MakeRect(6, -4, 70, 32));
  EXPECT_TRUE(worldOnLayer(INT_MAX - 1, 0, 10, 10) == MakeRect(INT_MAX - 1, 0, INT_MAX, 10)) << "saturates";
  EXPECT_TRUE(layerToWorld(MakeRect(0, 0, 10, 10), INT_MIN, 0) == MakeRect(INT_MAX, 0, INT_MAX, 10));
}

TEST(Placement, ZeroSizedWorldsStayDefined) {
  // Dividing by a zero size gives infinite or undefined ratios; the bounds
  // saturate instead of reaching an out-of-range conversion.
  const A_long sizes[] = {0, 1, 1920, INT_MAX};
  for (A_long mode = 0; mode <= 5; ++mode) {
    for (A_long lw : sizes) {
      for (A_long lh : sizes) {
        const PlacementRects r = placementRects(mode, lw, lh, 0 == lw ? 1920 : 0, 1080);
        EXPECT_GE(r.dst.left, 0);
        EXPECT_GE(r.dst.top, 0);
        EXPECT_GE(r.src.left, mode == kModeCenter ? INT_MIN : 0);
      }
    }
  }
}

}  // namespace
}  // namespace zelvan
