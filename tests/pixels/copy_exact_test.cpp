// Copies between rectangles of equal size, and the copy's handling of bad
// and degenerate input.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "Copy.h"
#include "PixelTestUtil.h"
#include "PixelWorld.h"

namespace zelvan::pixels {
namespace {

using test::DepthName;
using test::FillNoise;
using test::kDepths;
using test::RectText;
using test::Sentinel;

struct Padding {
  int src_channels, dst_channels;  // padding per row, in channels
};

class ExactCopy : public ::testing::TestWithParam<std::tuple<Depth, Padding>> {};

TEST_P(ExactCopy, WholeWorldsCopyBitForBitWhateverTheRowbytes) {
  const auto [d, pad] = GetParam();
  const A_long bpc = BytesPerChannel(d);
  for (auto [w, h] : {std::pair{1, 1}, std::pair{37, 11}, std::pair{256, 3}}) {
    PixelWorld src(w, h, d, pad.src_channels * bpc), dst(w, h, d, pad.dst_channels * bpc);
    FillNoise(src, static_cast<std::uint32_t>(w * 7 + h));
    dst.fill(Sentinel());
    ASSERT_EQ(CopyWorld(src.world(), dst.world(), nullptr, nullptr), PF_Err_NONE);
    EXPECT_TRUE(CompareWorlds(*src.world(), *dst.world(), 0.0).within()) << w << "x" << h;
    EXPECT_EQ(Checksum(*src.world()), Checksum(*dst.world()));
    EXPECT_TRUE(dst.paddingIntact());
    EXPECT_TRUE(src.paddingIntact());
  }
}

TEST_P(ExactCopy, EqualRectanglesMoveAPatchAndNothingElse) {
  const auto [d, pad] = GetParam();
  const A_long bpc = BytesPerChannel(d);
  PixelWorld src(64, 48, d, pad.src_channels * bpc), dst(50, 40, d, pad.dst_channels * bpc);
  FillNoise(src, 11);
  dst.fill(Sentinel());
  const PF_LRect sr{10, 5, 40, 25}, dr{3, 7, 33, 27};
  ASSERT_EQ(CopyWorld(src.world(), dst.world(), &sr, &dr), PF_Err_NONE);
  for (A_long y = 0; y < dst.height(); ++y) {
    for (A_long x = 0; x < dst.width(); ++x) {
      const bool inside = x >= dr.left && x < dr.right && y >= dr.top && y < dr.bottom;
      const Color want = inside ? src.get(x - dr.left + sr.left, y - dr.top + sr.top) : Sentinel();
      ASSERT_EQ(dst.get(x, y), want) << x << "," << y;
    }
  }
  EXPECT_TRUE(dst.paddingIntact());
}

INSTANTIATE_TEST_SUITE_P(DepthsAndPadding, ExactCopy,
                         ::testing::Combine(::testing::ValuesIn(kDepths),
                                            ::testing::Values(Padding{0, 0}, Padding{0, 12}, Padding{20, 0},
                                                              Padding{4, 36})),
                         [](const auto& i) {
                           const Padding p = std::get<1>(i.param);
                           return std::string(DepthName(std::get<0>(i.param))) + "_pad" +
                                  std::to_string(p.src_channels) + "_" + std::to_string(p.dst_channels);
                         });

class ExactPerDepth : public ::testing::TestWithParam<Depth> {};

// Copies of several megabytes take another route through memory; they are
// exact all the same, with or without padding.
TEST_P(ExactPerDepth, LargeWorldsCopyBitForBit) {
  const Depth d = GetParam();
  for (A_long pad : {0, 64}) {
    PixelWorld src(1920, 1080, d, pad), dst(1920, 1080, d, pad);
    FillNoise(src, 17);
    ASSERT_EQ(CopyWorld(src.world(), dst.world(), nullptr, nullptr), PF_Err_NONE);
    EXPECT_EQ(Checksum(*src.world()), Checksum(*dst.world())) << pad;
    EXPECT_TRUE(dst.paddingIntact());
  }
}

// A layer smaller than the output, shown unscaled in the centre.
TEST_P(ExactPerDepth, SourceOutsideItsWorldIsTransparent) {
  const Depth d = GetParam();
  PixelWorld src(1000, 500, d, 8 * BytesPerChannel(d)), dst(800, 800, d);
  FillNoise(src, 5);
  dst.fill(Sentinel());
  const PF_LRect sr{100, -150, 900, 650};
  ASSERT_EQ(CopyWorld(src.world(), dst.world(), &sr, nullptr), PF_Err_NONE);
  for (A_long y = 0; y < 800; y += (y % 50 == 0 ? 1 : 7)) {
    for (A_long x = 0; x < 800; ++x) {
      const Color got = dst.get(x, y);
      if (y < 150 || y >= 650)
        ASSERT_TRUE(test::IsTransparent(got)) << x << "," << y;
      else
        ASSERT_EQ(got, src.get(x + 100, y - 150)) << x << "," << y;
    }
  }
}

TEST_P(ExactPerDepth, SourceRectangleBeyondEveryEdge) {
  const Depth d = GetParam();
  PixelWorld src(20, 10, d), dst(40, 30, d);
  FillNoise(src, 8);
  dst.fill(Sentinel());
  const PF_LRect sr{-7, -9, 33, 21};  // the whole world and more on every side
  ASSERT_EQ(CopyWorld(src.world(), dst.world(), &sr, nullptr), PF_Err_NONE);
  for (A_long y = 0; y < 30; ++y) {
    for (A_long x = 0; x < 40; ++x) {
      const A_long sx = x - 7, sy = y - 9;
      const bool in = sx >= 0 && sx < 20 && sy >= 0 && sy < 10;
      ASSERT_EQ(dst.get(x, y), in ? src.get(sx, sy) : Color{}) << x << "," << y;
    }
  }
}

TEST_P(ExactPerDepth, DestinationRectangleIsClippedToItsWorld) {
  const Depth d = GetParam();
  PixelWorld src(30, 30, d), dst(20, 20, d);
  FillNoise(src, 2);
  dst.fill(Sentinel());
  const PF_LRect sr{0, 0, 30, 30}, dr{-10, 5, 20, 35};
  ASSERT_EQ(CopyWorld(src.world(), dst.world(), &sr, &dr), PF_Err_NONE);
  for (A_long y = 0; y < 20; ++y)
    for (A_long x = 0; x < 20; ++x)
      ASSERT_EQ(dst.get(x, y), y < 5 ? Sentinel() : src.get(x + 10, y - 5)) << x << "," << y;
}

// An empty source world with an explicit rectangle lies wholly outside
// itself, so its rectangle copies as transparent.
TEST_P(ExactPerDepth, EmptySourceWorldWithARectangleCopiesTransparent) {
  const Depth d = GetParam();
  PixelWorld src(0, 0, d), dst(8, 8, d);
  dst.fill(Sentinel());
  const PF_LRect sr{0, 0, 4, 4}, dr{2, 2, 6, 6};
  ASSERT_EQ(CopyWorld(src.world(), dst.world(), &sr, &dr), PF_Err_NONE);
  for (A_long y = 0; y < 8; ++y)
    for (A_long x = 0; x < 8; ++x) {
      const bool in = x >= 2 && x < 6 && y >= 2 && y < 6;
      ASSERT_EQ(dst.get(x, y), in ? Color{} : Sentinel());
    }
}

TEST_P(ExactPerDepth, NothingToDoLeavesTheDestinationAlone) {
  const Depth d = GetParam();
  PixelWorld src(16, 16, d), dst(16, 16, d);
  FillNoise(src, 4);
  dst.fill(Sentinel());
  const std::uint64_t before = Checksum(*dst.world());
  const PF_LRect empty{5, 5, 5, 9}, inverted{10, 10, 2, 2}, outside{-9, -9, -1, -1}, far{16, 0, 40, 16};
  for (const PF_LRect& r : {empty, inverted}) {
    EXPECT_EQ(CopyWorld(src.world(), dst.world(), &r, nullptr), PF_Err_NONE) << RectText(r);
    EXPECT_EQ(CopyWorld(src.world(), dst.world(), nullptr, &r), PF_Err_NONE) << RectText(r);
  }
  for (const PF_LRect& r : {outside, far})
    EXPECT_EQ(CopyWorld(src.world(), dst.world(), nullptr, &r), PF_Err_NONE) << RectText(r);
  PixelWorld none(0, 5, d);
  EXPECT_EQ(CopyWorld(none.world(), dst.world(), nullptr, nullptr), PF_Err_NONE);
  EXPECT_EQ(CopyWorld(src.world(), none.world(), nullptr, nullptr), PF_Err_NONE);
  EXPECT_EQ(Checksum(*dst.world()), before);
}

TEST_P(ExactPerDepth, BadWorldsAreRefusedUnwritten) {
  const Depth d = GetParam();
  PixelWorld src(16, 16, d), dst(16, 16, d, 4 * BytesPerChannel(d));
  FillNoise(src, 6);
  dst.fill(Sentinel());
  const std::uint64_t before = Checksum(*dst.world());

  struct Case {
    const char* name;
    void (*spoil)(PF_EffectWorld& src, PF_EffectWorld& dst);
  };
  const Case cases[] = {
      {"null source data", [](PF_EffectWorld& s, PF_EffectWorld&) { s.data = nullptr; }},
      {"null destination data", [](PF_EffectWorld&, PF_EffectWorld& t) { t.data = nullptr; }},
      {"negative width", [](PF_EffectWorld& s, PF_EffectWorld&) { s.width = -16; }},
      {"negative height", [](PF_EffectWorld&, PF_EffectWorld& t) { t.height = INT_MIN; }},
      {"short rows", [](PF_EffectWorld& s, PF_EffectWorld&) { s.rowbytes -= 4; }},
      {"negative rowbytes", [](PF_EffectWorld&, PF_EffectWorld& t) { t.rowbytes = -t.rowbytes; }},
      {"other depth", [](PF_EffectWorld& s, PF_EffectWorld&) {
         s.world_flags = (s.world_flags & PF_WorldFlag_FLOAT) ? PF_WorldFlag_DEEP : PF_WorldFlag_FLOAT;
       }},
      {"same pixels", [](PF_EffectWorld& s, PF_EffectWorld& t) { s = t; }},
  };
  for (const Case& c : cases) {
    PF_EffectWorld s = *src.world(), t = *dst.world();
    c.spoil(s, t);
    const PF_LRect sr{0, 0, 8, 8};
    EXPECT_EQ(CopyWorld(&s, &t, nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM) << c.name;
    EXPECT_EQ(CopyWorld(&s, &t, &sr, nullptr), PF_Err_BAD_CALLBACK_PARAM) << c.name;
  }
  if (d != Depth::k8) {
    PF_EffectWorld s = *src.world();
    s.rowbytes += 1;  // 16-bit and float rows must stay aligned to their channels
    s.height = 8;
    EXPECT_EQ(CopyWorld(&s, dst.world(), nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM);
  }
  EXPECT_EQ(CopyWorld(nullptr, dst.world(), nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(CopyWorld(src.world(), nullptr, nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(Checksum(*dst.world()), before);
  EXPECT_TRUE(dst.paddingIntact());
}

TEST_P(ExactPerDepth, CallbackAdapterCopies) {
  const Depth d = GetParam();
  PixelWorld src(33, 17, d), dst(33, 17, d);
  FillNoise(src, 12);
  PF_UtilCallbacks utils{};
  utils.copy = &CopyCallback;
  ASSERT_EQ(utils.copy(nullptr, src.world(), dst.world(), nullptr, nullptr), PF_Err_NONE);
  EXPECT_EQ(Checksum(*src.world()), Checksum(*dst.world()));
}

// Any rectangles at all: each written pixel is the source's constant colour
// or transparent, nothing outside the clipped destination rectangle changes,
// and the sanitizers see no overflow or bad access.
TEST_P(ExactPerDepth, HostileRectanglesAreSafe) {
  const Depth d = GetParam();
  const PF_LRect rects[] = {
      {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
      {INT_MAX - 1, INT_MAX - 1, INT_MAX, INT_MAX},
      {INT_MIN, INT_MIN, INT_MIN + 1, INT_MIN + 1},
      {INT_MIN, 0, INT_MIN + 3, 5},
      {0, 0, INT_MAX, 1},
      {0, INT_MIN, 1, INT_MAX},
      {-1000000000, -2, 1000000037, 25},  // a single sample reaching across the whole source
      {INT_MAX, INT_MAX, INT_MIN, INT_MIN},
      {3, 3, 3, 3},
      {-5, -5, -1, -1},
      {0, 0, 37, 23},
      {5, 4, 6, 5},
      {-3, -3, 40, 26},
      {36, 22, 37, 23},
  };
  PixelWorld src(37, 23, d), dst(29, 31, d, 4 * BytesPerChannel(d));
  const Color colour{0.75f, 0.25f, 0.5f, 1.0f};
  src.fill(colour);
  const Color stored = src.get(0, 0);
  for (int threads : {1, 2}) {
    for (const PF_LRect& sr : rects) {
      for (const PF_LRect& dr : rects) {
        dst.fill(Sentinel());
        const PF_Err err = CopyWorld(src.world(), dst.world(), &sr, &dr, CopyOptions{threads});
        ASSERT_EQ(err, PF_Err_NONE) << RectText(sr) << " -> " << RectText(dr);
        const bool nothing = sr.left >= sr.right || sr.top >= sr.bottom;
        for (A_long y = 0; y < dst.height(); ++y) {
          for (A_long x = 0; x < dst.width(); ++x) {
            const Color got = dst.get(x, y);
            const bool in = !nothing && dr.left <= x && x < dr.right && dr.top <= y && y < dr.bottom;
            if (!in)
              ASSERT_EQ(got, Sentinel()) << RectText(sr) << " -> " << RectText(dr) << " at " << x << "," << y;
            else
              ASSERT_TRUE(test::Near(got, stored, test::Step(d)) || test::IsTransparent(got))
                  << RectText(sr) << " -> " << RectText(dr) << " at " << x << "," << y << ": " << got.alpha
                  << " " << got.red << " " << got.green << " " << got.blue;
          }
        }
        ASSERT_TRUE(dst.paddingIntact());
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, ExactPerDepth, ::testing::ValuesIn(kDepths),
                         [](const ::testing::TestParamInfo<Depth>& i) { return std::string(DepthName(i.param)); });

}  // namespace
}  // namespace zelvan::pixels
