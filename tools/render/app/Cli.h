// The command line of zelvan-render.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ExitStatus.h"
#include "Limits.h"
#include "LoopRequest.h"
#include "Scene.h"

namespace zelvan::render {

// The exit statuses the run returns, as ExitStatus.h lists them.
inline constexpr int kExitDone = ExitCode("done");
inline constexpr int kExitFailure = ExitCode("anything else");
inline constexpr int kExitBadInput = ExitCode("bad input");
inline constexpr int kExitFootage = ExitCode("footage frame cannot be read");
inline constexpr int kExitPlugin = ExitCode("frame the plug-in failed");
inline constexpr int kExitWrite = ExitCode("output file cannot be written");
inline constexpr int kExitFramesFailed = ExitCode("--keep-going wrote its outputs but failed some frames");

struct Options {
  std::string scene_file;            // empty: the built-in demo scene
  std::string out_dir = "zelvan-render-out";  // a folder, or a movie file: NAME.mp4, .webm, .mov, .mkv, .gif
  std::vector<std::string> overrides;  // FIELD=VALUE, in command-line order
  std::string plugin;                // empty: the plug-in built beside the tool
  bool quiet = false;
  bool dry_run = false;
  bool help = false;
  bool version = false;
  bool keep_going = false;   // a failed frame is marked instead of stopping the run
  // Host functions the simulated host refuses on every call, to see how the
  // effect behaves when the host fails it.
  std::vector<std::string> refuse_calls;
  bool overwrite = false;    // replace files in the output folder that this tool did not write
  bool no_previews = false;  // no contact sheet and no GIF
  std::size_t cache_mb = kDefaultCacheBytes >> 20;  // the footage frame cache's budget
  bool play_once = false;    // every source frame once, in order
  std::optional<int> crf;    // a movie's quality, where its kind has a scale
  // A movie's kind picked by its container's option: --codec h265, --prores 422hq.
  std::map<std::string, std::string> kind_picks;
  bool audio_copy = false;   // --audio copy: the source's sound into the movie
  bool find_loop = false;    // the footage's best loops instead of a render
  LoopRequest loop;          // --find-loop's lengths, count and folder (--out, when given)
  std::string loop_option;   // the first of --min, --max, --top given, for a message
};

// Throws UsageError for an unknown option or a missing value. Every option
// that takes a value also takes it as --opt=value; a value that starts with
// "-" (a negative number or "-" itself aside) only so, as the next word is
// then more likely an option than a value.
Options ParseCommandLine(const std::vector<std::string>& args);

// The scene the options describe: the file (relative footage paths taken from
// its folder) with every override applied in order.
Json BuildScene(const Options& options);

}  // namespace zelvan::render
