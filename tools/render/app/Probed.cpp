#include "Probed.h"

#include <cmath>
#include <iostream>

#include "PlayOnce.h"
#include "SceneFields.h"

namespace zelvan::render {

Probed ProbeTheFootage(const Options& o) {
  Probed p;
  p.raw = BuildScene(o);
  if (const Json* v = Given(p.raw, Field::kSourcePath); v != nullptr && v->is_string()) p.path = v->get<std::string>();
  if (p.path != kBuiltinClip && !p.path.empty()) p.footage = ProbeFootage(p.path);
  if (p.footage) {
    for (const std::string& w : p.footage->warnings) std::cerr << "zelvan-render: warning: " << w << "\n";
  }
  std::optional<FootageFacts> facts;
  if (p.footage) facts = FootageFacts{p.footage->frames, p.footage->fps, p.footage->width, p.footage->height};
  p.scene = ResolveScene(p.raw, facts, o.play_once);
  if (o.play_once) {
    for (const std::string& n : PlayOnceNotes(p.scene)) std::cerr << "zelvan-render: note: " << n << "\n";
  }
  if (p.footage && !p.footage->frames) {
    // A still lasts as long as the composition unless told otherwise.
    if (!p.scene.source.duration) p.scene.source.duration = p.scene.comp.duration;
    const SceneField& duration = FieldOf(Field::kSourceDuration);
    p.scene.resolved[duration.group][duration.name] = *p.scene.source.duration;
  }
  return p;
}

std::unique_ptr<Clip> OpenTheClip(const Options& o, const Probed& p) {
  const Scene& scene = p.scene;
  if (!p.footage) {
    const auto frames = static_cast<int64_t>(std::ceil(*scene.source.duration * scene.source.fps.value() - 1e-9));
    return Clip::Builtin(scene.source.width, scene.source.height, frames);
  }
  std::unique_ptr<Clip> clip = Clip::Footage(p.path, *p.footage);
  clip->SetCacheBudget(o.cache_mb << 20);
  const double have = static_cast<double>(clip->frames()) / scene.source.fps.value();
  if (p.footage->frames && *scene.source.duration > have + 1e-9) {
    std::cerr << "zelvan-render: warning: " << FieldOf(Field::kSourceDuration).path() << " " << *scene.source.duration
              << " s is longer than the footage (" << have << " s); its last frame holds\n";
  }
  return clip;
}

std::string MovieFootage(const Probed& p) {
  return p.footage && p.footage->movie ? p.path : "";
}

}  // namespace zelvan::render
