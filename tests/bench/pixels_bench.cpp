// The simulated host's copy: unscaled against memcpy of the same bytes, and
// scaled against OpenImageIO's resize and libswscale's bilinear scaler when
// they are installed. Each comparison runs both sides alternately in the same
// loop, so the ratio counters hold on a noisy machine:
//   speed_vs_memcpy = memcpy time / our time   (goal >= 0.9)
//   ratio           = library time / our time  (goal >= 1.0)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "Copy.h"
#include "PixelWorld.h"

#ifdef ZELVAN_HAVE_OIIO
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#endif
#ifdef ZELVAN_HAVE_SWSCALE
extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}
#endif

namespace {

using zelvan::pixels::BytesPerPixel;
using zelvan::pixels::Color;
using zelvan::pixels::CopyOptions;
using zelvan::pixels::CopyWorld;
using zelvan::pixels::Depth;
using zelvan::pixels::PixelWorld;
using Clock = std::chrono::steady_clock;

constexpr Depth kDepthOf[] = {Depth::k8, Depth::k16, Depth::kFloat};
const char* const kDepthName[] = {"8bit", "16bit", "float"};

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Smooth content, so that comparisons between resamplers show filter
// differences rather than noise; built once per size and depth.
const PixelWorld& Source(A_long w, A_long h, Depth d) {
  static std::map<std::tuple<A_long, A_long, int>, std::unique_ptr<PixelWorld>> cache;
  auto& slot = cache[{w, h, static_cast<int>(d)}];
  if (!slot) {
    slot = std::make_unique<PixelWorld>(w, h, d);
    for (A_long y = 0; y < h; ++y) {
      const float v = static_cast<float>(y) / static_cast<float>(h);
      for (A_long x = 0; x < w; ++x) {
        const float u = static_cast<float>(x) / static_cast<float>(w);
        const float ripple = 0.5f + 0.4f * std::sin(0.05f * static_cast<float>(x + 2 * y));
        slot->set(x, y, Color{0.5f + 0.5f * u * v, u, v, ripple});
      }
    }
  }
  return *slot;
}

// Runs ours and theirs alternately; the reported time is ours. An untimed
// pause after each side lets a library's worker threads go idle, so that
// they do not take a core from the other side.
template <typename Ours, typename Theirs>
void Alternate(benchmark::State& state, const std::string& their_name, const std::string& ratio_name, Ours ours,
               Theirs theirs) {
  double t_ours = 0.0, t_theirs = 0.0;
  bool ours_first = true;
  const auto pause = std::chrono::microseconds(500);
  for (auto _ : state) {
    const auto t0 = Clock::now();
    if (ours_first) ours(); else theirs();
    const auto t1 = Clock::now();
    std::this_thread::sleep_for(pause);
    const auto t1b = Clock::now();
    if (ours_first) theirs(); else ours();
    const auto t2 = Clock::now();
    std::this_thread::sleep_for(pause);
    const double a = Seconds(t0, t1), b = Seconds(t1b, t2);
    const double mine = ours_first ? a : b;
    t_ours += mine;
    t_theirs += ours_first ? b : a;
    state.SetIterationTime(mine);
    ours_first = !ours_first;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["ours_ms"] = 1e3 * t_ours / n;
  state.counters[their_name + "_ms"] = 1e3 * t_theirs / n;
  state.counters[ratio_name] = t_theirs / t_ours;
}

// Mean and largest channel difference of two worlds inside rect, 2 pixels in
// from its edges (where the resamplers' edge rules differ), in 8-bit steps.
void ReportDifference(benchmark::State& state, const PF_EffectWorld& a, const PF_EffectWorld& b, const PF_LRect& r) {
  double sum = 0.0, worst = 0.0;
  long long n = 0;
  for (A_long y = r.top + 2; y < r.bottom - 2; ++y) {
    for (A_long x = r.left + 2; x < r.right - 2; ++x) {
      const Color p = zelvan::pixels::GetPixel(a, x, y), q = zelvan::pixels::GetPixel(b, x, y);
      for (auto [u, v] : {std::pair{p.alpha, q.alpha}, std::pair{p.red, q.red}, std::pair{p.green, q.green},
                          std::pair{p.blue, q.blue}}) {
        const double diff = std::fabs(static_cast<double>(u) - v) * 255.0;
        sum += diff;
        worst = std::max(worst, diff);
        ++n;
      }
    }
  }
  state.counters["mean_diff_255"] = n > 0 ? sum / static_cast<double>(n) : 0.0;
  state.counters["max_diff_255"] = worst;
}

// --- unscaled ---------------------------------------------------------------

// Args: width, height, depth index, row padding in bytes.
void BM_CopyUnscaled(benchmark::State& state) {
  const A_long w = static_cast<A_long>(state.range(0)), h = static_cast<A_long>(state.range(1));
  const Depth d = kDepthOf[state.range(2)];
  const A_long pad = static_cast<A_long>(state.range(3));
  PixelWorld src(w, h, d, pad), dst(w, h, d, pad);
  CopyWorld(Source(w, h, d).world(), src.world(), nullptr, nullptr);
  const std::size_t bytes = static_cast<std::size_t>(src.rowbytes()) * static_cast<std::size_t>(h);
  std::vector<unsigned char> scratch(bytes, 1);
  state.SetLabel(std::to_string(w) + "x" + std::to_string(h) + " " + kDepthName[state.range(2)] +
                 (pad ? " padded" : ""));
  Alternate(
      state, "memcpy", "speed_vs_memcpy",
      [&] {
        CopyWorld(src.world(), dst.world(), nullptr, nullptr);
        benchmark::DoNotOptimize(dst.world()->data);
        benchmark::ClobberMemory();
      },
      [&] {
        std::memcpy(scratch.data(), src.world()->data, bytes);
        benchmark::DoNotOptimize(scratch.data());
        benchmark::ClobberMemory();
      });
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}

void UnscaledArgs(benchmark::internal::Benchmark* b) {
  for (auto [w, h] : {std::pair{1920, 1080}, std::pair{3840, 2160}})
    for (int d = 0; d < 3; ++d) b->Args({w, h, d, 0});
  b->Args({1920, 1080, 0, 256});
  b->Args({3840, 2160, 2, 256});
}
BENCHMARK(BM_CopyUnscaled)->Apply(UnscaledArgs)->UseManualTime()->Unit(benchmark::kMillisecond);

// --- scaled -----------------------------------------------------------------

struct ScaledCase {
  const char* name;
  A_long sw, sh, dw, dh;
  PF_LRect dr;
};
const ScaledCase kScaled[] = {
    {"1920x1080->1280x720", 1920, 1080, 1280, 720, {0, 0, 1280, 720}},
    {"1000x500->800x800 bars", 1000, 500, 800, 800, {0, 200, 800, 600}},
    {"3840x2160->1920x1080", 3840, 2160, 1920, 1080, {0, 0, 1920, 1080}},
};

struct ScaledSetup {
  const ScaledCase& c;
  Depth d;
  int threads;
  const PixelWorld& src;
  PixelWorld dst;
  explicit ScaledSetup(benchmark::State& state)
      : c(kScaled[state.range(0)]),
        d(kDepthOf[state.range(1)]),
        threads(static_cast<int>(state.range(2))),
        src(Source(c.sw, c.sh, d)),
        dst(c.dw, c.dh, d) {
    state.SetLabel(std::string(c.name) + " " + kDepthName[state.range(1)] + " threads=" + std::to_string(threads));
  }
  void ours(PixelWorld& into) const {
    CopyWorld(src.world(), into.world(), nullptr, &c.dr, CopyOptions{threads});
    benchmark::ClobberMemory();
  }
};

void ScaledArgs(benchmark::internal::Benchmark* b) {
  for (int threads : {1, 2})
    for (int c = 0; c < 3; ++c)
      for (int d = 0; d < 3; ++d) b->Args({c, d, threads});
}

void BM_CopyScaled(benchmark::State& state) {
  ScaledSetup s(state);
  for (auto _ : state) s.ours(s.dst);
}
BENCHMARK(BM_CopyScaled)->Apply(ScaledArgs)->Unit(benchmark::kMillisecond);

#ifdef ZELVAN_HAVE_OIIO
OIIO::TypeDesc OiioType(Depth d) {
  switch (d) {
    case Depth::k8:
      return OIIO::TypeDesc::UINT8;
    case Depth::k16:
      return OIIO::TypeDesc::UINT16;
    case Depth::kFloat:
    default:
      return OIIO::TypeDesc::FLOAT;
  }
}

// An ImageBuf over rect r of a world's own pixels, rowbytes apart.
std::unique_ptr<OIIO::ImageBuf> WrapOiio(const PF_EffectWorld& w, const PF_LRect& r, Depth d) {
  OIIO::ImageSpec spec(r.right - r.left, r.bottom - r.top, 4, OiioType(d));
  spec.alpha_channel = -1;  // plain resampling of four channels, as ours
  unsigned char* p = static_cast<unsigned char*>(w.data) + static_cast<std::ptrdiff_t>(r.top) * w.rowbytes +
                     static_cast<std::ptrdiff_t>(r.left) * BytesPerPixel(d);
  return std::make_unique<OIIO::ImageBuf>(spec, p, OIIO::AutoStride, static_cast<OIIO::stride_t>(w.rowbytes));
}

void BM_ScaledVsOpenImageIO(benchmark::State& state) {
  ScaledSetup s(state);
  PixelWorld theirs(s.c.dw, s.c.dh, s.d);
  const PF_LRect whole{0, 0, s.c.sw, s.c.sh};
  auto in = WrapOiio(*s.src.world(), whole, s.d);
  auto out = WrapOiio(*theirs.world(), s.c.dr, s.d);
  // The triangle filter, 2 destination pixels wide: bilinear widened by the
  // reduction factor, the same filter as ours.
  auto run_theirs = [&] {
    OIIO::ImageBufAlgo::resize(*out, *in, "triangle", 2.0f, OIIO::ROI::All(), s.threads);
    benchmark::ClobberMemory();
  };
  s.ours(s.dst);
  run_theirs();
  ReportDifference(state, *s.dst.world(), *theirs.world(), s.c.dr);
  Alternate(state, "oiio", "ratio", [&] { s.ours(s.dst); }, run_theirs);
}
BENCHMARK(BM_ScaledVsOpenImageIO)->Apply(ScaledArgs)->UseManualTime()->Unit(benchmark::kMillisecond);
#endif

#ifdef ZELVAN_HAVE_SWSCALE
void NoFree(void*, std::uint8_t*) {}

// A frame over rect r of a world's pixels; the buffer reference keeps
// libswscale from allocating or copying.
AVFrame* WrapFrame(const PF_EffectWorld& w, const PF_LRect& r, Depth d, AVPixelFormat fmt) {
  AVFrame* f = av_frame_alloc();
  std::uint8_t* p = static_cast<std::uint8_t*>(w.data) + static_cast<std::ptrdiff_t>(r.top) * w.rowbytes +
                    static_cast<std::ptrdiff_t>(r.left) * BytesPerPixel(d);
  f->buf[0] = av_buffer_create(p, static_cast<std::size_t>(w.rowbytes) * static_cast<std::size_t>(r.bottom - r.top),
                               NoFree, nullptr, 0);
  f->data[0] = p;
  f->linesize[0] = w.rowbytes;
  f->width = r.right - r.left;
  f->height = r.bottom - r.top;
  f->format = fmt;
  return f;
}

void BM_ScaledVsSwscale(benchmark::State& state) {
  ScaledSetup s(state);
  if (s.d == Depth::kFloat) {
    state.SkipWithError("libswscale has no packed 4-channel float format");
    return;
  }
  // Same byte layout as ours; the scaler does not care which channel is alpha.
  const AVPixelFormat fmt = s.d == Depth::k8 ? AV_PIX_FMT_ARGB : AV_PIX_FMT_RGBA64LE;
  const int dw = s.c.dr.right - s.c.dr.left, dh = s.c.dr.bottom - s.c.dr.top;
  SwsContext* ctx = sws_alloc_context();
  av_opt_set_int(ctx, "srcw", s.c.sw, 0);
  av_opt_set_int(ctx, "srch", s.c.sh, 0);
  av_opt_set_int(ctx, "src_format", fmt, 0);
  av_opt_set_int(ctx, "dstw", dw, 0);
  av_opt_set_int(ctx, "dsth", dh, 0);
  av_opt_set_int(ctx, "dst_format", fmt, 0);
  av_opt_set_int(ctx, "sws_flags", SWS_BILINEAR, 0);
  av_opt_set_int(ctx, "threads", s.threads, 0);
  if (sws_init_context(ctx, nullptr, nullptr) < 0) {
    sws_freeContext(ctx);
    state.SkipWithError("sws_init_context failed");
    return;
  }
  PixelWorld theirs(s.c.dw, s.c.dh, s.d);
  AVFrame* in = WrapFrame(*s.src.world(), PF_LRect{0, 0, s.c.sw, s.c.sh}, s.d, fmt);
  AVFrame* out = WrapFrame(*theirs.world(), s.c.dr, s.d, fmt);
  auto run_theirs = [&] {
    sws_scale_frame(ctx, out, in);
    benchmark::ClobberMemory();
  };
  s.ours(s.dst);
  run_theirs();
  ReportDifference(state, *s.dst.world(), *theirs.world(), s.c.dr);
  Alternate(state, "swscale", "ratio", [&] { s.ours(s.dst); }, run_theirs);
  av_frame_free(&in);
  av_frame_free(&out);
  sws_freeContext(ctx);
}
BENCHMARK(BM_ScaledVsSwscale)->Apply(ScaledArgs)->UseManualTime()->Unit(benchmark::kMillisecond);
#endif

}  // namespace
