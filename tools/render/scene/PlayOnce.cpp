#include "PlayOnce.h"

#include <algorithm>
#include <cmath>

#include "ParamTable.h"
#include "SceneFields.h"

namespace zelvan::render {
namespace {

// The composition frames the source lasts at the composition's rate: its
// last frame shows in the last of them.
double FramesOfTheSource(const Scene& s) { return std::ceil(*s.source.duration * s.comp.fps.value() - 1e-9); }

}  // namespace

void RefuseLoopFields(const Json& in) {
  for (const SceneField& f : SceneFields()) {
    if (f.loop && Given(in, f.id) != nullptr) {
      throw UsageError(f.path(), "is set by --play-once (a linear Cycle of the whole source)", "drop one of them");
    }
  }
}

void PlayOnceLength(const Json& in, const std::optional<FootageFacts>& footage, Scene& s) {
  const SourceSettings& src = s.source;
  if (!src.builtin() && !(footage && footage->frames)) {
    throw UsageError("--play-once", "needs footage with frames, and " + src.path + " is a single image",
                     "give a movie, an image sequence or the built-in clip, or drop --play-once");
  }
  if (Given(in, Field::kCompFrames) != nullptr || Given(in, Field::kCompDuration) != nullptr) return;
  CompSettings& c = s.comp;
  const double want = FramesOfTheSource(s);
  if (want > static_cast<double>(kMaxFrames)) {
    throw UsageError("--play-once", "asks for more than " + std::to_string(kMaxFrames) + " frames",
                     "set a shorter comp.duration or a lower comp.fps");
  }
  c.frames = std::max(1, static_cast<int>(want));
  c.duration = static_cast<double>(c.frames) / c.fps.value();
}

void PlayStretch(Scene& s, LoopType type, double start, double end) {
  EffectSettings& p = s.params;
  p[kParamType] = type;
  p.time.kind = TimeCurve::Kind::Rate;
  p.time.rate = 360.0 / (end - start);
  p[kParamWaitingTime] = 0.0;
  p[kParamRangeType] = kRangeSecond;
  p[kParamStartSeconds] = start;
  p[kParamEndSeconds] = end;
  p[kParamEasingType] = kEasingLinear;
}

// Seconds, not percent: the percent range runs over the duration less one
// frame, and a Cycle never reaches its end.
void PlayOnceLoop(Scene& s) { PlayStretch(s, kLoopCycle, 0.0, *s.source.duration); }

std::vector<std::string> PlayOnceNotes(const Scene& s) {
  std::vector<std::string> notes;
  const CompSettings& c = s.comp;
  const Rational& src = s.source.fps;
  const auto once = static_cast<int64_t>(std::max(1.0, FramesOfTheSource(s)));
  if (c.frames > once) {
    notes.push_back("--play-once: the composition's " + std::to_string(c.frames) + " frames outlast the source's " +
                    Compact(*s.source.duration) + " s, so from composition frame " + std::to_string(once) +
                    " on the source starts again (a loop)");
  }
  // Exact: a / b against c / d as a x d against c x b.
  const __int128 comp = static_cast<__int128>(c.fps.num) * src.den, source = static_cast<__int128>(src.num) * c.fps.den;
  if (comp != source) {
    notes.push_back("--play-once: the composition's " + c.fps.text() + " fps is " +
                    (comp > source ? "faster" : "slower") + " than the source's " + src.text() + ", so source frames " +
                    (comp > source ? "repeat" : "are skipped"));
  }
  return notes;
}

}  // namespace zelvan::render
