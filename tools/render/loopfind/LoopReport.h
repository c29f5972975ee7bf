// What the search found, as loops.json and as the table on standard output:
// the clip (path, frames, rate, size), the kind of loop and the lengths
// searched, the typical step (TypicalStep.h), and each candidate by rank
// with its ends in frames and seconds (the end exclusive), its length, its
// seam and the seam over the typical step.
#pragma once

#include <string>
#include <vector>

#include "Candidates.h"
#include "Json.h"
#include "LoopSearch.h"
#include "Scene.h"

namespace zelvan::render {

struct LoopFindings {
  std::string path;  // the footage as the scene names it, or "builtin"
  int64_t frames = 0;
  Rational fps;
  int width = 0, height = 0;
  LoopSpan span;
  float step = 0.0f;  // the typical step, above 0
  std::vector<Candidate> ranked;
};

// `scene` is the scene searched: the rate and type are written in its terms.
Json LoopsJson(const LoopFindings& found, const Scene& scene);
std::string LoopsTable(const LoopFindings& found);

}  // namespace zelvan::render
