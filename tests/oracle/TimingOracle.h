// What a render must show, worked out here on its own from the rules the host
// and the effect follow: the frame a time falls in, which clip frame the tool
// paints for a layer frame, sizes at a reduced resolution, and the loop's
// timing with the easing curves the tests use. The tests of the effect, the
// simulated host and the render tool check against these, never against the
// code's own functions, so that one mistake cannot hide in both.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace zelvan::oracle {

// The host's 16.16 fixed-point values; a percent slider's value becomes a
// fraction over 65536, then times 0.01 (so that 100 % is exactly 1).
inline double FromFixed(int64_t fixed) { return static_cast<double>(fixed) / 65536.0; }
inline double FractionFromPercentFixed(int64_t fixed) { return FromFixed(fixed) * 0.01; }

// A double as a 32-bit count: saturated at the limits, NaN as 0.
inline int64_t Saturated32(double x) {
  if (std::isnan(x)) return 0;
  return static_cast<int64_t>(
      std::clamp(x, double(std::numeric_limits<int32_t>::min()), double(std::numeric_limits<int32_t>::max())));
}

// A rate the host and the effect can count frames at.
inline bool UsableRate(double rate) { return rate > 0.0 && std::isfinite(rate); }

// The frame a time falls in at a rate: floor(seconds x rate), with a hair of
// slack so that a time exactly on a frame is that frame; frame 0 at a rate
// that is none.
inline int64_t FrameAt(double seconds, double rate) {
  return UsableRate(rate) ? Saturated32(std::floor(seconds * rate + 1e-9)) : 0;
}

// The clip frame the tool paints `layer_seconds` into its layer: the host
// counts the layer's frames at the composition's rate, and the clip frame
// on screen is the last that began by the start of that layer frame.
inline int64_t ClipFrameAt(double layer_seconds, double comp_fps, double clip_fps) {
  const int64_t layer_frame = FrameAt(layer_seconds, comp_fps);
  return static_cast<int64_t>(std::floor(static_cast<double>(layer_frame) / comp_fps * clip_fps + 1e-9));
}

// A width or height at 1/downsample, rounded half up (64 at 1/3 is 21, 37 at
// 1/3 is 12, 37 at 1/4 is 9, 65 at 1/2 is 33): (2 size + d) / 2d in whole numbers.
inline int DownsampledSize(int size, int downsample) { return (2 * size + downsample) / (2 * downsample); }

// The effect's loop phase from the "Time" angle: a Cycle takes each turn
// forwards, a Pingpong the first turn forwards and the second back; the
// motion takes the first (1 - waiting) of a turn and holds its end after.
inline double LoopPhase(bool pingpong, double degrees, double waiting) {
  auto motion = [waiting](double u) { return waiting == 1.0 ? 0.0 : std::min(1.0, u / (1.0 - waiting)); };
  const double period = pingpong ? 720.0 : 360.0;
  double r = std::fmod(degrees, period);
  if (r < 0.0) r += period;
  const double u = r / 360.0;
  return u <= 1.0 ? motion(u) : 1.0 - motion(u - 1.0);
}

// The easing curves, from their published equations with start 0, change 1
// and duration 1: mode 1 In, 2 Out, 3 InOut (each half squeezed into half the
// time and range). Linear, Quad, Cubic, Sine and Bounce (types 1, 2, 3, 8, 9).
inline double BounceOut(double x) {
  if (x < 1 / 2.75) return 7.5625 * x * x;
  if (x < 2 / 2.75) return 7.5625 * (x - 1.5 / 2.75) * (x - 1.5 / 2.75) + 0.75;
  if (x < 2.5 / 2.75) return 7.5625 * (x - 2.25 / 2.75) * (x - 2.25 / 2.75) + 0.9375;
  return 7.5625 * (x - 2.625 / 2.75) * (x - 2.625 / 2.75) + 0.984375;
}
inline double EasedIn(int type, double t) {
  const double pi = 3.14159265358979323846;
  switch (type) {
    case 1: return t;
    case 2: return t * t;
    case 3: return t * t * t;
    case 8: return 1.0 - std::cos(t * pi / 2.0);
    case 9: return 1.0 - BounceOut(1.0 - t);
    default: throw std::logic_error("the oracle knows the linear, quad, cubic, sine and bounce curves");
  }
}
inline double Eased(int type, int mode, double t) {
  if (t <= 0.0) return 0.0;
  if (t >= 1.0) return 1.0;
  if (type == 1) return t;
  if (mode == 1) return EasedIn(type, t);
  if (mode == 2) return 1.0 - EasedIn(type, 1.0 - t);  // Out is In turned half a turn
  if (mode == 3) return t < 0.5 ? EasedIn(type, 2.0 * t) / 2.0 : 0.5 + (1.0 - EasedIn(type, 2.0 - 2.0 * t)) / 2.0;
  return 0.0;
}

// A loop as the host hands it to the effect.
struct Loop {
  bool pingpong = false;
  double degrees = 0.0;
  double waiting = 0.0;  // a fraction of a turn
  int easing_type = 1;
  int easing_mode = 3;
  bool seconds = false;  // the stretch in seconds, else in fractions of the source's length
  double start = 0.0;
  double end = 1.0;
};

// A host time: value / scale seconds.
struct Time {
  int64_t value = 0;
  uint32_t scale = 1;
  double seconds() const { return scale == 0 ? 0.0 : static_cast<double>(value) / scale; }
};

// The composition time the effect asks for, at `time_scale`: the stretch of
// the source (its in-point and duration in composition time) less the last
// frame of the composition, at the eased phase, rounded half up.
inline Time SourceTime(const Loop& l, Time in_point, Time duration, double comp_fps, uint32_t time_scale) {
  const double eased = Eased(l.easing_type, l.easing_mode, LoopPhase(l.pingpong, l.degrees, l.waiting));
  // One frame of the composition, in the duration's ticks; none at a rate that is none.
  const int64_t one_frame = UsableRate(comp_fps) ? Saturated32(std::trunc(duration.scale / comp_fps)) : 0;
  const Time trimmed{std::max<int64_t>(0, duration.value - one_frame), duration.scale};
  const double offset =
      l.seconds ? l.start + eased * (l.end - l.start) : trimmed.seconds() * (l.start + eased * (l.end - l.start));
  return Time{Saturated32(std::floor((in_point.seconds() + offset) * time_scale + 0.5)), time_scale};
}

// Where the effect places the source frame on its output, by "Mode" (1
// Center: unscaled about the centre; 2 Whole: the whole frame inside, with
// bars; 3 No Margin: the output filled, the frame cropped; 4 Fit to Layer:
// stretched), for a layer of lw x lh and an output of ow x oh. Equal sizes
// are a plain copy whatever the mode.
struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
};
struct Placement {
  Rect src, dst;
};
inline Placement Place(int mode, int lw, int lh, int ow, int oh) {
  Placement p{{0, 0, lw, lh}, {0, 0, ow, oh}};
  if (lw == ow && lh == oh) return p;
  const double rw = static_cast<double>(ow) / lw, rh = static_cast<double>(oh) / lh;
  auto rnd = [](double x) { return static_cast<int>(x + 0.5); };
  auto span = [&](double centre, double half, int size, int* lo, int* hi) {
    *lo = std::max(0, rnd(centre - half));
    *hi = std::min(size, rnd(centre + half));
  };
  if (mode == 1) {
    p.src = {lw / 2 - ow / 2, lh / 2 - oh / 2, lw / 2 + ow / 2, lh / 2 + oh / 2};
  } else if (mode == 2 && rh > rw) {
    span(0.5 * oh, 0.5 * rw * lh, oh, &p.dst.top, &p.dst.bottom);
  } else if (mode == 2) {
    span(0.5 * ow, 0.5 * rh * lw, ow, &p.dst.left, &p.dst.right);
  } else if (mode == 3 && rh > rw) {
    span(0.5 * lw, 0.5 * ow / rh, lw, &p.src.left, &p.src.right);
  } else if (mode == 3) {
    span(0.5 * lh, 0.5 * oh / rw, lh, &p.src.top, &p.src.bottom);
  }
  return p;
}

}  // namespace zelvan::oracle
