// Rectangle utilities.
#include <gtest/gtest.h>

#include "Smart_Utils.h"

namespace {

bool Same(const PF_LRect& a, const PF_LRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(UnionLRect, EmptyDestinationTakesTheSource) {
  const PF_LRect src{10, 20, 30, 40};
  PF_LRect dst{0, 0, 0, 0};
  UnionLRect(&src, &dst);
  EXPECT_TRUE(Same(dst, PF_LRect{10, 20, 30, 40}));
}

TEST(UnionLRect, EmptySourceLeavesDestination) {
  const PF_LRect src{5, 5, 5, 9};
  PF_LRect dst{0, 0, 10, 10};
  UnionLRect(&src, &dst);
  EXPECT_TRUE(Same(dst, PF_LRect{0, 0, 10, 10}));
}

TEST(UnionLRect, EmptyDestinationTakesEvenAnEmptySource) {
  const PF_LRect src{7, 7, 3, 3};
  PF_LRect dst{0, 0, 0, 0};
  UnionLRect(&src, &dst);
  EXPECT_TRUE(Same(dst, PF_LRect{7, 7, 3, 3}));
}

TEST(UnionLRect, BoundingBoxOfTwoRectangles) {
  const PF_LRect src{5, -5, 20, 8};
  PF_LRect dst{0, 0, 10, 10};
  UnionLRect(&src, &dst);
  EXPECT_TRUE(Same(dst, PF_LRect{0, -5, 20, 10}));
}

TEST(UnionLRect, ContainedSourceChangesNothing) {
  const PF_LRect src{2, 2, 4, 4};
  PF_LRect dst{0, 0, 10, 10};
  UnionLRect(&src, &dst);
  EXPECT_TRUE(Same(dst, PF_LRect{0, 0, 10, 10}));
}

TEST(IsEmptyRect, ZeroWidthOrHeightOrInvertedIsEmpty) {
  const PF_LRect zero_width{3, 0, 3, 10}, zero_height{0, 4, 10, 4}, inverted{5, 5, 1, 9}, unit{0, 0, 1, 1};
  EXPECT_TRUE(IsEmptyRect(&zero_width));
  EXPECT_TRUE(IsEmptyRect(&zero_height));
  EXPECT_TRUE(IsEmptyRect(&inverted));
  EXPECT_FALSE(IsEmptyRect(&unit));
}

TEST(IsEmptyRect, ComparisonsAreSigned) {
  const PF_LRect negative{-10, -10, -5, -5};
  EXPECT_FALSE(IsEmptyRect(&negative));
}

TEST(IsEdgePixel, AllFourSidesCountInclusively) {
  PF_LRect r{0, 0, 10, 10};
  EXPECT_TRUE(IsEdgePixel(&r, 0, 5));
  EXPECT_TRUE(IsEdgePixel(&r, 10, 5));
  EXPECT_TRUE(IsEdgePixel(&r, 5, 10));
  EXPECT_TRUE(IsEdgePixel(&r, 10, 10));
  EXPECT_TRUE(IsEdgePixel(&r, 5, 0));
  EXPECT_TRUE(IsEdgePixel(&r, 0, 0));
  EXPECT_FALSE(IsEdgePixel(&r, 5, 5));
  EXPECT_FALSE(IsEdgePixel(&r, 0, 11));
  EXPECT_FALSE(IsEdgePixel(&r, 11, 0));
  EXPECT_FALSE(IsEdgePixel(&r, -1, 5));
}

}  // namespace
