#include "LoopRequest.h"

#include "LoopFiles.h"
#include "UsageError.h"

namespace zelvan::render {

void TakeLoopOption(LoopRequest& r, const std::string& option, const std::string& value) {
  if (option == "--top") {
    const bool whole =
        !value.empty() && value.size() <= 3 && value.find_first_not_of("0123456789") == std::string::npos;
    if (!whole || std::stoi(value) < 1) {
      throw UsageError("--top " + value, "expects a whole number from 1 to 999", "write e.g. --top 10");
    }
    r.top = std::stoi(value);
  } else if (option == "--min") {
    r.min = ParseLoopLength(option, value);
  } else {
    r.max = ParseLoopLength(option, value);
  }
}

std::string FindLoopHelp() {
  const LoopRequest defaults;
  return "Finding the loop: zelvan-render --find-loop [SCENE.json | --source PATH]\n"
         "  [--type cycle|pingpong] [--min LEN] [--max LEN] [--top N] [--out DIR]\n"
         "reads every frame of the footage once and prints the best stretches to loop\n"
         "[start, end), ranked by how little their seam shows (a Cycle's cut, a\n"
         "Pingpong's turns) against the clip's typical step. LEN is seconds or frames\n"
         "(2s, 48f). Defaults: cycle, --min " +
         defaults.min.text + ", --max the whole clip, --top " + std::to_string(defaults.top) +
         ".\n"
         "--out DIR writes " +
         names::kLoops + ", " + names::kLoopScene +
         " (a scene that renders the best\n"
         "loop), " +
         names::kSimilarity + " and " + names::SeamPicture(1) + " and on, as safely as a render's files.\n";
}

}  // namespace zelvan::render
