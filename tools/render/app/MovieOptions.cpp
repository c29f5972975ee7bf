#include "MovieOptions.h"

#include <set>
#include <vector>

#include "PlainText.h"

namespace zelvan::render {
namespace {

bool HasCrf(const MovieRecipe& r) { return r.has_crf(); }
bool HoldsSound(const MovieRecipe& r) { return ContainerOf(r).muxer != nullptr; }

// The kinds the movie may be with these options: the one picked, or its
// container's own for a render with alpha and without.
std::vector<const MovieRecipe*> Candidates(const Options& o, const MovieContainer& movie) {
  const std::optional<std::string> choice = KindChoice(o, movie);
  const MovieRecipe& alpha = RecipeOf(KindFor(movie, choice, true));
  const MovieRecipe& opaque = RecipeOf(KindFor(movie, choice, false));
  if (&alpha == &opaque) return {&alpha};
  return {&alpha, &opaque};
}

void CheckKindPicks(const Options& o, const MovieContainer* movie) {
  for (const auto& [option, value] : o.kind_picks) {
    if (movie == nullptr || movie->option == nullptr || option != movie->option) {
      for (const MovieContainer* owner : MovieContainers()) {
        if (owner->option == nullptr || option != owner->option) continue;
        throw UsageError(option, "picks the kind of a NAME" + std::string(owner->extension) + " only",
                         "give --out NAME" + std::string(owner->extension) + ", or drop " + option);
      }
    }
    if (!ChosenKind(*movie, value)) {
      std::vector<std::string> choices;
      for (const MovieRecipe* r : KindsIn(*movie)) {
        if (r->choice != nullptr) choices.emplace_back(r->choice);
      }
      throw UsageError(option + " " + value, "expects " + ListWith(choices, " or "),
                       "write e.g. " + option + " " + choices.back());
    }
  }
}

void CheckCrf(const Options& o, const MovieContainer* movie) {
  const int crf = *o.crf;
  const std::vector<const MovieRecipe*> kinds = movie == nullptr ? std::vector<const MovieRecipe*>{} : Candidates(o, *movie);
  std::vector<std::string> names;
  for (const MovieRecipe* r : kinds) {
    if (!HasCrf(*r)) names.emplace_back(r->codec_name);
  }
  if (kinds.empty() || !names.empty()) {
    const std::string is = movie == nullptr ? "frame files are lossless"
                                            : "NAME" + std::string(movie->extension) + " is " + ListWith(names, " or ");
    throw UsageError("--crf", "sets the quality of " + MoviesWhere(HasCrf) + " only (" + is + ")",
                     "drop --crf, or give --out " + MoviesWhere(HasCrf));
  }
  for (const MovieRecipe* r : kinds) {
    const std::string v = "--crf " + std::to_string(crf);
    if (crf < r->crf.lowest && r->crf.below != nullptr) {
      throw UsageError(v, r->crf.below,
                       "write NAME.mkv for a lossless movie, or --crf " + std::to_string(r->crf.lowest) + " to " +
                           std::to_string(r->crf.highest) + " for a movie that plays anywhere");
    }
    if (crf < r->crf.lowest || crf > r->crf.highest) {
      const int d = r->crf.fallback;
      throw UsageError(v,
                       "expects a whole number from " + std::to_string(r->crf.lowest) + " to " +
                           std::to_string(r->crf.highest) + " for " + r->codec_name,
                       "write e.g. --crf " + std::to_string(d + 5) + " for a smaller file or --crf " +
                           std::to_string(d - 6) + " for one closer to the frames (default " + std::to_string(d) + ")");
    }
  }
}

void CheckAudio(const Options& o, const MovieContainer* movie) {
  if (movie == nullptr) {
    throw UsageError("--audio copy", "copies the source's sound into a movie, and frame files hold none",
                     "give --out " + MoviesWhere(HoldsSound) + ", or drop --audio copy");
  }
  if (movie->muxer == nullptr) {
    throw UsageError("--audio copy", "NAME" + std::string(movie->extension) + " holds no sound",
                     "give --out " + MoviesWhere(HoldsSound) + ", or drop --audio copy");
  }
  if (!o.play_once) {
    throw UsageError("--audio copy",
                     "needs --play-once: only a movie that plays the source once, in its own time, fits its sound",
                     "add --play-once, or drop --audio copy");
  }
}

}  // namespace

bool IsKindOption(const std::string& option) {
  for (const MovieContainer* c : MovieContainers()) {
    if (c->option != nullptr && option == c->option) return true;
  }
  return false;
}

std::optional<std::string> KindChoice(const Options& o, const MovieContainer& movie) {
  if (movie.option == nullptr) return std::nullopt;
  const auto it = o.kind_picks.find(movie.option);
  return it == o.kind_picks.end() ? std::nullopt : std::optional<std::string>(it->second);
}

std::string MoviesWhere(bool (*match)(const MovieRecipe&), const std::string& last) {
  std::vector<std::string> names;
  std::set<std::string> seen;
  for (const MovieRecipe* r : MovieRecipes()) {
    if (match(*r) && seen.insert(r->extension).second) names.push_back("NAME" + std::string(r->extension));
  }
  return ListWith(names, last);
}

void CheckMovieOptions(const Options& o, const MovieContainer* movie) {
  CheckKindPicks(o, movie);
  if (o.crf) CheckCrf(o, movie);
  if (o.audio_copy) CheckAudio(o, movie);
}

}  // namespace zelvan::render
