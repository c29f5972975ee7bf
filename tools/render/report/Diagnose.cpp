#include "Diagnose.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <sstream>

#include "ClipFrame.h"
#include "Compact.h"
#include "RecordTime.h"
#include "SceneFields.h"

namespace zelvan::render {
namespace {

// The clip frame shown at a composition time.
int64_t ClipFrameAtCompTime(const RenderRecord& r, double comp_seconds) {
  return ClipFrameAt(comp_seconds - Seconds(r.source.in_point), r.comp_fps, r.source.fps.value());
}

// The clip frames at the two ends of the loop's stretch, from the values the
// host handed over; used only to judge a Cycle's seam. In percent the range
// runs over the duration less one frame, so that its end is the last frame;
// in seconds the stretch [start, end] holds the frames that begin before
// its end, the last of them the one a tick before it.
std::pair<int64_t, int64_t> StretchEnds(const RenderRecord& r, const HostParams& p) {
  const A_Time dur = r.source.duration;
  const int64_t one = static_cast<int64_t>(static_cast<double>(dur.scale) / r.comp_fps);
  const double trimmed = static_cast<double>(std::max<int64_t>(0, dur.value - one)) / static_cast<double>(dur.scale);
  double a = 0.0, b = 0.0;
  if (p.code(kParamRangeType) == kRangePercent) {
    a = trimmed * p.snapshot(kParamStartPercent);
    b = trimmed * p.snapshot(kParamEndPercent);
  } else {
    a = p.snapshot(kParamStartSeconds);
    b = p.snapshot(kParamEndSeconds);
  }
  const double in = Seconds(r.source.in_point);
  auto ticks = [&](double offset) { return std::floor((in + offset) * r.time_scale + 0.5); };
  auto frame = [&](double v) { return ClipFrameAtCompTime(r, v / r.time_scale); };
  const bool seconds = p.code(kParamRangeType) == kRangeSecond;
  return {frame(ticks(a)), seconds && b > a ? frame(ticks(b) - 1.0) : frame(ticks(b))};
}

std::string Frames(const std::vector<int64_t>& f) { return (f.size() == 1 ? "frame " : "frames ") + FrameList(f); }

}  // namespace

std::string FrameList(const std::vector<int64_t>& frames) {
  std::ostringstream out;
  for (std::size_t i = 0; i < frames.size();) {
    std::size_t j = i;
    while (j + 1 < frames.size() && frames[j + 1] == frames[j] + 1) ++j;
    if (i > 0) out << ", ";
    out << frames[i];
    if (j > i) out << "-" << frames[j];
    i = j + 1;
  }
  return out.str();
}

namespace {

// Times outside the source layer: the host has no pixels there.
std::optional<std::string> OutsideTheLayer(const RenderRecord& r) {
  const double in = Seconds(r.source.in_point);
  const double end = in + Seconds(r.source.duration);
  std::vector<int64_t> outside;
  for (const FrameRecord& f : r.frames) {
    if (!f.layer_time || f.failed()) continue;
    const double t = Seconds(*f.layer_time);  // the effect layer starts at 0: its time is composition time
    if (t < in - 1e-12 || t >= end - 1e-12 || !f.source_frame) outside.push_back(f.frame);
  }
  if (outside.empty()) return std::nullopt;
  return "the loop asks for times outside the source layer (" + Compact(in) + " s to " + Compact(end) + " s) at " +
         Frames(outside) + "; those frames pass the input through. Narrow " + FieldOf(Field::kStart).path() + "/" +
         FieldOf(Field::kEnd).path() + " or lengthen the source";
}

bool Shown(const RenderRecord& r, std::size_t i) { return r.frames[i].source_frame.has_value(); }

// A Cycle's seam between frames k and k + 1 should step on like the motion
// just before it, wrapping from the stretch's end to its start.
std::optional<std::string> CycleSeam(const RenderRecord& r, std::size_t k) {
  const auto& fr = r.frames;
  const FrameRecord& a = fr[k];
  const FrameRecord& b = fr[k + 1];
  const auto [f0, f1] = StretchEnds(r, a.params);
  const int64_t dir = f1 >= f0 ? 1 : -1;
  const int64_t len = (f1 - f0) * dir + 1;
  const int64_t pa = (*a.source_frame - f0) * dir;
  const int64_t pb = (*b.source_frame - f0) * dir;
  int64_t step = 1;
  if (k > 0 && Shown(r, k - 1) && Turn(fr[k - 1].params) == Turn(a.params)) {
    step = std::max<int64_t>(1, (*a.source_frame - *fr[k - 1].source_frame) * dir);
  }
  if (pa < 0 || pa >= len || pb < 0 || pb >= len) return std::nullopt;
  const int64_t dist = ((pb - pa) % len + len) % len;
  const std::string where = " at the seam between frames " + std::to_string(a.frame) + " and " + std::to_string(b.frame);
  if (dist == 0) return "the Cycle loop shows source frame " + std::to_string(*a.source_frame) + " twice" + where;
  if (dist <= step) return std::nullopt;
  std::vector<int64_t> skipped;
  for (int64_t s = step; s < dist; ++s) skipped.push_back(f0 + ((pa + s) % len) * dir);
  std::sort(skipped.begin(), skipped.end());
  return "the Cycle loop skips source " + Frames(skipped) + where + " (the stretch runs from source frame " +
         std::to_string(f0) + " to " + std::to_string(f1) + ")";
}

// A Pingpong's turn between frames k and k + 1: the frame it turns around on
// should show once (with a hold, "waiting", the repeat is wanted).
std::optional<std::string> PingpongTurn(const RenderRecord& r, std::size_t k) {
  const auto& fr = r.frames;
  const std::size_t lo = k > 0 ? k - 1 : k;
  const std::size_t hi = std::min(fr.size() - 1, k + 2);
  // After an odd turn the motion runs backwards.
  const bool forward_turn = Turn(fr[k + 1].params) % 2 != 0;
  for (std::size_t i = lo; i < hi; ++i) {
    if (!Shown(r, i) || !Shown(r, i + 1) || *fr[i].source_frame != *fr[i + 1].source_frame) continue;
    // Only the extreme of the turn counts: the frame the motion turns on.
    const int64_t v = *fr[i].source_frame;
    bool extreme = true;
    for (std::size_t m = lo; m <= hi; ++m) {
      if (!Shown(r, m)) continue;
      if (forward_turn ? *fr[m].source_frame > v : *fr[m].source_frame < v) extreme = false;
    }
    if (extreme) {
      return "the Pingpong loop shows its turn-around source frame " + std::to_string(v) + " twice, at frames " +
             std::to_string(fr[i].frame) + " and " + std::to_string(fr[i + 1].frame);
    }
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> Diagnose(const RenderRecord& r) {
  std::vector<std::string> out;
  if (auto outside = OutsideTheLayer(r)) out.push_back(*outside);
  const auto& fr = r.frames;
  for (std::size_t k = 0; k + 1 < fr.size(); ++k) {
    const HostParams& a = fr[k].params;
    const HostParams& b = fr[k + 1].params;
    if (Turn(a) == Turn(b) || !Shown(r, k) || !Shown(r, k + 1)) continue;
    std::optional<std::string> said;
    if (a.code(kParamType) == kLoopCycle && b.code(kParamType) == kLoopCycle) {
      said = CycleSeam(r, k);
    } else if (a.code(kParamType) == kLoopPingpong && b.code(kParamType) == kLoopPingpong &&
               a[kParamWaitingTime] == 0.0) {
      said = PingpongTurn(r, k);
    }
    if (said) out.push_back(*said);
  }
  return out;
}

}  // namespace zelvan::render
