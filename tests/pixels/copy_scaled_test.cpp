// Copies that scale a source rectangle onto a destination rectangle of
// another size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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
using test::Step;

struct Mapping {
  const char* name;
  A_long sw, sh;  // source world
  PF_LRect sr;    // source rectangle; right == 0 means none (whole world)
  A_long dw, dh;  // destination world
  PF_LRect dr;    // destination rectangle; right == 0 means none
  const PF_LRect* src_rect() const { return sr.right == 0 ? nullptr : &sr; }
  const PF_LRect* dst_rect() const { return dr.right == 0 ? nullptr : &dr; }
  PF_LRect dst_area() const { return dr.right == 0 ? PF_LRect{0, 0, dw, dh} : dr; }
};

// The rectangles the effect's placement modes produce, and a few more.
const Mapping kPlacements[] = {
    {"hd_to_720_whole", 1920, 1080, {}, 1280, 720, {}},
    {"hd_to_720_center", 1920, 1080, {320, 180, 1600, 900}, 1280, 720, {}},
    {"wide_into_square_whole", 1000, 500, {}, 800, 800, {0, 200, 800, 600}},
    {"wide_into_square_no_margin", 1000, 500, {250, 0, 750, 500}, 800, 800, {}},
    {"portrait_to_hd_whole", 1080, 1920, {}, 1920, 1080, {656, 0, 1264, 1080}},
    {"portrait_to_hd_no_margin", 1080, 1920, {0, 656, 1080, 1264}, 1920, 1080, {}},
    {"portrait_to_hd_fit", 1080, 1920, {}, 1920, 1080, {}},
    {"odd_center", 100, 100, {0, 0, 100, 100}, 101, 101, {}},
    {"rounded_bars", 999, 333, {}, 500, 500, {0, 167, 500, 333}},
    {"uhd_to_hd", 3840, 2160, {}, 1920, 1080, {}},
};

class Placement : public ::testing::TestWithParam<std::tuple<Depth, Mapping>> {};

TEST_P(Placement, ConstantColourStaysConstantAndBarsStayUntouched) {
  const auto [d, m] = GetParam();
  PixelWorld src(m.sw, m.sh, d, 4 * BytesPerChannel(d)), dst(m.dw, m.dh, d);
  for (const Color& c : {Color{1, 1, 1, 1}, Color{0.75f, 0.25f, 0.5f, 0.0f}}) {
    src.fill(c);
    const Color stored = src.get(0, 0);
    dst.fill(Sentinel());
    ASSERT_EQ(CopyWorld(src.world(), dst.world(), m.src_rect(), m.dst_rect()), PF_Err_NONE);
    const PF_LRect a = m.dst_area();
    for (A_long y = 0; y < m.dh; ++y) {
      for (A_long x = 0; x < m.dw; ++x) {
        const bool in = x >= a.left && x < a.right && y >= a.top && y < a.bottom;
        const Color got = dst.get(x, y);
        if (in)
          ASSERT_TRUE(test::Near(got, stored, d == Depth::kFloat ? 1e-6 : 0.0)) << x << "," << y;
        else
          ASSERT_EQ(got, Sentinel()) << x << "," << y;
      }
    }
  }
}

TEST_P(Placement, FrameStampSurvives) {
  const auto [d, m] = GetParam();
  PixelWorld src(m.sw, m.sh, d), dst(m.dw, m.dh, d);
  const PF_LRect area = m.dst_area();
  for (int frame : {1234, 9876}) {
    PaintFrameStamp(*src.world(), frame);
    dst.fill(Sentinel());
    ASSERT_EQ(CopyWorld(src.world(), dst.world(), m.src_rect(), m.dst_rect()), PF_Err_NONE);
    const StampReading r = ReadFrameStamp(*dst.world(), &area);
    EXPECT_EQ(r.frame, frame);
    EXPECT_EQ(r.votes, r.readable) << "a sample read another frame";
    EXPECT_GT(r.readable, r.samples / 5);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, Placement, ::testing::Combine(::testing::ValuesIn(kDepths), ::testing::ValuesIn(kPlacements)),
                         [](const auto& i) {
                           return std::string(DepthName(std::get<0>(i.param))) + "_" + std::get<1>(i.param).name;
                         });

class ScaledPerDepth : public ::testing::TestWithParam<Depth> {};

// Channel c of a function that bilinear interpolation reproduces exactly.
float Bilinear(int c, double x, double y) {
  const double a[4] = {0.9, 0.1, 0.5, 0.2}, b[4] = {0.05, 0.6, -0.3, 0.2}, e[4] = {0.0, 0.2, 0.4, -0.15},
               f[4] = {0.0, 0.1, -0.2, 0.3};
  return static_cast<float>(a[c] + b[c] * x + e[c] * y + f[c] * x * y);
}

Color BilinearAt(double x, double y) { return Color{Bilinear(0, x, y), Bilinear(1, x, y), Bilinear(2, x, y), Bilinear(3, x, y)}; }

void PaintBilinear(PixelWorld& w) {
  for (A_long y = 0; y < w.height(); ++y)
    for (A_long x = 0; x < w.width(); ++x)
      w.set(x, y, BilinearAt(static_cast<double>(x) / w.width(), static_cast<double>(y) / w.height()));
}

double Tolerance(Depth d) { return d == Depth::kFloat ? 1e-5 : 1.6 * Step(d); }

// Enlarging samples the source at pixel centres, clamped to its edge pixels.
TEST_P(ScaledPerDepth, EnlargingInterpolatesBilinearly) {
  const Depth d = GetParam();
  PixelWorld src(40, 30, d);
  PaintBilinear(src);
  for (auto [dw, dh] : {std::pair{80, 60}, std::pair{100, 45}, std::pair{41, 31}, std::pair{333, 30}}) {
    PixelWorld dst(dw, dh, d);
    ASSERT_EQ(CopyWorld(src.world(), dst.world(), nullptr, nullptr), PF_Err_NONE);
    for (A_long y = 0; y < dh; ++y) {
      const double v = std::clamp((y + 0.5) * 30.0 / dh - 0.5, 0.0, 29.0);
      for (A_long x = 0; x < dw; ++x) {
        const double u = std::clamp((x + 0.5) * 40.0 / dw - 0.5, 0.0, 39.0);
        ASSERT_TRUE(test::Near(dst.get(x, y), BilinearAt(u / 40.0, v / 30.0), Tolerance(d)))
            << dw << "x" << dh << " at " << x << "," << y;
      }
    }
  }
}

// A reduction by a whole factor centres a symmetric filter on each output
// pixel, so a bilinear function comes out exactly away from the edges.
TEST_P(ScaledPerDepth, WholeFactorReductionsKeepBilinearFunctions) {
  const Depth d = GetParam();
  PixelWorld src(120, 96, d);
  PaintBilinear(src);
  for (int factor : {2, 3, 4, 6}) {
    PixelWorld dst(120 / factor, 96 / factor, d);
    ASSERT_EQ(CopyWorld(src.world(), dst.world(), nullptr, nullptr), PF_Err_NONE);
    for (A_long y = 1; y + 1 < dst.height(); ++y) {
      for (A_long x = 1; x + 1 < dst.width(); ++x) {
        const double u = (x + 0.5) * factor - 0.5, v = (y + 0.5) * factor - 0.5;
        ASSERT_TRUE(test::Near(dst.get(x, y), BilinearAt(u / 120.0, v / 96.0), Tolerance(d)))
            << "factor " << factor << " at " << x << "," << y;
      }
    }
  }
}

TEST_P(ScaledPerDepth, HalvingAveragesACheckerboard) {
  const Depth d = GetParam();
  PixelWorld src(64, 48, d), dst(32, 24, d);
  const Color a{1.0f, 0.2f, 0.9f, 0.0f}, b{0.6f, 0.8f, 0.1f, 1.0f};
  for (A_long y = 0; y < 48; ++y)
    for (A_long x = 0; x < 64; ++x) src.set(x, y, ((x + y) & 1) ? b : a);
  const Color qa = src.get(0, 0), qb = src.get(1, 0);
  const Color mean{(qa.alpha + qb.alpha) / 2, (qa.red + qb.red) / 2, (qa.green + qb.green) / 2, (qa.blue + qb.blue) / 2};
  ASSERT_EQ(CopyWorld(src.world(), dst.world(), nullptr, nullptr), PF_Err_NONE);
  for (A_long y = 1; y < 23; ++y)
    for (A_long x = 1; x < 31; ++x) ASSERT_TRUE(test::Near(dst.get(x, y), mean, Tolerance(d))) << x << "," << y;
}

// Moving the destination world under the same rectangles moves the result and
// changes no pixel: clipping does not disturb the sampling positions.
TEST_P(ScaledPerDepth, ClippingDoesNotShiftTheSamples) {
  const Depth d = GetParam();
  PixelWorld src(90, 70, d);
  FillNoise(src, 21);
  const PF_LRect sr{-10, 5, 85, 80};
  PixelWorld big(300, 200, d), small(100, 80, d);
  const PF_LRect big_r{50, 40, 250, 160}, small_r{-50, -40, 150, 80};
  ASSERT_EQ(CopyWorld(src.world(), big.world(), &sr, &big_r), PF_Err_NONE);
  ASSERT_EQ(CopyWorld(src.world(), small.world(), &sr, &small_r), PF_Err_NONE);
  for (A_long y = 0; y < 80; ++y)
    for (A_long x = 0; x < 100; ++x) ASSERT_EQ(small.get(x, y), big.get(x + 100, y + 80)) << x << "," << y;
}

// "Center" with an odd output: a slight enlargement of a rectangle that
// reaches beyond the source. Rows whose centres fall outside are transparent,
// the others opaque throughout, with no half-transparent seam.
TEST_P(ScaledPerDepth, ScaledSourceOutsideItsWorldIsTransparent) {
  const Depth d = GetParam();
  PixelWorld src(1000, 500, d), dst(801, 801, d);
  FillNoise(src, 1);
  for (A_long y = 0; y < 500; ++y)
    for (A_long x = 0; x < 1000; ++x) {
      Color c = src.get(x, y);
      c.alpha = 1.0f;
      src.set(x, y, c);
    }
  const PF_LRect sr{100, -150, 900, 650};
  ASSERT_EQ(CopyWorld(src.world(), dst.world(), &sr, nullptr), PF_Err_NONE);
  int opaque_rows = 0;
  for (A_long y = 0; y < 801; ++y) {
    const double v = -150.0 + (y + 0.5) * 800.0 / 801.0;
    const bool inside = v >= 0.0 && v < 500.0;
    opaque_rows += inside;
    for (A_long x = 0; x < 801; ++x) {
      const Color got = dst.get(x, y);
      if (inside)
        ASSERT_NEAR(got.alpha, 1.0f, 1e-6) << x << "," << y;
      else
        ASSERT_TRUE(test::IsTransparent(got)) << x << "," << y;
    }
  }
  EXPECT_EQ(opaque_rows, 501);
}

TEST_P(ScaledPerDepth, ThreadCountDoesNotChangeTheResult) {
  const Depth d = GetParam();
  for (const Mapping& m : {kPlacements[0], kPlacements[2], kPlacements[5]}) {
    PixelWorld src(m.sw, m.sh, d), dst(m.dw, m.dh, d);
    FillNoise(src, 77);
    std::vector<std::uint64_t> sums;
    for (int threads : {1, 2, 3}) {
      dst.fill(Sentinel());
      ASSERT_EQ(CopyWorld(src.world(), dst.world(), m.src_rect(), m.dst_rect(), CopyOptions{threads}), PF_Err_NONE);
      sums.push_back(Checksum(*dst.world()));
    }
    EXPECT_EQ(sums[0], sums[1]) << m.name;
    EXPECT_EQ(sums[0], sums[2]) << m.name;
  }
}

// Reductions far beyond the unrolled filter lengths still weigh every
// source pixel: the mean of the source survives.
TEST_P(ScaledPerDepth, StrongReductionsAverageTheWholeSource) {
  const Depth d = GetParam();
  PixelWorld src(640, 480, d), dst(1, 1, d);
  for (A_long y = 0; y < 480; ++y)
    for (A_long x = 0; x < 640; ++x) src.set(x, y, ((x / 4 + y / 4) & 1) ? Color{1, 1, 0, 1} : Color{0, 0, 1, 0});
  ASSERT_EQ(CopyWorld(src.world(), dst.world(), nullptr, nullptr), PF_Err_NONE);
  EXPECT_TRUE(test::Near(dst.get(0, 0), Color{0.5f, 0.5f, 0.5f, 0.5f}, 0.01));
}

// Traces of the simulated host are compared across platforms and builds
// (x86-64 Linux, Windows under Wine, the portable kernels), so every scaled
// copy must give the same bits everywhere. A deliberate change of the filter
// updates these sums.
TEST(ScaledCopy, ResultsAreTheSameBitsOnEveryBuild) {
  const Mapping maps[] = {
      {"reduce", 333, 197, {}, 200, 120, {}},
      {"enlarge", 333, 197, {}, 500, 300, {}},
      {"bars", 333, 197, {}, 300, 300, {0, 61, 300, 239}},
      {"beyond", 333, 197, {-40, -30, 300, 250}, 250, 181, {}},
      {"strong", 333, 197, {10, 10, 333, 197}, 7, 5, {}},
  };
  const std::uint64_t want[3] = {3214713403660510081ull, 16661940470477115356ull, 9226572455009249998ull};
  for (int i = 0; i < 3; ++i) {
    const Depth d = kDepths[i];
    std::uint64_t sum = 0;
    for (const Mapping& m : maps) {
      PixelWorld src(m.sw, m.sh, d), dst(m.dw, m.dh, d);
      FillNoise(src, 31);
      ASSERT_EQ(CopyWorld(src.world(), dst.world(), m.src_rect(), m.dst_rect()), PF_Err_NONE);
      sum = sum * 31 + Checksum(*dst.world());
    }
    EXPECT_EQ(sum, want[i]) << DepthName(d);
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, ScaledPerDepth, ::testing::ValuesIn(kDepths),
                         [](const ::testing::TestParamInfo<Depth>& i) { return std::string(DepthName(i.param)); });

}  // namespace
}  // namespace zelvan::pixels
