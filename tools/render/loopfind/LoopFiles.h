// The files --find-loop writes into its folder, named once for the run and
// --help.
#pragma once

#include <string>

namespace zelvan::render::names {

inline constexpr const char* kLoops = "loops.json";
inline constexpr const char* kLoopScene = "loop.json";
inline constexpr const char* kSimilarity = "similarity.png";
// seam_1.png and on, by rank.
inline std::string SeamPicture(int rank) { return "seam_" + std::to_string(rank) + ".png"; }

}  // namespace zelvan::render::names
