// The plug-in's own cost per frame, measured against the work the host does
// for it. A 1x1 composition makes the copy cost nothing, so a frame's time is
// the effect's pre-render and render plus the host's bookkeeping; it is timed
// alternately with an unscaled 1920x1080 8-bit copy in the same loop:
//   plugin_pct_of_copy = frame time / copy time * 100   (goal <= 1 %)
#include <benchmark/benchmark.h>

#include <chrono>

#include "Copy.h"
#include "Host.h"
#include "Params.h"
#include "PixelWorld.h"
#include "Placement.h"

namespace {

using Clock = std::chrono::steady_clock;
using zelvan::pixels::Depth;
using zelvan::pixels::PixelWorld;
using zelvan::testhost::Host;
using zelvan::testhost::Layer;

void SetUpOnePixelSession(Host& host) {
  auto& comp = host.comp();
  comp.width = comp.height = 1;
  comp.effect_layer().width = comp.effect_layer().height = 1;
  Layer source;
  source.id = 2;
  source.width = source.height = 1;
  comp.AddLayer(source);
  host.StartSession();
  host.params().SetValue(zelvan::kParamLayer, 2);
  host.params().SetValue(zelvan::kParamType, zelvan::kLoopPingpong);
  host.params().SetValue(zelvan::kParamEasingType, 8);
  host.params().SetKeyframes(zelvan::kParamTime, {{A_Time{0, 30}, 0.0}, {A_Time{300, 30}, 3600.0}});
}

void BM_PluginFrameVsCopy(benchmark::State& state) {
  Host host(ZELVAN_PLUGIN_PATH);
  SetUpOnePixelSession(host);
  PixelWorld src(1920, 1080, Depth::k8), dst(1920, 1080, Depth::k8);
  double frame_seconds = 0, copy_seconds = 0;
  A_long t = 0;
  for (auto _ : state) {
    const auto a = Clock::now();
    benchmark::DoNotOptimize(host.frames().RenderFrame(t));
    const auto b = Clock::now();
    benchmark::DoNotOptimize(zelvan::pixels::CopyWorld(src.world(), dst.world(), nullptr, nullptr));
    const auto c = Clock::now();
    frame_seconds += std::chrono::duration<double>(b - a).count();
    copy_seconds += std::chrono::duration<double>(c - b).count();
    t = (t + 1) % 300;
    // The host keeps a trace of every call; a long run must not measure its growth.
    if (t == 0) host.trace().Clear();
  }
  host.GlobalSetdown();
  const double n = static_cast<double>(state.iterations());
  state.counters["frame_us"] = frame_seconds / n * 1e6;
  state.counters["copy_1080p8_us"] = copy_seconds / n * 1e6;
  state.counters["plugin_pct_of_copy"] = 100.0 * frame_seconds / copy_seconds;
}
BENCHMARK(BM_PluginFrameVsCopy)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void BM_PlacementRects(benchmark::State& state) {
  const A_long mode = static_cast<A_long>(state.range(0));
  A_long lw = 1000;
  for (auto _ : state) {
    benchmark::DoNotOptimize(zelvan::placementRects(mode, lw, 500, 800, 800));
    lw = lw == 1000 ? 999 : 1000;
  }
}
BENCHMARK(BM_PlacementRects)->DenseRange(1, 4);

}  // namespace
