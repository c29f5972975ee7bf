// What `zelvan-render --find-loop` is asked: the kind of loop, the lengths
// it may have, how many candidates to report, and where to write its files;
// its options as the command line gives them, and their paragraph of --help.
#pragma once

#include <optional>
#include <string>

#include "LoopLength.h"

namespace zelvan::render {

struct LoopRequest {
  bool pingpong = false;  // a Cycle unless the scene's type says Pingpong
  LoopLength min{0.5, false, "0.5s"};
  std::optional<LoopLength> max;   // none: as long as the clip allows
  int top = 5;                     // candidates reported
  std::optional<std::string> out;  // the folder of the files; none: the table alone
  bool overwrite = false;
};

// Takes --min, --max or --top and its value. Throws UsageError naming the option.
void TakeLoopOption(LoopRequest& request, const std::string& option, const std::string& value);

// The paragraph of --help, lines within 80 columns.
std::string FindLoopHelp();

}  // namespace zelvan::render
