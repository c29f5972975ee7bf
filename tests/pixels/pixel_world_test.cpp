#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

#include "Copy.h"
#include "FillPrints.h"
#include "PixelTestUtil.h"
#include "PixelWorld.h"

namespace zelvan::pixels {
namespace {

using test::DepthName;
using test::FillNoise;
using test::kDepths;

class WorldPerDepth : public ::testing::TestWithParam<Depth> {};

TEST_P(WorldPerDepth, ViewDescribesTheHostLayout) {
  const Depth d = GetParam();
  PixelWorld w(7, 5, d, 4 * BytesPerChannel(d));
  const PF_EffectWorld* v = w.world();
  EXPECT_EQ(v->width, 7);
  EXPECT_EQ(v->height, 5);
  EXPECT_EQ(v->rowbytes, 7 * BytesPerPixel(d) + 4 * BytesPerChannel(d));
  EXPECT_NE(v->data, nullptr);
  EXPECT_EQ(DepthOf(*v), d);
  EXPECT_EQ((v->world_flags & PF_WorldFlag_DEEP) != 0, d == Depth::k16);
  EXPECT_EQ((v->world_flags & PF_WorldFlag_FLOAT) != 0, d == Depth::kFloat);
  EXPECT_TRUE(test::IsTransparent(w.get(6, 4)));
}

TEST_P(WorldPerDepth, ChannelsLieInArgbOrderAtTheHostsScale) {
  const Depth d = GetParam();
  PixelWorld w(2, 2, d, 8);
  w.set(1, 1, Color{1.0f, 0.5f, 0.25f, 0.0f});
  const unsigned char* p = w.row(1) + BytesPerPixel(d);
  switch (d) {
    case Depth::k8: {
      const PF_Pixel8* px = reinterpret_cast<const PF_Pixel8*>(p);
      EXPECT_EQ(px->alpha, 255);
      EXPECT_EQ(px->red, 128);
      EXPECT_EQ(px->green, 64);
      EXPECT_EQ(px->blue, 0);
      break;
    }
    case Depth::k16: {
      const PF_Pixel16* px = reinterpret_cast<const PF_Pixel16*>(p);
      EXPECT_EQ(px->alpha, 32768);
      EXPECT_EQ(px->red, 16384);
      EXPECT_EQ(px->green, 8192);
      EXPECT_EQ(px->blue, 0);
      break;
    }
    case Depth::kFloat: {
      const PF_PixelFloat* px = reinterpret_cast<const PF_PixelFloat*>(p);
      EXPECT_EQ(px->alpha, 1.0f);
      EXPECT_EQ(px->red, 0.5f);
      EXPECT_EQ(px->green, 0.25f);
      EXPECT_EQ(px->blue, 0.0f);
      break;
    }
  }
}

TEST_P(WorldPerDepth, IntegerDepthsClampOutOfRangeValues) {
  const Depth d = GetParam();
  PixelWorld w(1, 1, d);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  w.set(0, 0, Color{nan, 1.5f, -inf, inf});
  const Color c = w.get(0, 0);
  if (d == Depth::kFloat) {
    EXPECT_TRUE(std::isnan(c.alpha));
    EXPECT_EQ(c.red, 1.5f);
  } else {
    EXPECT_EQ(c, (Color{0.0f, 1.0f, 0.0f, 1.0f}));
  }
}

TEST_P(WorldPerDepth, ZeroSizeWorldsHaveNoPixels) {
  for (auto [wd, ht] : {std::pair{0, 0}, std::pair{0, 9}, std::pair{9, 0}}) {
    PixelWorld w(wd, ht, GetParam());
    EXPECT_EQ(w.world()->data, nullptr);
    w.fill(Color{1, 1, 1, 1});
    PaintFrameStamp(*w.world(), 3);
    EXPECT_EQ(ReadFrameStamp(*w.world()).frame, -1);
    EXPECT_EQ(Checksum(*w.world()), Checksum(*PixelWorld(wd, ht, GetParam()).world()));
  }
}

TEST_P(WorldPerDepth, CopiesAreDeepAndMovesKeepThePixels) {
  PixelWorld a(9, 4, GetParam(), 12);
  FillNoise(a, 3);
  const std::uint64_t sum = Checksum(*a.world());
  PixelWorld b(a);
  EXPECT_NE(b.world()->data, a.world()->data);
  EXPECT_EQ(Checksum(*b.world()), sum);
  a.fill(Color{});
  EXPECT_EQ(Checksum(*b.world()), sum);
  PixelWorld c(std::move(b));
  EXPECT_EQ(Checksum(*c.world()), sum);
  EXPECT_EQ(b.world()->data, nullptr);
  a = c;
  EXPECT_EQ(Checksum(*a.world()), sum);
  EXPECT_TRUE(a.paddingIntact());
}

// The stable checksum and the fast fingerprint alike: equal for equal pixels
// whatever the padding, different once any one pixel byte changes.
TEST_P(WorldPerDepth, SumsSeePixelsButNotPadding) {
  const Depth d = GetParam();
  for (const auto sum : {&Checksum, &Fingerprint}) {
    SCOPED_TRACE(sum == &Checksum ? "Checksum" : "Fingerprint");
    PixelWorld a(13, 6, d, 0), b(13, 6, d, 8 * BytesPerChannel(d));
    FillNoise(a, 9);
    FillNoise(b, 9);
    EXPECT_EQ(sum(*a.world()), sum(*b.world()));
    b.row(0)[13 * BytesPerPixel(d)] ^= 0xff;  // padding
    EXPECT_EQ(sum(*a.world()), sum(*b.world()));
    for (A_long y = 0; y < 6; ++y) {
      for (A_long i = 0; i < 13 * BytesPerPixel(d); ++i) {
        b.row(y)[i] ^= 0x10;
        EXPECT_NE(sum(*a.world()), sum(*b.world())) << "byte " << i << " of row " << y;
        b.row(y)[i] ^= 0x10;
      }
    }
    EXPECT_NE(sum(*PixelWorld(13, 6, d).world()), sum(*PixelWorld(6, 13, d).world())) << "the shape counts";
  }
}

// Worlds made in one colour, asked for in turn of one FillPrints: each answer
// is the fingerprint of that world itself, whichever were asked before.
struct FilledWorld {
  const char* name;
  A_long width = 7, height = 5;
  Depth depth = Depth::k8;
  A_long padding = 0;
  Color fill{1.0f, 0.25f, 0.5f, 0.75f};
};
FilledWorld Filled(const char* name) { return FilledWorld{name}; }
FilledWorld Sized(FilledWorld w, A_long width, A_long height) { return w.width = width, w.height = height, w; }
FilledWorld AtDepth(FilledWorld w, Depth d) { return w.depth = d, w; }
FilledWorld Padded(FilledWorld w, A_long bytes) { return w.padding = bytes, w; }
FilledWorld InColour(FilledWorld w, Color c) { return w.fill = c, w; }

TEST(FillPrints, EachSizeDepthAndColourHasItsOwn) {
  const Color other{1.0f, 0.75f, 0.5f, 0.25f};
  const FilledWorld asked[] = {
      Filled("the first"),
      InColour(Filled("another colour, the same size"), other),
      Sized(Filled("wide where it was tall"), 5, 7),
      Sized(Filled("as wide, shorter"), 7, 3),
      Sized(Filled("as tall, narrower"), 3, 5),
      AtDepth(Filled("16 bits"), Depth::k16),
      AtDepth(Filled("float"), Depth::kFloat),
      Padded(Filled("the first again, its rows padded"), 16),
      InColour(Sized(Filled("another colour and size"), 3, 3), other),
      Filled("the first after more than are kept"),
      InColour(Filled("another colour again"), other),
  };
  FillPrints prints;
  for (const FilledWorld& w : asked) {
    SCOPED_TRACE(w.name);
    const PixelWorld world(w.width, w.height, w.depth, w.padding, w.fill);
    EXPECT_EQ(prints.Of(world, w.fill), Fingerprint(*world.world()));
  }
}

TEST_P(WorldPerDepth, CompareReportsTheWorstChannelAndCountsOverTolerance) {
  const Depth d = GetParam();
  PixelWorld a(10, 10, d), b(10, 10, d);
  a.fill(Color{1.0f, 0.5f, 0.5f, 0.5f});
  b.fill(Color{1.0f, 0.5f, 0.5f, 0.5f});
  EXPECT_TRUE(CompareWorlds(*a.world(), *b.world(), 0.0).within());
  b.set(3, 7, Color{1.0f, 0.5f, 0.75f, 0.5f});
  b.set(4, 7, Color{1.0f, 0.5f, 0.52f, 0.5f});
  const Comparison r = CompareWorlds(*a.world(), *b.world(), 0.1);
  EXPECT_FALSE(r.within());
  EXPECT_EQ(r.over, 1);
  EXPECT_NEAR(r.max_diff, 0.25, 2.0 / 255.0);
  EXPECT_EQ(r.worst_x, 3);
  EXPECT_EQ(r.worst_y, 7);
  const PF_LRect elsewhere{0, 0, 10, 7};
  EXPECT_TRUE(CompareWorlds(*a.world(), *b.world(), 0.0, &elsewhere).within());
  EXPECT_FALSE(CompareWorlds(*a.world(), *PixelWorld(10, 9, d).world(), 1.0).same_shape);
}

TEST_P(WorldPerDepth, StampReadsBackAtEveryCellCentre) {
  PixelWorld w(200, 120, GetParam());
  const A_long cell = 20;
  for (int frame : {0, 1, 2, 777, 8191, 8192, kStampMaxFrame}) {
    PaintFrameStamp(*w.world(), frame, cell);
    for (A_long y = cell / 2; y < w.height(); y += cell)
      for (A_long x = cell / 2; x < w.width(); x += cell) ASSERT_EQ(ReadStampAt(*w.world(), x, y), frame) << x << "," << y;
    const StampReading r = ReadFrameStamp(*w.world());
    EXPECT_EQ(r.frame, frame);
    EXPECT_EQ(r.votes, r.readable);
    EXPECT_GT(r.readable, r.samples / 2);
  }
}

TEST(Stamp, EveryFrameHasItsOwnCode) {
  PixelWorld w(24, 24, Depth::k8);
  for (int frame = 0; frame <= kStampMaxFrame; frame += 37) {
    PaintFrameStamp(*w.world(), frame, 12);
    ASSERT_EQ(ReadStampAt(*w.world(), 6, 6), frame);
    ASSERT_EQ(ReadStampAt(*w.world(), 18, 6), frame);
  }
  EXPECT_THROW(PaintFrameStamp(*w.world(), -1), std::out_of_range);
  EXPECT_THROW(PaintFrameStamp(*w.world(), kStampMaxFrame + 1), std::out_of_range);
}

TEST(Stamp, NothingElseReadsAsAFrame) {
  PixelWorld w(64, 64, Depth::k16);
  for (const Color& c : {Color{}, Color{1, 0, 0, 0}, Color{1, 1, 1, 1}, test::Sentinel(), Color{0.5f, 0.5f, 0.5f, 0.5f}}) {
    w.fill(c);
    EXPECT_EQ(ReadFrameStamp(*w.world()).readable, 0);
  }
  PaintFrameStamp(*w.world(), 5, 16);
  EXPECT_EQ(ReadStampAt(*w.world(), 16, 8), -1);  // on a cell edge
  EXPECT_EQ(ReadStampAt(*w.world(), 1, 8), -1);   // too near the border to check its neighbours
  EXPECT_EQ(ReadStampAt(*w.world(), -5, 8), -1);
  EXPECT_EQ(ReadStampAt(*w.world(), 8, 64), -1);
}

TEST(Digits, GlyphsAreDistinctAndStayInsideTheirBounds) {
  std::set<std::uint64_t> seen;
  for (int digit = 0; digit <= 9; ++digit) {
    PixelWorld w(40, 40, Depth::k8);
    DrawNumber(*w.world(), digit, 5, 3, 4, Color{1, 1, 1, 1});
    const PF_LRect b = NumberBounds(digit, 5, 3, 4);
    EXPECT_EQ(b.right - b.left, 20);
    EXPECT_EQ(b.bottom - b.top, 28);
    PixelWorld blank(40, 40, Depth::k8);
    const Comparison inside = CompareWorlds(*w.world(), *blank.world(), 0.0, &b);
    EXPECT_GT(inside.over, 0);
    EXPECT_EQ(CompareWorlds(*w.world(), *blank.world(), 0.0).over, inside.over);
    seen.insert(Checksum(*w.world()));
  }
  EXPECT_EQ(seen.size(), 10u);
  const PF_LRect wide = NumberBounds(-1234567890123LL, 0, 0, 2);
  EXPECT_EQ(wide.right, (14 * 6 - 1) * 2);
}

TEST(Digits, DrawingIsClippedToTheWorld) {
  PixelWorld w(30, 20, Depth::kFloat);
  const A_long big = std::numeric_limits<A_long>::max();
  const A_long small = std::numeric_limits<A_long>::min();
  DrawNumber(*w.world(), 8888, -7, -9, 5, Color{1, 1, 1, 1});
  DrawNumber(*w.world(), -42, 25, 15, big, Color{1, 1, 1, 1});
  DrawNumber(*w.world(), 1, small, small, 3, Color{1, 1, 1, 1});
  DrawNumber(*w.world(), 1, big, big, big, Color{1, 1, 1, 1});
  EXPECT_TRUE(w.paddingIntact());
  PixelWorld empty;
  DrawNumber(*empty.world(), 5, 0, 0, 3, Color{1, 1, 1, 1});
}

TEST_P(WorldPerDepth, DemoFramesKeepTheirStampUnderTheNumber) {
  PixelWorld w(320, 180, GetParam());
  for (long long frame : {0LL, 42LL, 12345LL, 99999LL, -3LL}) {
    PaintDemoFrame(*w.world(), frame);
    const long long period = kStampMaxFrame + 1;
    EXPECT_EQ(ReadFrameStamp(*w.world()).frame, ((frame % period) + period) % period);
    EXPECT_EQ(w.get(160, 2).alpha, 1.0f);
  }
  for (auto [wd, ht] : {std::pair{1, 1}, std::pair{3, 50}, std::pair{50, 3}}) {
    PixelWorld tiny(wd, ht, GetParam(), 4 * BytesPerChannel(GetParam()));
    PaintDemoFrame(*tiny.world(), 123456789012LL);
    EXPECT_TRUE(tiny.paddingIntact());
  }
}

TEST(PixelWorldArguments, BadSizesAndPaddingThrow) {
  EXPECT_THROW(PixelWorld(-1, 4, Depth::k8), std::invalid_argument);
  EXPECT_THROW(PixelWorld(4, -1, Depth::k8), std::invalid_argument);
  EXPECT_THROW(PixelWorld(4, 4, Depth::k8, -1), std::invalid_argument);
  EXPECT_THROW(PixelWorld(4, 4, Depth::k16, 3), std::invalid_argument);
  EXPECT_THROW(PixelWorld(4, 4, Depth::kFloat, 6), std::invalid_argument);
  EXPECT_THROW(PixelWorld(std::numeric_limits<A_long>::max() / 8, 1, Depth::kFloat), std::invalid_argument);
  EXPECT_NO_THROW(PixelWorld(4, 4, Depth::k8, 3));
}

INSTANTIATE_TEST_SUITE_P(Depths, WorldPerDepth, ::testing::ValuesIn(kDepths),
                         [](const ::testing::TestParamInfo<Depth>& i) { return std::string(DepthName(i.param)); });

}  // namespace
}  // namespace zelvan::pixels
