// The movie a run writes (--out NAME.mp4, .webm, .mov, .mkv or .gif): its
// kind, picked by its container's option or, where the container's own kind
// follows the render's alpha (.webm, .mov), by whether the first frame has a
// pixel with alpha below 1; its settings; the source's sound, copied with
// --audio copy or noted once as left out; and what a dry run and the end of
// the run say of it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Cli.h"
#include "Colour.h"
#include "MovieEncoder.h"
#include "Scene.h"
#include "SourceAudio.h"

namespace zelvan::render {

class MoviePlan {
 public:
  // For --out naming `container`, over the footage at `footage` (empty for
  // the built-in clip or pictures). Throws UsageError for --audio copy from
  // footage without sound, or sound the container does not take; notes on
  // standard error a source's sound that the movie leaves out.
  MoviePlan(const Options& o, const Scene& scene, const MovieContainer& container, const std::string& footage);

  // Whether the kind waits for the first frame's alpha.
  bool follows_alpha() const;
  // The movie of a render whose first frame has alpha (or has none), whose
  // pictures hold colour `held`.
  MovieSettings Settings(bool alpha, const Colour& held) const;
  // "NAME would be a movie of 90 frames 320x180 at 30 fps, H.264 High, level
  // 2.1, yuv420p, no alpha, crf 18; plays anywhere: ...". Throws as the
  // encoder does.
  std::string DryRun(const std::string& out, bool alpha) const;
  // The note of pixels with alpha below 1 that the movie shows over black;
  // empty when there are none or the movie keeps them.
  std::string OverBlack(const MovieEncoder& movie, const std::string& out) const;

 private:
  const Options& options_;
  const Scene& scene_;
  const MovieContainer& container_;
  std::optional<std::string> choice_;
  std::unique_ptr<SourceAudio> audio_;  // copied
};

}  // namespace zelvan::render
