#include "TimingChart.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "RecordTime.h"
#include "SceneFields.h"

namespace zelvan::render {
namespace {

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

// The chart's canvas: the plot's place on it, the scales of its two axes
// (composition time across, the source layer's own time up) and the SVG
// written so far. Each step below draws one layer of the chart, in order.
class Chart {
 public:
  explicit Chart(const RenderRecord& record) : r(record) {
    in = Seconds(r.source.in_point);
    dur = Seconds(r.source.duration);
    comp_dur = r.frames.empty() ? 1.0 : static_cast<double>(r.frames.size()) / r.comp_fps;
    // Source time is the source layer's own time: seconds since its in-point.
    ymin = 0.0;
    ymax = std::max(dur, 1e-6);
    for (const FrameRecord& f : r.frames) {
      if (!f.layer_time) continue;
      ymin = std::min(ymin, Seconds(*f.layer_time) - in);
      ymax = std::max(ymax, Seconds(*f.layer_time) - in);
    }
    const double pad = (ymax - ymin) * 0.05;
    ymin -= pad;
    ymax += pad;
    svg.setf(std::ios::fixed);
    svg.precision(2);
  }

  void Canvas();
  void SourceSpan();
  void Axes();
  void Turns();
  void Holds();
  void Failures();
  void Curve();
  void Points();
  std::string Legend();

 private:
  static constexpr double W = 960, H = 480, L = 70, R = 20, T = 40, B = 60;
  static constexpr double pw = W - L - R, ph = H - T - B;
  double X(double t) const { return L + pw * t / comp_dur; }
  double Y(double s) const { return T + ph * (1.0 - (s - ymin) / (ymax - ymin)); }
  double XOf(int frame) const { return X(static_cast<double>(frame) / r.comp_fps); }
  // A round step for about eight ticks over the span.
  static double Tick(double span) {
    const double raw = span / 8.0;
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
      if (m * mag >= raw) return m * mag;
    }
    return 10.0 * mag;
  }

  const RenderRecord& r;
  double in = 0, dur = 0, comp_dur = 1, ymin = 0, ymax = 1;
  std::ostringstream svg;
};

void Chart::Canvas() {
  svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << W << "\" height=\"" << H << "\" viewBox=\"0 0 " << W
      << " " << H << "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  svg << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  auto named = [&](Field f) { return Given(r.scene.resolved, f)->get<std::string>(); };
  svg << "<text x=\"" << L << "\" y=\"18\" font-size=\"15\">Shown source time against composition time: "
      << named(Field::kType) << ", easing " << named(Field::kEasing) << " " << named(Field::kEasingMode)
      << ", waiting " << Given(r.scene.resolved, Field::kWaiting)->dump() << " %</text>\n";
}

// The source layer's span; outside it the host has no pixels.
void Chart::SourceSpan() {
  svg << "<rect x=\"" << L << "\" y=\"" << Y(dur) << "\" width=\"" << pw << "\" height=\"" << Y(0) - Y(dur)
      << "\" fill=\"#eef4ff\"/>\n";
}

void Chart::Axes() {
  svg << "<line x1=\"" << L << "\" y1=\"" << T + ph << "\" x2=\"" << L + pw << "\" y2=\"" << T + ph << "\" stroke=\"black\"/>\n";
  svg << "<line x1=\"" << L << "\" y1=\"" << T << "\" x2=\"" << L << "\" y2=\"" << T + ph << "\" stroke=\"black\"/>\n";
  const double tx = Tick(comp_dur);
  for (double t = 0; t <= comp_dur + 1e-9; t += tx) {
    svg << "<line x1=\"" << X(t) << "\" y1=\"" << T + ph << "\" x2=\"" << X(t) << "\" y2=\"" << T + ph + 5
        << "\" stroke=\"black\"/><text x=\"" << X(t) << "\" y=\"" << T + ph + 18 << "\" text-anchor=\"middle\">" << t
        << "</text>\n";
  }
  const double ty = Tick(ymax - ymin);
  for (double s = std::ceil(ymin / ty) * ty; s <= ymax + 1e-9; s += ty) {
    svg << "<line x1=\"" << L - 5 << "\" y1=\"" << Y(s) << "\" x2=\"" << L << "\" y2=\"" << Y(s)
        << "\" stroke=\"black\"/><text x=\"" << L - 8 << "\" y=\"" << Y(s) + 4 << "\" text-anchor=\"end\">"
        << (std::fabs(s) < 1e-9 ? 0.0 : s) << "</text>\n";
  }
  svg << "<text x=\"" << L + pw / 2 << "\" y=\"" << H - 15 << "\" text-anchor=\"middle\">composition time (s)</text>\n";
  svg << "<text transform=\"translate(18," << T + ph / 2
      << ") rotate(-90)\" text-anchor=\"middle\">source layer time (s)</text>\n";
}

// Loop turns: where the "Time" angle crosses a whole turn.
void Chart::Turns() {
  for (std::size_t k = 1; k < r.frames.size(); ++k) {
    const long long a = Turn(r.frames[k - 1].params), b = Turn(r.frames[k].params);
    if (a == b) continue;
    const double x = X(static_cast<double>(k) / r.comp_fps);
    svg << "<line x1=\"" << x << "\" y1=\"" << T << "\" x2=\"" << x << "\" y2=\"" << T + ph
        << "\" stroke=\"#888\" stroke-dasharray=\"4 3\"/><text x=\"" << x + 3 << "\" y=\"" << T + 12
        << "\" fill=\"#555\">turn " << b << "</text>\n";
  }
}

// Holds: runs of frames showing the same source frame.
void Chart::Holds() {
  const auto& fr = r.frames;
  for (std::size_t k = 0; k < fr.size();) {
    std::size_t j = k;
    while (j + 1 < fr.size() && fr[k].source_frame && fr[j + 1].source_frame && !fr[j + 1].failed() &&
           *fr[j + 1].source_frame == *fr[k].source_frame)
      ++j;
    if (j > k) {
      const double x0 = X(static_cast<double>(k) / r.comp_fps), x1 = X(static_cast<double>(j) / r.comp_fps);
      svg << "<rect x=\"" << x0 << "\" y=\"" << T << "\" width=\"" << x1 - x0 << "\" height=\"" << ph
          << "\" fill=\"#ffa500\" fill-opacity=\"0.15\"/>\n";
    }
    k = j + 1;
  }
}

// Failed frames: a red band over each, so that they never read as a hold.
void Chart::Failures() {
  const double column = pw / std::max<double>(1.0, static_cast<double>(r.frames.size()));
  for (const FrameRecord& f : r.frames) {
    if (!f.failed()) continue;
    const double x = XOf(f.frame);
    svg << "<rect x=\"" << x - column / 2 << "\" y=\"" << T << "\" width=\"" << column << "\" height=\"" << ph
        << "\" fill=\"#d62728\" fill-opacity=\"0.35\"><title>frame " << f.frame << ": "
        << (f.footage_failed() ? "footage error: " + Escape(f.footage_error)
                               : "the plug-in returned error " + std::to_string(f.error))
        << "</title></rect>\n";
  }
}

// The curve itself, one point per frame that rendered; it breaks at failures.
void Chart::Curve() {
  svg << "<polyline fill=\"none\" stroke=\"#1f5fbf\" stroke-width=\"1.5\" points=\"";
  for (const FrameRecord& f : r.frames) {
    if (f.failed()) {
      svg << "\"/>\n<polyline fill=\"none\" stroke=\"#1f5fbf\" stroke-width=\"1.5\" points=\"";
      continue;
    }
    if (f.layer_time) svg << XOf(f.frame) << "," << Y(Seconds(*f.layer_time) - in) << " ";
  }
  svg << "\"/>\n";
}

// A point per frame: filled where a source frame showed, hollow outside the
// layer, a red cross where the frame failed.
void Chart::Points() {
  for (const FrameRecord& f : r.frames) {
    if (!f.layer_time) continue;
    const double x = XOf(f.frame), y = Y(Seconds(*f.layer_time) - in);
    if (f.failed()) {
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
}

std::string Chart::Legend() {
  svg << "<text x=\"" << L + pw << "\" y=\"" << T - 6
      << "\" text-anchor=\"end\" font-size=\"11\" fill=\"#555\">blue band: source layer; "
         "orange: holds; dashed: loop turns; hollow: outside the layer; red: failed frames</text>\n";
  svg << "</svg>\n";
  return svg.str();
}

}  // namespace

std::string TimingChartSvg(const RenderRecord& r) {
  Chart chart(r);
  chart.Canvas();
  chart.SourceSpan();
  chart.Axes();
  chart.Turns();
  chart.Holds();
  chart.Failures();
  chart.Curve();
  chart.Points();
  return chart.Legend();
}

}  // namespace zelvan::render
