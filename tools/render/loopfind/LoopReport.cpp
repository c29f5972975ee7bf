#include "LoopReport.h"

#include <cmath>
#include <cstdio>

#include "Params.h"
#include "SceneFields.h"

namespace zelvan::render {
namespace {

// Levels to a ten-thousandth: what the search can tell apart, without the
// float's tail.
double Levels(double v) { return std::round(v * 1e4) / 1e4; }

double Seconds(int64_t frame, const Rational& fps) {
  return static_cast<double>(frame * fps.den) / static_cast<double>(fps.num);
}

// The loop's type by the scene's own name for it ("cycle", "pingpong").
std::string TypeName(bool pingpong) {
  const SceneField& type = FieldOf(Field::kType);
  return (*type.choices)[static_cast<std::size_t>((pingpong ? kLoopPingpong : kLoopCycle) - 1)];
}

}  // namespace

Json LoopsJson(const LoopFindings& f, const Scene& scene) {
  const SceneField& fps = FieldOf(Field::kSourceFps);
  Json candidates = Json::array();
  for (std::size_t i = 0; i < f.ranked.size(); ++i) {
    const Candidate& c = f.ranked[i];
    candidates.push_back(Json{{"rank", i + 1},
                              {"start_frame", c.start},
                              {"end_frame", c.end},
                              {"start_seconds", Seconds(c.start, f.fps)},
                              {"end_seconds", Seconds(c.end, f.fps)},
                              {"length_frames", c.length()},
                              {"seam", Levels(c.seam)},
                              {"seam_per_step", Levels(c.seam / f.step)}});
  }
  return Json{{"clip",
               {{"path", f.path},
                {"frames", f.frames},
                {"fps", fps.write(fps, scene)},
                {"width", f.width},
                {"height", f.height}}},
              {"type", TypeName(f.span.pingpong)},
              {"lengths", {{"shortest_frames", f.span.shortest}, {"longest_frames", f.span.longest}}},
              {"typical_step", Levels(f.step)},
              {"candidates", candidates}};
}

std::string LoopsTable(const LoopFindings& f) {
  std::string out = std::string(f.span.pingpong ? "Pingpong" : "Cycle") + " loops of " + f.path + ": " +
                    std::to_string(f.frames) + " frames " + std::to_string(f.width) + "x" + std::to_string(f.height) +
                    " at " + f.fps.text() + " fps, " + std::to_string(f.span.shortest) + " to " +
                    std::to_string(f.span.longest) + " frames long\n";
  char line[160];
  std::snprintf(line, sizeof line, "typical step %.2f levels", static_cast<double>(f.step));
  out += line;
  out +=
      " (the median distance of consecutive frames); a seam of at most\n"
      "1 step shows no more than the clip's own motion. A loop shows frames start .. end - 1\n";
  out += "rank  start    end  start s    end s  length  length s     seam  per step\n";
  for (std::size_t i = 0; i < f.ranked.size(); ++i) {
    const Candidate& c = f.ranked[i];
    std::snprintf(line, sizeof line, "%4zu %6lld %6lld %8.3f %8.3f %7lld %9.3f %8.2f %9.2f\n", i + 1,
                  static_cast<long long>(c.start), static_cast<long long>(c.end), Seconds(c.start, f.fps),
                  Seconds(c.end, f.fps), static_cast<long long>(c.length()), Seconds(c.length(), f.fps),
                  static_cast<double>(c.seam), static_cast<double>(c.seam / f.step));
    out += line;
  }
  return out;
}

}  // namespace zelvan::render
