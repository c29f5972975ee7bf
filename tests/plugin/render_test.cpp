// Smart render through the loaded binary: the looped frame of the chosen
// layer, its placement at every depth, pass-through, the per-frame record's
// lock and release, and hostile timing values that must not reach undefined
// behaviour.
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "Copy.h"
#include "LayerFrames.h"
#include "Params.h"
#include "Placement.h"
#include "PixelTestUtil.h"
#include "PluginSession.h"
#include "PreRenderRecord.h"
#include "TimingOracle.h"

namespace {

using zelvan::PlacementRects;
using zelvan::PreRenderRecord;
using zelvan::testhost::Composition;
using zelvan::testhost::FrameRequest;
using zelvan::testhost::Frames;
using zelvan::testhost::FromFixed;
using zelvan::testhost::ToFixed;
using zelvan::testhost::Host;
using zelvan::testhost::Layer;
using zelvan::testhost::PluginSession;
using zelvan::testhost::TraceEntry;
namespace px = zelvan::pixels;
using zelvan::pixels::test::DepthName;

constexpr A_long kOutW = 64;
constexpr A_long kOutH = 36;
constexpr AEGP_LayerIDVal kSource = 7;

std::string RectText(const PF_LRect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

// What the user sets on the loop parameters, in their own units. Values are
// chosen exact in 16.16 fixed point, so the snapshot holds them unrounded.
struct Loop {
  A_long type = zelvan::kLoopCycle;
  double angle = 0.0;
  double waiting_percent = 0.0;
  A_long range = zelvan::kRangePercent;
  double start_percent = 0.0;
  double end_percent = 100.0;
  double start_seconds = 0.0;
  double end_seconds = 10.0;
  A_long easing_type = 1;
  A_long easing_mode = 3;
};

void Apply(Host& host, const Loop& l) {
  host.params().SetValue(zelvan::kParamType, l.type);
  host.params().SetValue(zelvan::kParamTime, l.angle);
  host.params().SetValue(zelvan::kParamWaitingTime, l.waiting_percent);
  host.params().SetValue(zelvan::kParamRangeType, l.range);
  host.params().SetValue(zelvan::kParamStartPercent, l.start_percent);
  host.params().SetValue(zelvan::kParamEndPercent, l.end_percent);
  host.params().SetValue(zelvan::kParamStartSeconds, l.start_seconds);
  host.params().SetValue(zelvan::kParamEndSeconds, l.end_seconds);
  host.params().SetValue(zelvan::kParamEasingType, l.easing_type);
  host.params().SetValue(zelvan::kParamEasingMode, l.easing_mode);
}

PreRenderRecord RecordOf(const Loop& l, A_long mode) {
  PreRenderRecord r{};
  r.placementMode = mode;
  r.loopType = l.type;
  r.timeAngle = l.angle;
  r.waitingFraction = l.waiting_percent * 0.01;
  r.rangeType = l.range;
  r.rangeStartFraction = l.start_percent * 0.01;
  r.rangeEndFraction = l.end_percent * 0.01;
  r.rangeStartSeconds = l.start_seconds;
  r.rangeEndSeconds = l.end_seconds;
  r.easingType = l.easing_type;
  r.easingMode = l.easing_mode;
  return r;
}

// The composition time the loop should show, as the oracle works it out.
A_Time ExpectedCompTime(const PreRenderRecord& r, const Layer& source, double frame_rate, A_u_long time_scale) {
  zelvan::oracle::Loop l;
  l.pingpong = r.loopType == zelvan::kLoopPingpong;
  l.degrees = r.timeAngle;
  l.waiting = r.waitingFraction;
  l.easing_type = r.easingType;
  l.easing_mode = r.easingMode;
  l.seconds = r.rangeType == zelvan::kRangeSecond;
  l.start = l.seconds ? r.rangeStartSeconds : r.rangeStartFraction;
  l.end = l.seconds ? r.rangeEndSeconds : r.rangeEndFraction;
  const zelvan::oracle::Time t =
      zelvan::oracle::SourceTime(l, {source.in_point.value, source.in_point.scale},
                                 {source.duration.value, source.duration.scale}, frame_rate, time_scale);
  return A_Time{static_cast<A_long>(t.value), t.scale};
}

// The layer's frame at a composition time, as the oracle counts it: the
// layer's own time (the composition's less its start) at the frame rate.
A_long ExpectedFrame(const Layer& layer, const A_Time& comp_time, double frame_rate) {
  const auto seconds = [](const A_Time& t) { return t.scale == 0 ? 0.0 : double(t.value) / double(t.scale); };
  return static_cast<A_long>(zelvan::oracle::FrameAt(seconds(comp_time) - seconds(layer.start_offset), frame_rate));
}

// The host's stamp frames wrap at the stamp's range.
int StampOf(A_long frame) {
  constexpr A_long kPeriod = px::kStampMaxFrame + 1;
  return static_cast<int>(((frame % kPeriod) + kPeriod) % kPeriod);
}

px::PixelWorld Stamped(A_long w, A_long h, px::Depth d, A_long frame) {
  px::PixelWorld world(w, h, d);
  px::PaintFrameStamp(*world.world(), StampOf(frame));
  return world;
}

bool Same(const px::PixelWorld& a, const px::PixelWorld& b) {
  return px::CompareWorlds(*a.world(), *b.world(), 0.0).within();
}

class RenderTest : public PluginSession {
 protected:
  void SetUp() override {
    PluginSession::SetUp();
    host().comp().effect_layer().width = kOutW;
    host().comp().effect_layer().height = kOutH;
  }

  Layer& AddSource(A_long w = kOutW, A_long h = kOutH) {
    Layer l;
    l.id = kSource;
    l.name = "Clip";
    l.width = w;
    l.height = h;
    Layer& added = host().comp().AddLayer(l);
    host().params().SetValue(zelvan::kParamLayer, kSource);
    return added;
  }
  Layer& Source() { return *host().comp().Find(kSource); }

  PF_Err Render(A_long time, px::Depth depth = px::Depth::k8) {
    FrameRequest request;
    request.time = time;
    request.depth = depth;
    return host().frames().RenderFrame(request);
  }

  const px::PixelWorld& Output() {
    const px::PixelWorld* out = host().frames().last_output();
    if (out == nullptr) throw std::logic_error("no output rendered");
    return *out;
  }

  // The effect layer's own frame at a time of the host: what pass-through shows.
  px::PixelWorld InputAt(A_long time, px::Depth depth) {
    const Layer& effect = host().comp().effect_layer();
    const A_Time comp_time = Composition::LayerToCompTime(effect, A_Time{time, host().in_data().time_scale});
    return Stamped(effect.width, effect.height, depth, ExpectedFrame(effect, comp_time, host().comp().frame_rate));
  }

  std::vector<std::string> RenderLinesOf(const std::string& function) { return CommandLinesOf(function); }

  std::string LayerCheckout(const A_Time& layer_time) {
    return "checkout_param index=2 time=" + std::to_string(layer_time.value) +
           " step=1 scale=" + std::to_string(host().in_data().time_scale);
  }
};

// ---- 1. The looped frame -----------------------------------------------

struct TimingCase {
  const char* name;
  Loop loop;
  A_Time in_point;
  A_Time duration;
  A_Time source_start;  // the source layer's own time 0, in composition time
  A_Time effect_start;  // the effect layer's start offset
  A_long time;          // the rendered time, in the effect layer's time
  A_u_long time_scale;
  int frame;  // the source frame worked out by hand; -1 where only the functions say
  A_long layer_from = 0;  // "Layer" names the source from this effect layer time on, none before
};

Loop Cycle(double angle) {
  Loop l;
  l.angle = angle;
  return l;
}
Loop Pingpong(double angle) {
  Loop l;
  l.type = zelvan::kLoopPingpong;
  l.angle = angle;
  return l;
}
Loop Waiting(Loop l, double percent) {
  l.waiting_percent = percent;
  return l;
}
Loop Percent(Loop l, double start, double end) {
  l.range = zelvan::kRangePercent;
  l.start_percent = start;
  l.end_percent = end;
  return l;
}
Loop Seconds(Loop l, double start, double end) {
  l.range = zelvan::kRangeSecond;
  l.start_seconds = start;
  l.end_seconds = end;
  return l;
}
Loop Eased(Loop l, A_long type, A_long mode) {
  l.easing_type = type;
  l.easing_mode = mode;
  return l;
}

constexpr A_Time k0{0, 30};
constexpr A_Time k10s{300, 30};

// A 10 s clip at 30 fps trims to 299/30 s: a quarter turn shows 74.75 ticks,
// rounded to frame 75.
const TimingCase kTimingCases[] = {
    {"CycleQuarterTurn", Cycle(90), k0, k10s, k0, k0, 0, 30, 75},
    {"CycleNegativeAngle", Cycle(-90), k0, k10s, k0, k0, 0, 30, 224},
    {"CycleSecondTurn", Cycle(450), k0, k10s, k0, k0, 0, 30, 75},
    {"CycleFullTurnIsTheStart", Cycle(360), k0, k10s, k0, k0, 0, 30, 0},
    {"CycleFractionalAngle", Cycle(123.25), k0, k10s, k0, k0, 0, 30, -1},
    {"CycleWaitingMidMotion", Waiting(Cycle(90), 50), k0, k10s, k0, k0, 0, 30, -1},
    {"CycleWaitingHoldsTheLastFrame", Waiting(Cycle(270), 50), k0, k10s, k0, k0, 0, 30, 299},
    {"CycleWaitingAll", Waiting(Cycle(200), 100), k0, k10s, k0, k0, 0, 30, 0},
    {"PingpongForwards", Pingpong(90), k0, k10s, k0, k0, 0, 30, 75},
    {"PingpongTurnPoint", Pingpong(360), k0, k10s, k0, k0, 0, 30, 299},
    {"PingpongBackwards", Pingpong(630), k0, k10s, k0, k0, 0, 30, 75},
    {"PingpongNegative", Pingpong(-100.5), k0, k10s, k0, k0, 0, 30, -1},
    {"PingpongWaitingBackwards", Waiting(Pingpong(450), 50), k0, k10s, k0, k0, 0, 30, -1},
    {"PingpongWaitingHoldsTheStart", Waiting(Pingpong(630), 50), k0, k10s, k0, k0, 0, 30, 0},
    {"PercentRange", Percent(Cycle(180), 25, 75), k0, k10s, k0, k0, 0, 30, -1},
    {"PercentRangeReversed", Percent(Cycle(90), 80, 20), k0, k10s, k0, k0, 0, 30, -1},
    {"SecondRange", Seconds(Cycle(90), 1.25, 3.5), k0, k10s, k0, k0, 0, 30, 54},
    {"SecondRangeReversed", Seconds(Cycle(90), 5, 1), k0, k10s, k0, k0, 0, 30, 120},
    {"SecondRangePingpongWaiting", Waiting(Seconds(Pingpong(500), 2, 8), 25), k0, k10s, k0, k0, 0, 30, -1},
    {"EasedQuadInOut", Eased(Cycle(90), 2, 3), k0, k10s, k0, k0, 0, 30, 37},
    {"EasedBounceOut", Eased(Cycle(100), 9, 2), k0, k10s, k0, k0, 0, 30, -1},
    // The source starts at 2 s and its frames count from there.
    {"SourceInPointAndOffset", Cycle(90), {60, 30}, k10s, {60, 30}, k0, 0, 30, 75},
    {"SourceTrimmedHead", Cycle(90), {30, 30}, {240, 30}, k0, k0, 0, 30, -1},
    // The effect layer starts at 0.5 s: the checkout time is 15 ticks earlier
    // than the composition time, and the frame is the same.
    {"EffectLayerStartOffset", Cycle(90), k0, k10s, k0, {15, 30}, 0, 30, 75},
    {"EffectLayerNegativeOffset", Pingpong(450), {60, 30}, k10s, {30, 30}, {-45, 30}, 20, 30, -1},
    {"LaterRenderTime", Seconds(Cycle(45), 3, 6), k0, k10s, k0, k0, 87, 30, -1},
    {"FineTimeScale", Seconds(Cycle(90), 1.25, 3.5), k0, k10s, k0, {15, 30}, 0, 1000, 54},
    // "Layer" is read in the effect layer's time: 20 there, 50 in the composition.
    {"LayerReadInLayerTime", Cycle(90), k0, k10s, k0, {30, 30}, 20, 30, 75, 10},
};

class TimingTest : public RenderTest, public ::testing::WithParamInterface<TimingCase> {};

TEST_P(TimingTest, OutputHoldsTheLoopedSourceFrame) {
  const TimingCase& c = GetParam();
  host().SetTimeScale(c.time_scale);
  host().comp().effect_layer().start_offset = c.effect_start;
  Layer& source = AddSource();
  source.in_point = c.in_point;
  source.duration = c.duration;
  source.start_offset = c.source_start;
  Apply(host(), c.loop);
  if (c.layer_from != 0) {
    host().params().SetKeyframes(
        zelvan::kParamLayer,
        {{zelvan::MakeTime(0, c.time_scale), 0.0}, {zelvan::MakeTime(c.layer_from, c.time_scale), double(kSource)}});
  }

  const A_Time comp_time = ExpectedCompTime(RecordOf(c.loop, zelvan::kModeWhole), source,
                                            host().comp().frame_rate, c.time_scale);
  ASSERT_TRUE(Composition::Shows(source, comp_time)) << "the case must stay inside the clip";
  const A_long frame = ExpectedFrame(source, comp_time, host().comp().frame_rate);
  if (c.frame >= 0) {
    EXPECT_EQ(frame, c.frame) << "the hand-worked frame";
  }
  const A_Time layer_time = Composition::CompToLayerTime(host().comp().effect_layer(), comp_time);

  ASSERT_EQ(Render(c.time), PF_Err_NONE);
  EXPECT_EQ(RenderLinesOf("AEGP_ConvertCompToLayerTime"),
            std::vector<std::string>{"AEGP_ConvertCompToLayerTime layer=1 time=" + std::to_string(comp_time.value) +
                                     "/" + std::to_string(comp_time.scale)});
  EXPECT_EQ(RenderLinesOf("checkout_param"), std::vector<std::string>{LayerCheckout(layer_time)});
  EXPECT_EQ(RenderLinesOf("AEGP_GetLayerInPoint"), std::vector<std::string>{"AEGP_GetLayerInPoint layer=7 mode=1"});
  EXPECT_EQ(RenderLinesOf("AEGP_GetLayerDuration"),
            std::vector<std::string>{"AEGP_GetLayerDuration layer=7 mode=1"});
  // Same size on both sides: the frame arrives pixel for pixel.
  EXPECT_TRUE(Same(Output(), Stamped(kOutW, kOutH, px::Depth::k8, frame)))
      << "read frame " << px::ReadFrameStamp(*Output().world()).frame << ", expected " << frame;
}

INSTANTIATE_TEST_SUITE_P(Loops, TimingTest, ::testing::ValuesIn(kTimingCases),
                         [](const auto& p) { return std::string(p.param.name); });

// One turn over 300 frames of a 300-frame clip: each render time shows its
// own frame, rounded from the trimmed length.
void KeyOneTurn(Host& host) { host.params().SetKeyframes(zelvan::kParamTime, {{{0, 30}, 0.0}, {{300, 30}, 360.0}}); }
int FrameOfOneTurn(Host& host, A_long t) {
  // The angle as the host's 16.16 value holds it.
  const Loop l = Cycle(FromFixed(ToFixed(360.0 * t / 300.0)));
  const Layer& source = *host.comp().Find(kSource);
  return StampOf(ExpectedFrame(source, ExpectedCompTime(RecordOf(l, 2), source, 30.0, 30), host.comp().frame_rate));
}

TEST_F(RenderTest, AngleKeyframesPlayTheClipFrameByFrame) {
  AddSource();
  KeyOneTurn(host());
  for (A_long t : {0, 1, 29, 150, 299}) {
    SCOPED_TRACE("time " + std::to_string(t));
    ASSERT_EQ(Render(t), PF_Err_NONE);
    EXPECT_EQ(px::ReadFrameStamp(*Output().world()).frame, FrameOfOneTurn(host(), t));
  }
}

// ---- 2. Placement at every depth -----------------------------------------

struct PlacementCase {
  const char* name;
  A_long mode;
  A_long lw, lh;
  PF_LRect src, dst;  // worked out by hand for a 64 x 36 output
  bool scaled;        // the rectangles differ in size
};

constexpr PF_LRect kWholeOut{0, 0, 64, 36};

const PlacementCase kPlacementCases[] = {
    {"CenterLarger", zelvan::kModeCenter, 96, 54, {16, 9, 80, 45}, kWholeOut, false},
    {"CenterSmaller", zelvan::kModeCenter, 40, 20, {-12, -8, 52, 28}, kWholeOut, false},
    {"CenterEqual", zelvan::kModeCenter, 64, 36, kWholeOut, kWholeOut, false},
    {"WholePillarboxUnscaled", zelvan::kModeWhole, 36, 36, {0, 0, 36, 36}, {14, 0, 50, 36}, false},
    {"WholePillarbox", zelvan::kModeWhole, 96, 96, {0, 0, 96, 96}, {14, 0, 50, 36}, true},
    {"WholeLetterbox", zelvan::kModeWhole, 96, 24, {0, 0, 96, 24}, {0, 10, 64, 26}, true},
    {"WholeEqual", zelvan::kModeWhole, 64, 36, kWholeOut, kWholeOut, false},
    {"NoMarginCropUnscaled", zelvan::kModeNoMargin, 64, 64, {0, 14, 64, 50}, kWholeOut, false},
    {"NoMarginCrop", zelvan::kModeNoMargin, 96, 96, {0, 21, 96, 75}, kWholeOut, true},
    {"NoMarginWide", zelvan::kModeNoMargin, 128, 24, {43, 0, 85, 24}, kWholeOut, true},
    {"NoMarginEqual", zelvan::kModeNoMargin, 64, 36, kWholeOut, kWholeOut, false},
    {"FitEnlarge", zelvan::kModeFitToLayer, 32, 18, {0, 0, 32, 18}, kWholeOut, true},
    {"FitStretch", zelvan::kModeFitToLayer, 48, 48, {0, 0, 48, 48}, kWholeOut, true},
    {"FitEqual", zelvan::kModeFitToLayer, 64, 36, kWholeOut, kWholeOut, false},
};

using PlacementParam = std::tuple<PlacementCase, px::Depth>;

class PlacementTest : public RenderTest, public ::testing::WithParamInterface<PlacementParam> {};

bool Inside(const PF_LRect& r, A_long x, A_long y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

// One integer step of 8 bits: a scaled copy of a uniform area may differ from
// it only by the resampler's rounding, at every depth.
constexpr double kScaledTolerance = 1.0 / 255.0;

double ChannelDiff(const px::Color& a, const px::Color& b) {
  return std::max({std::fabs(double(a.alpha) - b.alpha), std::fabs(double(a.red) - b.red),
                   std::fabs(double(a.green) - b.green), std::fabs(double(a.blue) - b.blue)});
}

// The source colour where every source pixel the resampler can reach for this
// output pixel has that one colour; false near cell edges and the world's edge.
bool UniformSourceAt(const px::PixelWorld& src, const PlacementRects& r, A_long x, A_long y, px::Color* color) {
  const double fx = double(r.src.right - r.src.left) / double(r.dst.right - r.dst.left);
  const double fy = double(r.src.bottom - r.src.top) / double(r.dst.bottom - r.dst.top);
  const double sx = r.src.left + (x - r.dst.left + 0.5) * fx - 0.5;
  const double sy = r.src.top + (y - r.dst.top + 0.5) * fy - 0.5;
  const double reach_x = std::max(1.0, fx) + 1.0;
  const double reach_y = std::max(1.0, fy) + 1.0;
  const auto x0 = A_long(std::floor(sx - reach_x)), x1 = A_long(std::ceil(sx + reach_x));
  const auto y0 = A_long(std::floor(sy - reach_y)), y1 = A_long(std::ceil(sy + reach_y));
  if (x0 < 0 || y0 < 0 || x1 >= src.width() || y1 >= src.height()) return false;
  const px::Color c = src.get(x0, y0);
  for (A_long yy = y0; yy <= y1; ++yy) {
    for (A_long xx = x0; xx <= x1; ++xx) {
      if (src.get(xx, yy) != c) return false;
    }
  }
  *color = c;
  return true;
}

// Stamp cells half the source's shorter side, so that they stay
// readable after a reduction.
A_long CellFor(A_long lw, A_long lh) { return std::max<A_long>(8, std::min(lw, lh) / 2); }

TEST_P(PlacementTest, OutputHoldsTheFramePlacedByTheRectangles) {
  const auto& [c, depth] = GetParam();
  const A_long cell = CellFor(c.lw, c.lh);
  AddSource(c.lw, c.lh).source = [cell](PF_EffectWorld& world, A_long f) {
    px::PaintFrameStamp(world, StampOf(f), cell);
  };
  host().params().SetValue(zelvan::kParamMode, c.mode);
  const Loop loop = Cycle(90);
  Apply(host(), loop);
  const A_Time comp_time = ExpectedCompTime(RecordOf(loop, c.mode), Source(), 30.0, 30);
  const A_long frame = ExpectedFrame(Source(), comp_time, host().comp().frame_rate);
  const PlacementRects r = zelvan::placementRects(c.mode, c.lw, c.lh, kOutW, kOutH);
  ASSERT_EQ(RectText(r.src), RectText(c.src));
  ASSERT_EQ(RectText(r.dst), RectText(c.dst));
  ASSERT_EQ(r.src.right - r.src.left != r.dst.right - r.dst.left || r.src.bottom - r.src.top != r.dst.bottom - r.dst.top,
            c.scaled)
      << "the case's sizes do not scale as its name says";

  ASSERT_EQ(Render(0, depth), PF_Err_NONE);
  EXPECT_EQ(RenderLinesOf("copy"),
            std::vector<std::string>{"copy src=" + std::to_string(c.lw) + "x" + std::to_string(c.lh) + " dst=" +
                                     std::to_string(kOutW) + "x" + std::to_string(kOutH) + " src_r=" +
                                     RectText(r.src) + " dst_r=" + RectText(r.dst)});

  const px::PixelWorld& out = Output();
  ASSERT_EQ(out.width(), kOutW);
  ASSERT_EQ(out.height(), kOutH);
  ASSERT_EQ(out.depth(), depth);
  px::PixelWorld src(c.lw, c.lh, depth);
  px::PaintFrameStamp(*src.world(), StampOf(frame), cell);
  const px::Color transparent{};
  int exact_mismatch = 0, bar_mismatch = 0, outside_mismatch = 0, scaled_checked = 0, scaled_mismatch = 0;
  for (A_long y = 0; y < kOutH; ++y) {
    for (A_long x = 0; x < kOutW; ++x) {
      const px::Color got = out.get(x, y);
      if (!Inside(r.dst, x, y)) {
        // Bars: the copy leaves what the output held before.
        bar_mismatch += got != Frames::UnwrittenColor();
        continue;
      }
      if (!c.scaled) {
        const A_long sx = r.src.left + (x - r.dst.left), sy = r.src.top + (y - r.dst.top);
        if (sx < 0 || sy < 0 || sx >= c.lw || sy >= c.lh) {
          outside_mismatch += got != transparent;
        } else {
          exact_mismatch += got != src.get(sx, sy);
        }
        continue;
      }
      px::Color want;
      if (UniformSourceAt(src, r, x, y, &want)) {
        ++scaled_checked;
        scaled_mismatch += ChannelDiff(got, want) > kScaledTolerance;
      }
    }
  }
  EXPECT_EQ(bar_mismatch, 0);
  EXPECT_EQ(exact_mismatch, 0);
  EXPECT_EQ(outside_mismatch, 0) << "the part of the source rectangle off the layer is transparent";
  EXPECT_EQ(scaled_mismatch, 0) << "of " << scaled_checked << " pixels inside uniform cells";
  if (c.scaled) {
    const int area = (r.dst.right - r.dst.left) * (r.dst.bottom - r.dst.top);
    EXPECT_GE(scaled_checked, area / 10) << "too few pixels checked to mean anything";
  }
  EXPECT_EQ(px::ReadFrameStamp(*out.world(), &r.dst).frame, StampOf(frame));
}

INSTANTIATE_TEST_SUITE_P(ModesAndDepths, PlacementTest,
                         ::testing::Combine(::testing::ValuesIn(kPlacementCases),
                                            ::testing::Values(px::Depth::k8, px::Depth::k16, px::Depth::kFloat)),
                         [](const auto& p) {
                           return std::string(std::get<0>(p.param).name) + "_" +
                                  DepthName(std::get<1>(p.param));
                         });

TEST_F(RenderTest, CenterOfASmallerSourceIsTransparentAroundIt) {
  // 40 x 20 centred in 64 x 36: a 12-pixel margin left and right, 8 above and below.
  AddSource(40, 20);
  host().params().SetValue(zelvan::kParamMode, zelvan::kModeCenter);
  ASSERT_EQ(Render(0), PF_Err_NONE);
  const px::PixelWorld& out = Output();
  const px::Color transparent{};
  for (auto [x, y] : {std::pair<A_long, A_long>{0, 0}, {11, 18}, {52, 18}, {63, 35}, {30, 7}, {30, 28}}) {
    EXPECT_EQ(out.get(x, y), transparent) << x << "," << y;
  }
  const PF_LRect shown{12, 8, 52, 28};
  const px::StampReading reading = px::ReadFrameStamp(*out.world(), &shown);
  EXPECT_EQ(reading.frame, 0);
  EXPECT_GT(reading.votes, 0);
}

// ---- 2b. Worlds as a host hands them ------------------------------------------

// A render of part of the layer or all of it, at a reduced resolution, of an
// input that effects before this one grew, into an output whose result
// rectangle the host started wider: the frame lies on the layer wherever the
// output world lies, and the input passes through to its own place.
struct GeometryCase {
  const char* name;
  A_long mode;  // 0: no layer chosen, the input passes through
  std::optional<PF_LRect> request;
  A_long grow;  // added on every side, at full resolution
  A_u_long ds_x, ds_y;
  PF_LRect initial_result;
};

const PF_LRect kNone{};

const GeometryCase kGeometries[] = {
    {"PartOfTheLayer", zelvan::kModeWhole, zelvan::MakeRect(16, 0, 48, 36), 0, 1, 1, kNone},
    {"PartOfTheLayerCentered", zelvan::kModeCenter, zelvan::MakeRect(0, 9, 64, 27), 0, 1, 1, kNone},
    {"GrownInput", zelvan::kModeWhole, std::nullopt, 6, 1, 1, kNone},
    {"GrownInputPartCentered", zelvan::kModeCenter, zelvan::MakeRect(8, 4, 40, 30), 6, 1, 1, kNone},
    {"GrownInputPassesThrough", 0, std::nullopt, 6, 1, 1, kNone},
    {"Half", zelvan::kModeNoMargin, std::nullopt, 0, 2, 2, kNone},
    {"ThirdByQuarter", zelvan::kModeWhole, std::nullopt, 0, 3, 4, kNone},
    {"QuarterByWhole", zelvan::kModeFitToLayer, std::nullopt, 0, 4, 1, kNone},
    {"WholeByThirdGrown", zelvan::kModeCenter, std::nullopt, 5, 1, 3, kNone},
    {"QuarterGrownPassesThrough", 0, std::nullopt, 7, 4, 4, kNone},
    {"ResultStartsWider", zelvan::kModeWhole, std::nullopt, 0, 1, 1, zelvan::MakeRect(-10, -4, 20, 20)},
    {"ResultStartsWiderPassesThrough", 0, std::nullopt, 0, 2, 1, zelvan::MakeRect(-10, -4, 20, 20)},
};

class GeometryTest : public RenderTest, public ::testing::WithParamInterface<GeometryCase> {};

TEST_P(GeometryTest, FrameLiesOnTheLayerWhereverTheOutputLies) {
  const GeometryCase& c = GetParam();
  const PF_RationalScale dsx = zelvan::MakeScale(1, c.ds_x), dsy = zelvan::MakeScale(1, c.ds_y);
  Layer& effect = host().comp().effect_layer();
  effect.grown_left = effect.grown_top = effect.grown_right = effect.grown_bottom = c.grow;
  Layer& source = AddSource(96, 54);
  host().params().SetValue(zelvan::kParamLayer, c.mode == 0 ? 0 : kSource);
  host().params().SetValue(zelvan::kParamMode, c.mode == 0 ? zelvan::kModeWhole : c.mode);
  host().SetDownsample(dsx, dsy);
  FrameRequest request;
  request.time = 20;
  request.rect = c.request;
  request.result_rect = c.initial_result;
  ASSERT_EQ(host().frames().RenderFrame(request), PF_Err_NONE);

  // The layer at this resolution, as the host sizes it; the effect asked for all of it.
  const A_long lw = zelvan::testhost::DownsampledSize(kOutW, dsx), lh = zelvan::testhost::DownsampledSize(kOutH, dsy);
  EXPECT_EQ(RectText(host().frames().layer_checkout_requests().at(0).rect), RectText(zelvan::MakeRect(0, 0, lw, lh)));
  const PF_EffectWorld& out = *Output().world();

  // What the output should hold, built from the host's own pieces: the input
  // (the layer's frame inside what the earlier effects added) or the source
  // frame placed on the layer's rectangle, moved to where the output lies.
  px::PixelWorld expected(out.width, out.height, Output().depth());
  expected.fill(Frames::UnwrittenColor());
  if (c.mode == 0) {
    const PF_LRect extent = zelvan::testhost::InputExtent(effect, dsx, dsy);
    px::PixelWorld input(extent.right - extent.left, extent.bottom - extent.top, px::Depth::k8);
    input.fill(c.grow > 0 ? zelvan::testhost::GrownColor() : px::Color{});
    const A_Time comp_time = Composition::LayerToCompTime(effect, zelvan::MakeTime(20, 30));
    const px::PixelWorld frame = Stamped(lw, lh, px::Depth::k8, ExpectedFrame(effect, comp_time, host().comp().frame_rate));
    const PF_LRect layer_in_input = zelvan::MakeRect(-extent.left, -extent.top, lw - extent.left, lh - extent.top);
    ASSERT_EQ(px::CopyWorld(frame.world(), input.world(), nullptr, &layer_in_input), PF_Err_NONE);
    const PF_LRect input_in_output =
        zelvan::MakeRect(extent.left - out.origin_x, extent.top - out.origin_y, extent.right - out.origin_x,
                         extent.bottom - out.origin_y);
    ASSERT_EQ(px::CopyWorld(input.world(), expected.world(), nullptr, &input_in_output), PF_Err_NONE);
  } else {
    const A_Time comp_time = ExpectedCompTime(RecordOf(Loop{}, c.mode), source, 30.0, 30);
    const A_long sw = zelvan::testhost::DownsampledSize(96, dsx), sh = zelvan::testhost::DownsampledSize(54, dsy);
    const px::PixelWorld frame = Stamped(sw, sh, px::Depth::k8, ExpectedFrame(source, comp_time, host().comp().frame_rate));
    PlacementRects r = zelvan::placementRects(c.mode, sw, sh, lw, lh);
    r.dst = zelvan::MakeRect(r.dst.left - out.origin_x, r.dst.top - out.origin_y, r.dst.right - out.origin_x,
                             r.dst.bottom - out.origin_y);
    ASSERT_EQ(px::CopyWorld(frame.world(), expected.world(), &r.src, &r.dst), PF_Err_NONE);
  }
  const px::Comparison same = px::CompareWorlds(out, *expected.world(), 0.0);
  EXPECT_TRUE(same.within()) << "first difference at " << same.worst_x << "," << same.worst_y << " of a " << out.width
                             << "x" << out.height << " output at " << out.origin_x << "," << out.origin_y;
  EXPECT_NE(Output().rowbytes(), out.width * 4) << "the host pads its rows";
}

INSTANTIATE_TEST_SUITE_P(Worlds, GeometryTest, ::testing::ValuesIn(kGeometries),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- 3. Pass-through --------------------------------------------------------

class PassThroughTest : public RenderTest, public ::testing::WithParamInterface<px::Depth> {};

TEST_P(PassThroughTest, NoLayerChosenCopiesTheInputWhole) {
  const px::Depth depth = GetParam();
  AddSource();
  host().params().SetValue(zelvan::kParamLayer, 0);
  host().params().SetValue(zelvan::kParamTime, 90);
  ASSERT_EQ(Render(45, depth), PF_Err_NONE);
  EXPECT_TRUE(Same(Output(), InputAt(45, depth)));
  EXPECT_EQ(RenderLinesOf("copy"),
            std::vector<std::string>{"copy src=64x36 dst=64x36 src_r=whole dst_r=whole"});
  EXPECT_TRUE(RenderLinesOf("AEGP_GetLayerFromLayerID").empty());
  EXPECT_TRUE(RenderLinesOf("checkout_param").empty());
  EXPECT_EQ(RenderLinesOf("AEGP_DisposeStreamValue").size(), 1u);
}

TEST_P(PassThroughTest, LoopedTimeOutsideTheSourceShowsTheInput) {
  const px::Depth depth = GetParam();
  AddSource();  // 10 s long
  Apply(host(), Seconds(Cycle(90), 20, 40));
  ASSERT_EQ(Render(45, depth), PF_Err_NONE);
  EXPECT_TRUE(Same(Output(), InputAt(45, depth)));
  EXPECT_EQ(RenderLinesOf("checkout_param"), std::vector<std::string>{"checkout_param index=2 time=750 step=1 scale=30"});
  EXPECT_EQ(RenderLinesOf("checkin_param"), std::vector<std::string>{"checkin_param index=2"});
  EXPECT_EQ(RenderLinesOf("copy"),
            std::vector<std::string>{"copy src=64x36 dst=64x36 src_r=whole dst_r=whole"});
}

INSTANTIATE_TEST_SUITE_P(Depths, PassThroughTest, ::testing::Values(px::Depth::k8, px::Depth::k16, px::Depth::kFloat),
                         [](const auto& p) { return std::string(DepthName(p.param)); });

TEST_F(RenderTest, SourceStartingLaterThanTheLoopedTimeShowsTheInput) {
  Layer& source = AddSource();
  source.in_point = {150, 30};
  source.duration = {60, 30};
  // 3 s after its in-point, the 2 s clip has ended.
  Apply(host(), Seconds(Cycle(0), 3, 3));
  ASSERT_EQ(Render(3), PF_Err_NONE);
  EXPECT_TRUE(Same(Output(), InputAt(3, px::Depth::k8)));
  EXPECT_EQ(RenderLinesOf("checkout_param"), std::vector<std::string>{"checkout_param index=2 time=240 step=1 scale=30"});
  EXPECT_EQ(RenderLinesOf("checkin_param").size(), 1u);
}

struct EmptySourceCase {
  const char* name;
  A_long width, height;
  bool keep_pixels;  // the world keeps its pixel pointer with a zero size
};

class EmptySourceTest : public RenderTest, public ::testing::WithParamInterface<EmptySourceCase> {};

TEST_P(EmptySourceTest, SourceOfNoSizeShowsTheInput) {
  const EmptySourceCase& c = GetParam();
  if (c.keep_pixels) {
    // The host's worlds of zero size have no pixels; this source keeps its
    // pointer and reports a zero size, which no placement can divide by.
    Layer& source = AddSource();
    const A_long w = c.width, h = c.height;
    source.source = [w, h](PF_EffectWorld& world, A_long frame) {
      px::PaintFrameStamp(world, StampOf(frame));
      world.width = w;
      world.height = h;
    };
  } else {
    AddSource(c.width, c.height);
  }
  for (A_long mode : {1, 2, 3, 4}) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    host().params().SetValue(zelvan::kParamMode, mode);
    ASSERT_EQ(Render(10), PF_Err_NONE);
    EXPECT_TRUE(Same(Output(), InputAt(10, px::Depth::k8)));
    EXPECT_EQ(RenderLinesOf("checkin_param"), std::vector<std::string>{"checkin_param index=2"});
    EXPECT_EQ(RenderLinesOf("copy"),
              std::vector<std::string>{"copy src=64x36 dst=64x36 src_r=whole dst_r=whole"});
  }
}

const EmptySourceCase kEmptySources[] = {
    {"ZeroWidth", 0, 36, false},
    {"ZeroHeight", 64, 0, false},
    {"ZeroWidthWithPixels", 0, 36, true},
    {"ZeroHeightWithPixels", 64, 0, true},
};

INSTANTIATE_TEST_SUITE_P(Sizes, EmptySourceTest, ::testing::ValuesIn(kEmptySources),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- 4. The per-frame record's lock and release ------------------------------

TEST_F(RenderTest, RecordIsUnlockedInRenderAndReleasedAfterIt) {
  AddSource();
  host().params().SetValue(zelvan::kParamTime, 90);
  ASSERT_EQ(host().frames().PreRender(0), PF_Err_NONE);
  const auto handle = static_cast<PF_Handle>(host().frames().pre_render_output().pre_render_data);
  ASSERT_NE(handle, nullptr);
  const zelvan::testhost::HandleTable::Record* record = host().accounts().handles().Find(handle);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->lock_depth, 0) << "pre-render left its record locked";
  const std::size_t mark = host().trace().size();

  // Seen from inside the render, while the source frame is painted.
  int depth_during_render = -1;
  Host* h = &host();
  Source().source = [h, handle, &depth_during_render](PF_EffectWorld& world, A_long frame) {
    const zelvan::testhost::HandleTable::Record* r = h->accounts().handles().Find(handle);
    depth_during_render = r != nullptr ? r->lock_depth : 0;
    px::PaintFrameStamp(world, StampOf(frame));
  };
  ASSERT_EQ(host().frames().Render(), PF_Err_NONE);
  EXPECT_EQ(depth_during_render, 1);

  // Render: one lock and one unlock of the record, then the host's release
  // through the delete function once the effect has returned.
  std::vector<std::string> handle_calls;
  for (std::size_t i = mark; i < host().trace().size(); ++i) {
    const TraceEntry& e = host().trace().entries()[i];
    if (e.function.rfind("host_", 0) == 0) handle_calls.push_back(e.Text());
  }
  const std::string label = handle_calls.empty() ? "?" : handle_calls.front().substr(handle_calls.front().find('#'));
  EXPECT_EQ(handle_calls, (std::vector<std::string>{"host_lock_handle " + label, "host_unlock_handle " + label,
                                                    "host_dispose_handle " + label}));
  EXPECT_EQ(host().accounts().handles().Find(handle), nullptr);
  EXPECT_EQ(host().frames().deleted_pre_render_data(), std::vector<void*>{handle});
  EXPECT_EQ(host().accounts().handles().live(), 1u);
}

TEST_F(RenderTest, FramesInFlightRenderInAnyOrderAndAreEachReleasedOnce) {
  // Five frames pre-rendered ahead, each at a time and depth of its own; three
  // rendered out of order, two abandoned, all released later, one of them
  // from another thread and one by the host's set-down.
  AddSource();
  KeyOneTurn(host());
  const A_long times[] = {0, 45, 90, 135, 180};
  const px::Depth depths[] = {px::Depth::k8, px::Depth::k16, px::Depth::kFloat, px::Depth::k16, px::Depth::k8};
  std::vector<zelvan::testhost::FrameToken> frames;
  std::vector<void*> records;
  for (int i = 0; i < 5; ++i) {
    FrameRequest request;
    request.time = times[i];
    request.depth = depths[i];
    zelvan::testhost::FrameToken token;
    ASSERT_EQ(host().frames().PreRenderFrame(request, &token), PF_Err_NONE);
    frames.push_back(token);
    records.push_back(host().frames().pre_render_output().pre_render_data);
  }
  EXPECT_EQ(host().frames().in_flight().size(), 5u);
  EXPECT_EQ(host().accounts().handles().live(), 6u);
  for (int i : {3, 0, 4}) {
    SCOPED_TRACE("frame " + std::to_string(i));
    ASSERT_EQ(host().frames().Render(frames[i]), PF_Err_NONE);
    EXPECT_EQ(Output().depth(), depths[i]);
    EXPECT_EQ(px::ReadFrameStamp(*Output().world()).frame, FrameOfOneTurn(host(), times[i])) << "its own record";
  }
  EXPECT_EQ(host().frames().pre_render_data_deleted(), 0) << "nothing released before the host says so";
  host().frames().Release(frames[4]);
  std::thread([&] { host().frames().Release(frames[1]); }).join();
  host().frames().Release(frames[0]);
  host().frames().Release(frames[2]);
  EXPECT_EQ(host().frames().deleted_pre_render_data(),
            (std::vector<void*>{records[4], records[1], records[0], records[2]}));
  EXPECT_THROW(host().frames().Render(frames[4]), std::logic_error) << "a released frame is not in flight";
  EXPECT_THROW(host().frames().Render(frames[3]), std::logic_error) << "each frame renders once";
  ASSERT_EQ(host().frames().in_flight().size(), 1u);
  EXPECT_EQ(host().accounts().handles().live(), 2u);
  // The fixture's set-down releases the last; a second release of any record,
  // or a use of one after it, would be on the host's record.
}

TEST_F(RenderTest, AThousandLoopedFramesLeaveNoHandleAndNoLock) {
  AddSource(32, 18);
  host().params().SetValue(zelvan::kParamMode, zelvan::kModeWhole);
  host().params().SetKeyframes(zelvan::kParamTime, {{{0, 30}, 0.0}, {{300, 30}, 720.0}});
  const std::size_t mark = host().trace().size();
  for (int frame = 0; frame < 1000; ++frame) {
    ASSERT_EQ(Render(frame % 300), PF_Err_NONE) << "frame " << frame;
  }
  EXPECT_EQ(host().accounts().handles().live(), 1u);  // the global record only
  EXPECT_EQ(host().frames().pre_render_data_deleted(), 1000);
  EXPECT_EQ(host().accounts().handles().created(), 1001);
  EXPECT_EQ(host().trace().Count("host_lock_handle", mark), 2000u);  // pre-render and render
  EXPECT_EQ(host().trace().Count("host_unlock_handle", mark), 2000u);
  EXPECT_EQ(host().trace().Count("copy", mark), 1000u);
}

// ---- 5. Missing global data -----------------------------------------------

TEST_F(RenderTest, MissingGlobalDataIsAnErrorAndLeavesTheOutput) {
  AddSource();
  void* no_block = nullptr;
  for (PF_Handle global : {PF_Handle(nullptr), PF_Handle(&no_block)}) {
    SCOPED_TRACE(global == nullptr ? "null handle" : "handle without a block");
    ASSERT_EQ(host().frames().PreRender(0), PF_Err_NONE);
    EXPECT_EQ(host().frames().Render([global](PF_InData& in, PF_OutData&) { in.global_data = global; }),
              PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_FALSE(host().frames().last_output_written());
    EXPECT_FALSE(host().frames().last_output_checked_out());
    // Nothing but the suite handler's own traffic and the host's release of
    // the record: no lock, no checkout.
    for (const std::string& line : CommandLines()) {
      EXPECT_TRUE(line.rfind("AcquireSuite", 0) == 0 || line.rfind("ReleaseSuite", 0) == 0 ||
                  line.rfind("host_dispose_handle", 0) == 0)
          << line;
    }
    EXPECT_EQ(CommandLinesOf("host_lock_handle").size(), 0u);
  }
  EXPECT_EQ(host().accounts().handles().live(), 1u) << "the records are still released by the host";
}

// What the output holds before the effect writes it, seen through a render
// that fails first: the host's loud colour, or the fill its user chose; also
// after a frame made with another fill, which the host does not take for the
// unwritten output's. Rows: FillRow("name").Fill(colour).AfterAnotherFrame().
struct FillCase {
  const char* name;
  std::optional<px::Color> fill;  // none: the host's own
  bool after_another_frame = false;  // a frame rendered first with the host's own fill

  FillCase& Fill(px::Color c) { fill = c; return *this; }
  FillCase& AfterAnotherFrame() { after_another_frame = true; return *this; }
};
FillCase FillRow(const char* name) {
  FillCase c;
  c.name = name;
  return c;
}

class OutputFillTest : public RenderTest, public ::testing::WithParamInterface<FillCase> {};

TEST_P(OutputFillTest, UnwrittenOutputHoldsTheFill) {
  AddSource();
  if (GetParam().after_another_frame) {
    ASSERT_EQ(host().frames().PreRender(0), PF_Err_NONE);
    ASSERT_EQ(host().frames().Render(), PF_Err_NONE);
    EXPECT_TRUE(host().frames().last_output_written());
  }
  if (GetParam().fill) host().frames().SetOutputFill(*GetParam().fill);
  const px::Color fill = GetParam().fill.value_or(Frames::UnwrittenColor());
  ASSERT_EQ(host().frames().PreRender(0), PF_Err_NONE);
  EXPECT_EQ(host().frames().Render([](PF_InData& in, PF_OutData&) { in.global_data = nullptr; }),
            PF_Err_INTERNAL_STRUCT_DAMAGED);
  const px::PixelWorld& out = Output();
  int other = 0;
  for (A_long y = 0; y < out.height(); ++y) {
    for (A_long x = 0; x < out.width(); ++x) other += out.get(x, y) != fill;
  }
  EXPECT_EQ(other, 0) << "of " << out.width() << "x" << out.height();
  EXPECT_FALSE(host().frames().last_output_written());
}

const FillCase kFills[] = {
    FillRow("TheHostsOwn"),
    FillRow("TransparentBlack").Fill(px::Color{}),
    FillRow("OpaqueGreen").Fill(px::Color{1.0f, 0.0f, 1.0f, 0.0f}),
    FillRow("TransparentBlackAfterAFrameOfTheHostsOwn").Fill(px::Color{}).AfterAnotherFrame(),
};

INSTANTIATE_TEST_SUITE_P(Fills, OutputFillTest, ::testing::ValuesIn(kFills),
                         [](const auto& p) { return std::string(p.param.name); });

// ---- 7. Hostile timing values ------------------------------------------------

// A solid input, so that pass-through is told apart from any stamped frame.
const px::Color kInputColor{1.0f, 0.25f, 0.5f, 0.75f};

class HostileTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    host().comp().effect_layer().source = [](PF_EffectWorld& world, A_long) {
      px::FillRect(world, nullptr, kInputColor);
    };
  }
  bool PassedThrough() {
    px::PixelWorld input(kOutW, kOutH, Output().depth());
    input.fill(kInputColor);
    return Same(Output(), input);
  }
  // The frame every readable sample agrees on; -1 when none or they differ.
  int ShownFrame() {
    const px::StampReading r = px::ReadFrameStamp(*Output().world());
    return r.readable > 0 && r.votes == r.readable ? r.frame : -1;
  }
  // Renders and checks the checkout time against the pure functions.
  void RenderExpecting(const Loop& loop, A_Time* comp_time) {
    Apply(host(), loop);
    ASSERT_EQ(Render(0), PF_Err_NONE);
    *comp_time = ExpectedCompTime(RecordOf(loop, 2), Source(), host().comp().frame_rate, host().in_data().time_scale);
    const A_Time layer_time = Composition::CompToLayerTime(host().comp().effect_layer(), *comp_time);
    EXPECT_EQ(RenderLinesOf("checkout_param"), std::vector<std::string>{LayerCheckout(layer_time)});
  }
};

struct FrameRateCase {
  const char* name;
  double rate;
};

class FrameRateTest : public HostileTest, public ::testing::WithParamInterface<FrameRateCase> {};

TEST_P(FrameRateTest, UnusableRateTrimsNothingOrSaturates) {
  host().comp().frame_rate = GetParam().rate;
  AddSource();
  A_Time comp_time{};
  RenderExpecting(Cycle(90), &comp_time);
  const double rate = GetParam().rate;
  if (!(rate > 0.0) || !std::isfinite(rate)) {
    EXPECT_EQ(comp_time.value, 75) << "the whole 10 s clip plays: a quarter is 2.5 s";
  }
  ASSERT_FALSE(PassedThrough());
  // The host's own frame number for that time: 0 at rates it cannot use.
  EXPECT_EQ(ShownFrame(), StampOf(ExpectedFrame(Source(), comp_time, host().comp().frame_rate)));
}

const FrameRateCase kFrameRates[] = {
    {"Zero", 0.0},
    {"Negative", -30.0},
    {"NaN", std::numeric_limits<double>::quiet_NaN()},
    {"Infinite", std::numeric_limits<double>::infinity()},
    {"NegativeInfinite", -std::numeric_limits<double>::infinity()},
    {"Tiny", 1e-300},  // one frame longer than 32 bits of ticks: the whole clip trimmed away
    {"Huge", 1e300},
};

INSTANTIATE_TEST_SUITE_P(Rates, FrameRateTest, ::testing::ValuesIn(kFrameRates),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(HostileTest, TinyFrameRateTrimsTheClipToItsFirstFrame) {
  host().comp().frame_rate = 1e-300;
  AddSource();
  A_Time comp_time{};
  RenderExpecting(Cycle(270), &comp_time);
  EXPECT_EQ(comp_time.value, 0);
  EXPECT_EQ(ShownFrame(), 0);
}

constexpr A_u_long kFineScale = 1000000;  // microseconds: 32 bits hold about 2147 s
constexpr A_long kMaxTicks = std::numeric_limits<A_long>::max();
constexpr A_long kMinTicks = std::numeric_limits<A_long>::min();

// Times far beyond 32 bits of ticks at a fine time scale saturate at the
// limits, never wrap: the effect asks for the saturated time and shows
// the input where that lies outside the clip, the clip's frame where it lies
// inside. Rows: FarTime("name").In(...).Lasting(...).Asks(ticks)...
struct FarTime {
  std::string name;
  A_Time in_point{0, 1};
  A_Time duration{10, 1};
  Loop loop = Cycle(90);
  A_long asks = 0;         // the composition time asked for, in ticks of kFineScale
  bool in_clip = false;    // that time lies inside the clip: its frame shows
  FarTime& In(A_Time t) { in_point = t; return *this; }
  FarTime& Lasting(A_Time t) { duration = t; return *this; }
  FarTime& Playing(const Loop& l) { loop = l; return *this; }
  FarTime& Asks(A_long ticks) { asks = ticks; return *this; }
  FarTime& InTheClip() { in_clip = true; return *this; }
};
FarTime Far(std::string name) {
  FarTime f;
  f.name = std::move(name);
  return f;
}

class FarTimeTest : public HostileTest, public ::testing::WithParamInterface<FarTime> {};

TEST_P(FarTimeTest, SaturatesAndShowsTheInputOrTheClip) {
  const FarTime& c = GetParam();
  host().SetTimeScale(kFineScale);
  Layer& source = AddSource();
  source.in_point = c.in_point;
  source.duration = c.duration;
  A_Time comp_time{};
  RenderExpecting(c.loop, &comp_time);
  EXPECT_EQ(comp_time.value, c.asks);
  EXPECT_EQ(RenderLinesOf("checkin_param").size(), 1u) << "\"Layer\" checked in once";
  if (!c.in_clip) {
    EXPECT_TRUE(PassedThrough());
    return;
  }
  ASSERT_FALSE(PassedThrough());
  EXPECT_EQ(ShownFrame(), StampOf(ExpectedFrame(source, comp_time, host().comp().frame_rate)));
}

const FarTime kFarTimes[] = {
    Far("InPointFarPast32Bits").In({100000, 1}).Asks(kMaxTicks),
    Far("InPointFarBefore32Bits").In({-100000, 1}).Asks(kMinTicks),
    Far("DurationFarPast32Bits").Lasting({2000000000, 1}).Asks(kMaxTicks).InTheClip(),  // 63 years
    // One 30 fps frame, 33333 microseconds, trimmed from the end.
    Far("DurationOfLargestTicks").Lasting({kMaxTicks, kFineScale}).Playing(Pingpong(360)).Asks(kMaxTicks - 33333)
        .InTheClip(),
};

INSTANTIATE_TEST_SUITE_P(FarTimes, FarTimeTest, ::testing::ValuesIn(kFarTimes),
                         [](const auto& p) { return p.param.name; });

struct EndTimeCase {
  const char* name;
  double end_seconds;
  double angle;
  bool shows;
};

class EndTimeTest : public HostileTest, public ::testing::WithParamInterface<EndTimeCase> {};

TEST_P(EndTimeTest, HugeEndTimeAtAFineScale) {
  const EndTimeCase& c = GetParam();
  host().SetTimeScale(kFineScale);
  AddSource();
  A_Time comp_time{};
  RenderExpecting(Seconds(Cycle(c.angle), 0, c.end_seconds), &comp_time);
  if (c.shows) {
    ASSERT_FALSE(PassedThrough());
    EXPECT_EQ(ShownFrame(), StampOf(ExpectedFrame(Source(), comp_time, host().comp().frame_rate)));
  } else {
    EXPECT_EQ(comp_time.value, kMaxTicks);
    EXPECT_TRUE(PassedThrough());
  }
}

const EndTimeCase kEndTimes[] = {
    {"SliderMaximum", 1000000.0, 90, false},
    {"BeyondFloat", 1e300, 90, false},
    {"Infinite", std::numeric_limits<double>::infinity(), 90, false},
    // Phase 0 times an infinite span is NaN: the time becomes 0, the clip's start.
    {"InfiniteAtPhaseZero", std::numeric_limits<double>::infinity(), 0, true},
    {"InsideTheClip", 8.0, 90, true},
};

INSTANTIATE_TEST_SUITE_P(EndTimes, EndTimeTest, ::testing::ValuesIn(kEndTimes),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
