// Whether a PNG file holds all of itself: its chunks walked from the
// signature to the closing IEND chunk, each inside the file. A file cut short
// (a copy or render that did not finish) is told apart before the image
// library reads it, with where its data ends. Anything else, PNG or not,
// passes: the image library judges it.
#pragma once

#include <optional>
#include <string>

#include "FootageSource.h"

namespace zelvan::render {

// "it is cut short: its 1200 bytes end inside its image data (IDAT chunk)",
// or nothing when the file is whole or no PNG.
std::optional<std::string> PngCut(const FootageSource& source);

// What to do about a file cut short.
inline const char* const kPngCutFix = "the copy or render that made it did not finish; copy or render it again";

}  // namespace zelvan::render
