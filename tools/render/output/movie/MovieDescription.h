// What a movie is, in words, for the summary line and a dry run: its codec,
// the profile and level its encoder declares, its pixels, whether it keeps
// alpha, its quality and the size coding gives it.
#pragma once

#include <string>

#include "MovieEncoder.h"

namespace zelvan::render {

// "H.264 High, level 3.1, yuv420p, no alpha, crf 18, padded to 66x36": the
// codec and its `profile` ("High, level 3.1", or empty), its pixels, whether
// it keeps alpha, the quality where it has one and the size where coding
// changes it.
std::string MovieDescription(const MovieSettings& settings, const std::string& profile);

// The profile and level the encoder declares for a movie of these settings,
// learnt by opening it without a file ("High, level 3.1"); empty for a kind
// whose codec's name says it all. Throws as the encoder does.
std::string EncoderProfile(const MovieSettings& settings, const std::string& shown);

}  // namespace zelvan::render
