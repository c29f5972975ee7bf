// Cost of one Easing::getTime per type and mode.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>

#include "ZelvanEasing.h"

namespace {

constexpr std::size_t kPoints = 64;

// Progress values across (0, 1) (both halves of InOut, every bounce arc),
// read through a runtime index so no call can be folded away.
struct Points {
    double t[kPoints];
    Points() {
        for (std::size_t i = 0; i < kPoints; ++i) t[i] = (static_cast<double>(i) + 0.5) / kPoints;
    }
};

const Points g_points;

const char* const kTypeNames[] = {"", "Linear", "Quad", "Cubic", "Quart", "Quint", "Expo",
                                  "Circ", "Sine", "Bounce", "Back", "Elastic"};
const char* const kModeNames[] = {"", "In", "Out", "InOut"};

void BM_EasingGetTime(benchmark::State& state) {
    Easing easing(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::size_t i = 0;
    for (auto _ : state) {
        double t = g_points.t[i];
        benchmark::DoNotOptimize(t);
        benchmark::DoNotOptimize(easing.getTime(t));
        i = (i + 1) % kPoints;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(std::string(kTypeNames[state.range(0)]) + " " + kModeNames[state.range(1)]);
}

void TypesAndModes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"type", "mode"});
    for (int type = 1; type <= 11; ++type)
        for (int mode = 1; mode <= 3; ++mode) b->Args({type, mode});
}

BENCHMARK(BM_EasingGetTime)->Apply(TypesAndModes);

// Construction, one evaluation and destruction: what a render call pays.
void BM_EasingConstructEvaluate(benchmark::State& state) {
    std::size_t i = 0;
    for (auto _ : state) {
        Easing easing(static_cast<int>(state.range(0)), 3);
        double t = g_points.t[i];
        benchmark::DoNotOptimize(t);
        benchmark::DoNotOptimize(easing.getTime(t));
        i = (i + 1) % kPoints;
    }
    state.SetLabel(kTypeNames[state.range(0)]);
}

BENCHMARK(BM_EasingConstructEvaluate)->ArgName("type")->DenseRange(1, 11);

}  // namespace
