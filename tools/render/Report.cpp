#include "Report.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

namespace zelvan::render {
namespace {

Json TimeJson(const A_Time& t) { return Json::array({t.value, t.scale}); }
// 25, or "30000/1001".
Json RationalJson(const Rational& r) { return r.den == 1 ? Json(r.num) : Json(r.text()); }
Json RectJson(const PF_LRect& r) { return Json::array({r.left, r.top, r.right, r.bottom}); }
double Seconds(const A_Time& t) { return t.scale == 0 ? 0.0 : static_cast<double>(t.value) / static_cast<double>(t.scale); }

// The clip frame shown at a composition time, as the host picks it: the
// layer's frame at the composition rate, then the clip frame at that moment.
int64_t ClipFrameAt(const RenderRecord& r, double comp_seconds) {
  const double layer_seconds = comp_seconds - Seconds(r.source.in_point);
  const double host_frame = std::floor(layer_seconds * r.comp_fps + 1e-9);
  return static_cast<int64_t>(std::floor(host_frame / r.comp_fps * r.source.fps.value() + 1e-9));
}

// The clip frames at the two ends of the loop's stretch, from the values the
// host handed over; used only to judge a seam.
std::pair<int64_t, int64_t> StretchEnds(const RenderRecord& r, const HostParams& p) {
  const A_Time dur = r.source.duration;
  const int64_t one = static_cast<int64_t>(static_cast<double>(dur.scale) / r.comp_fps);
  const double trimmed = static_cast<double>(std::max<int64_t>(0, dur.value - one)) / static_cast<double>(dur.scale);
  double a = 0.0, b = 0.0;
  if (p.range_type == 1) {
    a = trimmed * (p.start_pct_fixed / 65536.0 * 0.01);
    b = trimmed * (p.end_pct_fixed / 65536.0 * 0.01);
  } else {
    a = p.start_sec;
    b = p.end_sec;
  }
  const double in = Seconds(r.source.in_point);
  auto at = [&](double offset) {
    const double v = std::floor((in + offset) * r.time_scale + 0.5);
    return ClipFrameAt(r, v / r.time_scale);
  };
  return {at(a), at(b)};
}

long long Turn(const HostParams& p) { return static_cast<long long>(std::floor(p.time_fixed / 65536.0 / 360.0)); }

std::string Frames(const std::vector<int64_t>& f) { return (f.size() == 1 ? "frame " : "frames ") + FrameList(f); }

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

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

Json ReportJson(const RenderRecord& r) {
  Json j;
  j["scene"] = r.scene.resolved;
  j["time_scale"] = r.time_scale;
  j["source"] = {{"layer_id", r.source.layer_id},
                 {"in_point", TimeJson(r.source.in_point)},
                 {"duration", TimeJson(r.source.duration)},
                 {"fps", RationalJson(r.source.fps)},
                 {"frames", r.source.frames},
                 {"width", r.source.width},
                 {"height", r.source.height},
                 {"rotation", r.source.rotation},
                 {"pixel_aspect", RationalJson(r.source.pixel_aspect.value_or(Rational{1, 1}))},
                 {"variable_rate", r.source.variable_rate}};
  Json frames = Json::array();
  for (const FrameRecord& f : r.frames) {
    const HostParams& p = f.params;
    Json o;
    o["frame"] = f.frame;
    o["current_time"] = TimeJson(f.current_time);
    o["params"] = {{"mode", p.mode},
                   {"type", p.type},
                   {"time_fixed", p.time_fixed},
                   {"waiting_fixed", p.waiting_fixed},
                   {"range_type", p.range_type},
                   {"start_pct_fixed", p.start_pct_fixed},
                   {"end_pct_fixed", p.end_pct_fixed},
                   {"start_sec", p.start_sec},
                   {"end_sec", p.end_sec},
                   {"easing_type", p.easing_type},
                   {"easing_mode", p.easing_mode}};
    o["layer_time"] = f.layer_time ? TimeJson(*f.layer_time) : Json(nullptr);
    o["source_frame"] = f.source_frame ? Json(*f.source_frame) : Json(nullptr);
    o["copy"] = f.copy ? Json{{"src", RectJson(f.copy->src)}, {"dst", RectJson(f.copy->dst)}} : Json(nullptr);
    o["error"] = f.error;
    o["file"] = f.file;
    o["failure"] = f.footage_failed() ? Json("footage") : f.error != 0 ? Json("plug-in") : Json(nullptr);
    o["footage_error"] = f.footage_failed()
                             ? Json{{"call", f.failed_call},
                                    {"source_frame", f.failed_source_frame ? Json(*f.failed_source_frame) : Json(nullptr)},
                                    {"message", f.footage_error}}
                             : Json(nullptr);
    frames.push_back(std::move(o));
  }
  j["frames"] = std::move(frames);
  return j;
}

std::vector<std::string> Diagnose(const RenderRecord& r) {
  std::vector<std::string> out;
  const double in = Seconds(r.source.in_point);
  const double end = in + Seconds(r.source.duration);

  // Times outside the source layer: the host has no pixels there.
  std::vector<int64_t> outside;
  for (const FrameRecord& f : r.frames) {
    if (!f.layer_time || f.failed()) continue;
    const double t = Seconds(*f.layer_time);  // the effect layer starts at 0: its time is composition time
    if (t < in - 1e-12 || t >= end - 1e-12 || !f.source_frame) outside.push_back(f.frame);
  }
  if (!outside.empty()) {
    out.push_back("the loop asks for times outside the source layer (" + Compact(in) + " s to " + Compact(end) +
                  " s) at " + Frames(outside) +
                  "; those frames pass the input through. Narrow params.start/params.end or lengthen the source");
  }

  const auto& fr = r.frames;
  auto shown = [&](std::size_t i) { return fr[i].source_frame.has_value(); };
  for (std::size_t k = 0; k + 1 < fr.size(); ++k) {
    const FrameRecord& a = fr[k];
    const FrameRecord& b = fr[k + 1];
    if (Turn(a.params) == Turn(b.params) || !shown(k) || !shown(k + 1)) continue;
    if (a.params.type == 1 && b.params.type == 1) {
      // Cycle: the seam should step on like the motion just before it,
      // wrapping from the stretch's end to its start.
      const auto [f0, f1] = StretchEnds(r, a.params);
      const int64_t dir = f1 >= f0 ? 1 : -1;
      const int64_t len = (f1 - f0) * dir + 1;
      const int64_t pa = (*a.source_frame - f0) * dir;
      const int64_t pb = (*b.source_frame - f0) * dir;
      int64_t step = 1;
      if (k > 0 && shown(k - 1) && Turn(fr[k - 1].params) == Turn(a.params)) {
        step = std::max<int64_t>(1, (*a.source_frame - *fr[k - 1].source_frame) * dir);
      }
      if (pa < 0 || pa >= len || pb < 0 || pb >= len) continue;
      const int64_t dist = ((pb - pa) % len + len) % len;
      const std::string where = " at the seam between frames " + std::to_string(a.frame) + " and " + std::to_string(b.frame);
      if (dist == 0) {
        out.push_back("the Cycle loop shows source frame " + std::to_string(*a.source_frame) + " twice" + where);
      } else if (dist > step) {
        std::vector<int64_t> skipped;
        for (int64_t s = step; s < dist; ++s) skipped.push_back(f0 + ((pa + s) % len) * dir);
        std::sort(skipped.begin(), skipped.end());
        out.push_back("the Cycle loop skips source " + Frames(skipped) + where +
                      " (the stretch runs from source frame " + std::to_string(f0) + " to " + std::to_string(f1) + ")");
      }
    } else if (a.params.type == 2 && b.params.type == 2 && a.params.waiting_fixed == 0) {
      // Pingpong: the frame it turns around on should show once; with a
      // hold ("waiting") the repeat is wanted.
      const std::size_t lo = k > 0 ? k - 1 : k;
      const std::size_t hi = std::min(fr.size() - 1, k + 2);
      for (std::size_t i = lo; i < hi; ++i) {
        if (!shown(i) || !shown(i + 1) || *fr[i].source_frame != *fr[i + 1].source_frame) continue;
        // Only the extreme of the turn counts: the frame the motion turns on.
        const int64_t v = *fr[i].source_frame;
        bool extreme = true;
        for (std::size_t m = lo; m <= hi; ++m) {
          if (!shown(m)) continue;
          const bool forward_turn = Turn(b.params) % 2 != 0;  // after an odd turn the motion runs backwards
          if (forward_turn ? *fr[m].source_frame > v : *fr[m].source_frame < v) extreme = false;
        }
        if (extreme) {
          out.push_back("the Pingpong loop shows its turn-around source frame " + std::to_string(v) + " twice, at frames " +
                        std::to_string(fr[i].frame) + " and " + std::to_string(fr[i + 1].frame));
          break;
        }
      }
    }
  }
  return out;
}

std::string TimingChartSvg(const RenderRecord& r) {
  const double W = 960, H = 480, L = 70, R = 20, T = 40, B = 60;
  const double pw = W - L - R, ph = H - T - B;
  const double in = Seconds(r.source.in_point);
  const double dur = Seconds(r.source.duration);
  const double comp_dur = r.frames.empty() ? 1.0 : static_cast<double>(r.frames.size()) / r.comp_fps;
  // Source time is the source layer's own time: seconds since its in-point.
  double ymin = 0.0, ymax = std::max(dur, 1e-6);
  for (const FrameRecord& f : r.frames) {
    if (!f.layer_time) continue;
    ymin = std::min(ymin, Seconds(*f.layer_time) - in);
    ymax = std::max(ymax, Seconds(*f.layer_time) - in);
  }
  const double pad = (ymax - ymin) * 0.05;
  ymin -= pad;
  ymax += pad;
  auto X = [&](double t) { return L + pw * t / comp_dur; };
  auto Y = [&](double s) { return T + ph * (1.0 - (s - ymin) / (ymax - ymin)); };
  std::ostringstream svg;
  svg.setf(std::ios::fixed);
  svg.precision(2);
  svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << W << "\" height=\"" << H << "\" viewBox=\"0 0 " << W
      << " " << H << "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  svg << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  const Json& p = r.scene.resolved["params"];
  svg << "<text x=\"" << L << "\" y=\"18\" font-size=\"15\">Shown source time against composition time: "
      << p["type"].get<std::string>() << ", easing " << p["easing"].get<std::string>() << " "
      << p["easing_mode"].get<std::string>() << ", waiting " << p["waiting"].dump() << " %</text>\n";
  // The source layer's span; outside it the host has no pixels.
  svg << "<rect x=\"" << L << "\" y=\"" << Y(dur) << "\" width=\"" << pw << "\" height=\"" << Y(0) - Y(dur)
      << "\" fill=\"#eef4ff\"/>\n";
  // Axes and ticks.
  svg << "<line x1=\"" << L << "\" y1=\"" << T + ph << "\" x2=\"" << L + pw << "\" y2=\"" << T + ph << "\" stroke=\"black\"/>\n";
  svg << "<line x1=\"" << L << "\" y1=\"" << T << "\" x2=\"" << L << "\" y2=\"" << T + ph << "\" stroke=\"black\"/>\n";
  auto tick = [](double span) {
    const double raw = span / 8.0;
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
      if (m * mag >= raw) return m * mag;
    }
    return 10.0 * mag;
  };
  const double tx = tick(comp_dur);
  for (double t = 0; t <= comp_dur + 1e-9; t += tx) {
    svg << "<line x1=\"" << X(t) << "\" y1=\"" << T + ph << "\" x2=\"" << X(t) << "\" y2=\"" << T + ph + 5
        << "\" stroke=\"black\"/><text x=\"" << X(t) << "\" y=\"" << T + ph + 18 << "\" text-anchor=\"middle\">" << t
        << "</text>\n";
  }
  const double ty = tick(ymax - ymin);
  for (double s = std::ceil(ymin / ty) * ty; s <= ymax + 1e-9; s += ty) {
    svg << "<line x1=\"" << L - 5 << "\" y1=\"" << Y(s) << "\" x2=\"" << L << "\" y2=\"" << Y(s)
        << "\" stroke=\"black\"/><text x=\"" << L - 8 << "\" y=\"" << Y(s) + 4 << "\" text-anchor=\"end\">" << (std::fabs(s) < 1e-9 ? 0.0 : s)
        << "</text>\n";
  }
  svg << "<text x=\"" << L + pw / 2 << "\" y=\"" << H - 15 << "\" text-anchor=\"middle\">composition time (s)</text>\n";
  svg << "<text transform=\"translate(18," << T + ph / 2 << ") rotate(-90)\" text-anchor=\"middle\">source layer time (s)</text>\n";

  // Loop turns: where the "Time" angle crosses a whole turn.
  for (std::size_t k = 1; k < r.frames.size(); ++k) {
    const long long a = Turn(r.frames[k - 1].params), b = Turn(r.frames[k].params);
    if (a == b) continue;
    const double x = X(static_cast<double>(k) / r.comp_fps);
    svg << "<line x1=\"" << x << "\" y1=\"" << T << "\" x2=\"" << x << "\" y2=\"" << T + ph
        << "\" stroke=\"#888\" stroke-dasharray=\"4 3\"/><text x=\"" << x + 3 << "\" y=\"" << T + 12
        << "\" fill=\"#555\">turn " << b << "</text>\n";
  }
  // Holds: runs of frames showing the same source frame.
  for (std::size_t k = 0; k < r.frames.size();) {
    std::size_t j = k;
    while (j + 1 < r.frames.size() && r.frames[k].source_frame && r.frames[j + 1].source_frame && !r.frames[j + 1].failed() &&
           *r.frames[j + 1].source_frame == *r.frames[k].source_frame)
      ++j;
    if (j > k) {
      const double x0 = X(static_cast<double>(k) / r.comp_fps), x1 = X(static_cast<double>(j) / r.comp_fps);
      svg << "<rect x=\"" << x0 << "\" y=\"" << T << "\" width=\"" << x1 - x0 << "\" height=\"" << ph
          << "\" fill=\"#ffa500\" fill-opacity=\"0.15\"/>\n";
    }
    k = j + 1;
  }
  // Failed frames: a red band over each, so that they never read as a hold.
  const double column = pw / std::max<double>(1.0, static_cast<double>(r.frames.size()));
  for (const FrameRecord& f : r.frames) {
    if (!f.failed()) continue;
    const double x = X(static_cast<double>(f.frame) / r.comp_fps);
    svg << "<rect x=\"" << x - column / 2 << "\" y=\"" << T << "\" width=\"" << column << "\" height=\"" << ph
        << "\" fill=\"#d62728\" fill-opacity=\"0.35\"><title>frame " << f.frame << ": "
        << (f.footage_failed() ? "footage error: " + Escape(f.footage_error)
                               : "the plug-in returned error " + std::to_string(f.error))
        << "</title></rect>\n";
  }
  // The curve itself, one point per frame that rendered; it breaks at failures.
  svg << "<polyline fill=\"none\" stroke=\"#1f5fbf\" stroke-width=\"1.5\" points=\"";
  for (const FrameRecord& f : r.frames) {
    if (f.failed()) {
      svg << "\"/>\n<polyline fill=\"none\" stroke=\"#1f5fbf\" stroke-width=\"1.5\" points=\"";
      continue;
    }
    if (f.layer_time) svg << X(static_cast<double>(f.frame) / r.comp_fps) << "," << Y(Seconds(*f.layer_time) - in) << " ";
  }
  svg << "\"/>\n";
  for (const FrameRecord& f : r.frames) {
    if (!f.layer_time) continue;
    const double x = X(static_cast<double>(f.frame) / r.comp_fps), y = Y(Seconds(*f.layer_time) - in);
    if (f.failed()) {
      // A red cross where the plug-in asked for the source.
      svg << "<path d=\"M" << x - 4 << "," << y - 4 << " L" << x + 4 << "," << y + 4 << " M" << x - 4 << "," << y + 4
          << " L" << x + 4 << "," << y - 4 << "\" stroke=\"#d62728\" stroke-width=\"2\"><title>frame " << f.frame
          << ": failed</title></path>\n";
      continue;
    }
    const bool shown = f.source_frame.has_value();
    svg << "<circle cx=\"" << x << "\" cy=\"" << y << "\" r=\"2.5\" fill=\"" << (shown ? "#1f5fbf" : "white")
        << "\" stroke=\"" << (shown ? "#1f5fbf" : "#555") << "\"><title>frame " << f.frame << ": source frame "
        << (shown ? std::to_string(*f.source_frame) : std::string("none (outside the layer)")) << "</title></circle>\n";
  }
  svg << "<text x=\"" << L + pw << "\" y=\"" << T - 6 << "\" text-anchor=\"end\" font-size=\"11\" fill=\"#555\">blue band: source layer; "
         "orange: holds; dashed: loop turns; hollow: outside the layer; red: failed frames</text>\n";
  svg << "</svg>\n";
  return svg.str();
}

}  // namespace zelvan::render
