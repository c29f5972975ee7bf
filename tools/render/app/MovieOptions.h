// The options of a movie, checked against the container --out names (null
// for a folder of frames): the option that picks its kind (--codec,
// --prores, as the recipe table names them), --crf within its kind's scale,
// and --audio copy, which takes --play-once and a container that holds
// sound. Each refusal names the option, why, and the fix.
#pragma once

#include <optional>
#include <string>

#include "Cli.h"
#include "MovieRecipe.h"

namespace zelvan::render {

// Whether `option` picks a movie's kind ("--codec").
bool IsKindOption(const std::string& option);

// Throws UsageError for an option the movie (or the frames) cannot take.
void CheckMovieOptions(const Options& o, const MovieContainer* movie);

// The kind the options pick among the container's, if they pick one.
std::optional<std::string> KindChoice(const Options& o, const MovieContainer& movie);

// "NAME.mp4 or NAME.webm": the movies whose kinds match.
std::string MoviesWhere(bool (*match)(const MovieRecipe&), const std::string& last = " or ");

}  // namespace zelvan::render
