#include "MoviePlan.h"

#include <iostream>
#include <vector>

#include "ClipFrame.h"
#include "MovieAudio.h"
#include "MovieDescription.h"
#include "MovieOptions.h"
#include "PlainText.h"

namespace zelvan::render {
namespace {

// The movies whose container takes sound of `codec`.
std::string TakersOf(AVCodecID codec) {
  std::vector<std::string> names;
  for (const MovieContainer* c : MovieContainers()) {
    if (ContainerTakesSound(*c, codec)) names.push_back("NAME" + std::string(c->extension));
  }
  return ListWith(names, " or ");
}

}  // namespace

MoviePlan::MoviePlan(const Options& o, const Scene& scene, const MovieContainer& container, const std::string& footage)
    : options_(o), scene_(scene), container_(container), choice_(KindChoice(o, container)) {
  std::unique_ptr<SourceAudio> sound = footage.empty() ? nullptr : SourceAudio::Open(footage);
  if (o.audio_copy && !sound) {
    throw UsageError("--audio copy", (footage.empty() ? std::string("the source") : footage) + " has no sound",
                     "drop --audio copy");
  }
  if (o.audio_copy && !ContainerTakesSound(container, sound->parameters().codec_id)) {
    const std::string codec = sound->codec();
    throw UsageError("--audio copy", o.out_dir + " does not take " + footage + "'s " + codec + " sound",
                     "write " + TakersOf(sound->parameters().codec_id) + ", which take it, or drop --audio copy");
  }
  if (o.audio_copy) {
    audio_ = std::move(sound);
  } else if (sound) {
    std::cerr << "zelvan-render: note: " << footage << " has sound (" << sound->codec() << "), which " << o.out_dir
              << " does not carry: a render has none. " << (o.play_once ? "" : "With --play-once, ")
              << "--audio copy copies it into " << TakersOf(sound->parameters().codec_id) << "\n";
  }
}

bool MoviePlan::follows_alpha() const { return KindFollowsAlpha(container_, choice_); }

MovieSettings MoviePlan::Settings(bool alpha, const Colour& held) const {
  const CompSettings& c = scene_.comp;
  MovieSettings s;
  s.kind = KindFor(container_, choice_, alpha);
  s.width = RenderedSize(c.width, c.downsample);
  s.height = RenderedSize(c.height, c.downsample);
  s.depth = c.depth;
  s.fps = c.fps;
  s.frames = c.frames;
  s.crf = options_.crf.value_or(RecipeOf(s.kind).crf.fallback);
  s.colour = held;
  s.audio = audio_.get();
  return s;
}

std::string MoviePlan::DryRun(const std::string& out, bool alpha) const {
  const MovieSettings m = Settings(alpha, Colour{});
  std::string said = out + " would be a movie of " + std::to_string(m.frames) + " frames " + std::to_string(m.width) +
                     "x" + std::to_string(m.height) + " at " + m.fps.text() + " fps, " +
                     MovieDescription(m, EncoderProfile(m, out));
  if (follows_alpha()) said += alpha ? " (the first frame has alpha)" : " (the first frame has none)";
  if (audio_) said += ", with " + audio_->codec() + " sound copied";
  return said + "; " + RecipeOf(m.kind).plays;
}

std::string MoviePlan::OverBlack(const MovieEncoder& movie, const std::string& out) const {
  if (!movie.first_translucent()) return "";
  const MovieRecipe& r = RecipeOf(movie.kind());
  if (r.alpha) return "";
  return "the render has pixels with alpha below 1 (first at frame " + std::to_string(*movie.first_translucent()) +
         "); " + out + " has no alpha, so it shows them over black; " + r.keep_alpha;
}

}  // namespace zelvan::render
