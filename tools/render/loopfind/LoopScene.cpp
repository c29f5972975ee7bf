#include "LoopScene.h"

#include <filesystem>

#include "PlayOnce.h"
#include "SceneFields.h"

namespace zelvan::render {

int64_t TurnFrames(const Candidate& loop, bool pingpong) { return pingpong ? loop.length() - 1 : loop.length(); }

Json LoopScene(Scene s, const Candidate& loop, bool pingpong) {
  const Rational fps = s.source.fps;
  // Frame k of the source begins at k / fps, exact as a quotient of whole numbers.
  const auto at = [&](int64_t k) { return static_cast<double>(k * fps.den) / static_cast<double>(fps.num); };
  const int64_t last = pingpong ? loop.end - 1 : loop.end;
  PlayStretch(s, pingpong ? kLoopPingpong : kLoopCycle, at(loop.start), at(last));
  s.comp.fps = fps;
  s.comp.frames = static_cast<int>(2 * TurnFrames(loop, pingpong));
  s.comp.duration = static_cast<double>(s.comp.frames) / fps.value();
  if (!s.source.builtin()) s.source.path = std::filesystem::absolute(s.source.path).lexically_normal().string();
  return ResolvedJson(s);
}

}  // namespace zelvan::render
