#include "LoopSearch.h"

#include <algorithm>
#include <thread>

#include "FrameDistance.h"
#include "SeamFilter.h"

namespace zelvan::render {
namespace {

// The lags one band spans: its rows stay in the cache with the frames they
// compare, and the band holds kBandLags floats a frame.
constexpr int64_t kBandLags = 128;
// Fewer frames than this are not worth a thread of their own.
constexpr int64_t kFramesAThread = 32;
// A near stretch moves each end by up to kNearFrames: its length by up to twice that.
constexpr int64_t kNearLags = 2 * kNearFrames;

float Distance(const SmallFrames& f, int64_t i, int64_t j) { return FrameDistance(f[i], f[j], f.block(), f.pixels()); }

// The distances of the pairs (i, i + L) for the lags L from lo to hi, a row
// a lag, i from 0 to last(L).
class Band {
 public:
  Band(const SmallFrames& f, int64_t lo, int64_t hi)
      : lo_(lo), n_(f.count()), rows_(static_cast<std::size_t>((hi - lo + 1) * n_)) {
    // Frame i against the window of frames after it: the window slides one
    // frame a step. The frames are shared out among the cores in runs, each
    // thread writing its own columns.
    const int64_t count = n_ - lo;
    const int64_t threads =
        std::clamp<int64_t>(std::thread::hardware_concurrency(), 1, std::max<int64_t>(count / kFramesAThread, 1));
    auto run = [&](int64_t from, int64_t to) {
      for (int64_t i = from; i < to; ++i) {
        const int64_t top = std::min(hi, n_ - 1 - i);
        for (int64_t lag = lo; lag <= top; ++lag) at(lag, i) = Distance(f, i, i + lag);
      }
    };
    std::vector<std::thread> workers;
    for (int64_t t = 1; t < threads; ++t) workers.emplace_back(run, count * t / threads, count * (t + 1) / threads);
    run(0, count / threads);
    for (std::thread& w : workers) w.join();
  }
  float& at(int64_t lag, int64_t i) { return rows_[static_cast<std::size_t>((lag - lo_) * n_ + i)]; }
  float at(int64_t lag, int64_t i) const { return rows_[static_cast<std::size_t>((lag - lo_) * n_ + i)]; }
  int64_t last(int64_t lag) const { return n_ - 1 - lag; }

  // The row of a lag becomes the seams of the Cycles of that length: the
  // Cycle [a, a + L) filters the pairs (a + k, a + L + k) along the diagonal.
  void FilterSeams(int64_t lag) {
    std::vector<float> seams(static_cast<std::size_t>(last(lag) + 1));
    for (int64_t a = 0; a <= last(lag); ++a) {
      float pairs[kSeamTaps];
      for (int k = 0; k < kSeamTaps; ++k) {
        const int64_t i = a + k - kSeamReach;
        pairs[k] = i < 0 || i > last(lag) ? -1.0f : at(lag, i);
      }
      seams[static_cast<std::size_t>(a)] = FilteredSeam(pairs);
    }
    std::copy(seams.begin(), seams.end(), &at(lag, 0));
  }

 private:
  int64_t lo_, n_;
  std::vector<float> rows_;
};

// What a stretch costs, and whether it is one the search judges.
struct Judge {
  const LoopSpan& span;
  int64_t frames;
  const Band& band;                 // a Cycle's seams
  const std::vector<float>& turns;  // a Pingpong's turns

  bool Judged(int64_t a, int64_t length) const {
    return length >= span.shortest && length <= span.longest && a >= FirstStart(span.pingpong) &&
           a + length <= frames - 1;
  }
  Candidate At(int64_t a, int64_t length) const {
    const auto at = [&](int64_t e) { return turns[static_cast<std::size_t>(e)]; };
    return {a, a + length, span.pingpong ? std::max(at(a), at(a + length - 1)) : band.at(length, a)};
  }
};

// Whether `c` ranks before every stretch the search judges near it.
bool FirstAround(const Judge& judge, const Candidate& c) {
  for (int64_t da = -kNearFrames; da <= kNearFrames; ++da) {
    for (int64_t db = -kNearFrames; db <= kNearFrames; ++db) {
      const int64_t a = c.start + da, length = c.length() + db - da;
      if ((da != 0 || db != 0) && judge.Judged(a, length) && RanksBefore(judge.At(a, length), c)) return false;
    }
  }
  return true;
}

}  // namespace

int64_t FirstStart(bool pingpong) { return pingpong ? 1 : 0; }
int64_t LongestLoop(bool pingpong, int64_t frames) { return frames - 1 - FirstStart(pingpong); }

std::vector<float> TurnCosts(const SmallFrames& f) {
  const int64_t n = f.count();
  std::vector<float> turns(static_cast<std::size_t>(std::max<int64_t>(n, 0)), 0.0f);
  for (int64_t e = 1; e + 1 < n; ++e) {
    // The pairs (e - k, e + k): the middle the frame itself, each other pair twice.
    const float one = Distance(f, e - 1, e + 1);
    const float two = e >= 2 && e + 2 < n ? Distance(f, e - 2, e + 2) : -1.0f;
    const float pairs[kSeamTaps] = {two, one, 0.0f, one, two};
    turns[static_cast<std::size_t>(e)] = FilteredSeam(pairs);
  }
  return turns;
}

std::optional<std::vector<Candidate>> SearchLoops(const SmallFrames& frames, const LoopSpan& span, SimilarityMap& map,
                                                  const std::function<bool()>& stop) {
  BestCandidates best(span.top);
  const std::vector<float> turns = span.pingpong ? TurnCosts(frames) : std::vector<float>{};
  // A Cycle's near stretches are in the band's rows either side; a Pingpong's costs are its turns'.
  const int64_t reach = span.pingpong ? 0 : kNearLags;
  for (int64_t from = span.shortest; from <= span.longest; from += kBandLags) {
    if (stop()) return std::nullopt;
    const int64_t to = std::min(span.longest, from + kBandLags - 1);
    const int64_t lo = std::max(span.shortest, from - reach), hi = std::min(span.longest, to + reach);
    Band band(frames, lo, hi);
    for (int64_t lag = from; lag <= to; ++lag) {
      for (int64_t i = 0; i <= band.last(lag); ++i) map.Add(i, i + lag, band.at(lag, i));
    }
    for (int64_t lag = lo; lag <= hi && !span.pingpong; ++lag) band.FilterSeams(lag);
    const Judge judge{span, frames.count(), band, turns};
    for (int64_t lag = from; lag <= to; ++lag) {
      for (int64_t a = FirstStart(span.pingpong); judge.Judged(a, lag); ++a) {
        const Candidate c = judge.At(a, lag);
        if (best.Wants(c) && FirstAround(judge, c)) best.Offer(c);
      }
    }
  }
  return best.ranked();
}

}  // namespace zelvan::render
