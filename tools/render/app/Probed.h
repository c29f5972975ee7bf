// The scene a run renders, from the options, with its footage probed whole
// before anything is written (its warnings and --play-once's notes said
// once, on standard error), and the clip opened from them.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Cli.h"
#include "Clip.h"
#include "FootageProbe.h"
#include "Scene.h"

namespace zelvan::render {

struct Probed {
  Json raw;
  std::string path = kBuiltinClip;
  std::optional<FootageInfo> footage;  // none for the built-in clip
  Scene scene;
};

// Throws UsageError for a scene or footage the run cannot take.
Probed ProbeTheFootage(const Options& o);

// The clip the source layer shows, its cache budget set.
std::unique_ptr<Clip> OpenTheClip(const Options& o, const Probed& p);

// The movie whose sound a movie may copy: the footage when it is a movie,
// else empty (the built-in clip, pictures).
std::string MovieFootage(const Probed& p);

}  // namespace zelvan::render
