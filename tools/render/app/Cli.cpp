#include "Cli.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>

#include "FrameFormat.h"
#include "LoopFiles.h"
#include "MovieEncoder.h"
#include "OutputNames.h"
#include "SceneFields.h"

namespace zelvan::render {
namespace fs = std::filesystem;

namespace {

// Friendly shortcuts and the field each one sets.
struct Shortcut {
  const char* option;
  std::optional<Field> field;  // none for --size, which sets two
  const char* meta;
  const char* help;
};
const Shortcut kShortcuts[] = {
    {"--frames", Field::kCompFrames, "N", "number of composition frames (comp.frames)"},
    {"--duration", Field::kCompDuration, "SECONDS", "composition length (comp.duration)"},
    {"--size", std::nullopt, "WxH", "composition size (comp.width, comp.height)"},
    {"--fps", Field::kCompFps, "RATE", "composition frame rate: 30, 29.97 or 30000/1001 (comp.fps)"},
    {"--depth", Field::kCompDepth, "8|16|32", "bits per channel; 32 is float (comp.depth)"},
    {"--downsample", Field::kCompDownsample, "1-4", "render at 1/N resolution (comp.downsample)"},
    {"--source", Field::kSourcePath, "PATH", "footage: builtin, shot.%04d.png, still.png or movie.mp4 (source.path)"},
    {"--mode", Field::kMode, "MODE", "center, whole, no-margin or fit, or the effect's own \"Center\", \"Whole\",\n"
                                          "                        \"No Margin\", \"Fit to Layer\" (params.mode)"},
    {"--type", Field::kType, "TYPE", "cycle or pingpong (params.type)"},
    {"--easing", Field::kEasing, "NAME", "linear, quad, cubic, quart, quint, expo, circ, sine or bounce"},
    {"--easing-mode", Field::kEasingMode, "MODE", "in, out or inout (params.easing_mode)"},
    {"--waiting", Field::kWaiting, "PERCENT", "share of each turn held still (params.waiting)"},
    {"--format", Field::kFormat, "FMT", "frame files: png8, png16 or exr (default by depth)"},
};

// One argument split into its option name and, for --opt=value, the value.
struct Arg {
  std::string name;
  std::optional<std::string> inline_value;
};

Arg Split(const std::string& a) {
  if (a.rfind("--", 0) == 0) {
    const std::size_t eq = a.find('=');
    if (eq != std::string::npos) return Arg{a.substr(0, eq), a.substr(eq + 1)};
  }
  return Arg{a, std::nullopt};
}

std::string NeedValue(const Arg& arg, const std::vector<std::string>& args, std::size_t& i) {
  if (arg.inline_value) return *arg.inline_value;
  const std::string fix = "write " + arg.name + " VALUE or " + arg.name + "=VALUE";
  if (i + 1 >= args.size()) throw UsageError(arg.name, "needs a value", fix);
  const std::string& next = args[i + 1];
  const bool number = next.size() > 1 && (std::isdigit(static_cast<unsigned char>(next[1])) || next[1] == '.');
  if (next.size() > 1 && next[0] == '-' && !number) {
    throw UsageError(arg.name, "needs a value, and " + next + " is an option",
                     fix + " (" + arg.name + "=" + next + " for a value that starts with -)");
  }
  return args[++i];
}

void NoValue(const Arg& arg) {
  if (arg.inline_value) throw UsageError(arg.name + "=" + *arg.inline_value, "takes no value", "write " + arg.name + " alone");
}

// The option's flag, null when it is not one.
bool* FlagOf(Options& o, const std::string& a) {
  return a == "-h" || a == "--help"        ? &o.help
         : a == "--version"                ? &o.version
         : a == "-q" || a == "--quiet"     ? &o.quiet
         : a == "--dry-run"                ? &o.dry_run
         : a == "--keep-going"             ? &o.keep_going
         : a == "-y" || a == "--overwrite" ? &o.overwrite
         : a == "--no-previews"            ? &o.no_previews
         : a == "--play-once"              ? &o.play_once
         : a == "--find-loop"              ? &o.find_loop
                                           : nullptr;
}

// A whole number of at most `digits` digits, or nothing.
std::optional<int> WholeNumber(const std::string& v, std::size_t digits) {
  const bool whole = !v.empty() && v.size() <= digits && v.find_first_not_of("0123456789") == std::string::npos;
  return whole ? std::optional<int>(std::stoi(v)) : std::nullopt;
}

// Takes an option that has a value (args[i], its value perhaps the next
// word); false for an option of another kind.
bool TakeValue(Options& o, const Arg& arg, const std::vector<std::string>& args, std::size_t& i) {
  const std::string& a = arg.name;
  if (a == "-o" || a == "--out") {
    o.out_dir = NeedValue(arg, args, i);
    if (o.out_dir.empty()) throw UsageError("--out", "is empty", "give a folder path");
    o.loop.out = o.out_dir;
  } else if (a == "--min" || a == "--max" || a == "--top") {
    if (o.loop_option.empty()) o.loop_option = a;
    TakeLoopOption(o.loop, a, NeedValue(arg, args, i));
  } else if (a == "--plugin") {
    o.plugin = NeedValue(arg, args, i);
  } else if (a == "--refuse-call") {
    const std::string function = NeedValue(arg, args, i);
    if (function.empty()) throw UsageError("--refuse-call", "is empty", "name a host function, e.g. --refuse-call copy");
    o.refuse_calls.push_back(function);
  } else if (a == "--cache-mb") {
    const std::string v = NeedValue(arg, args, i);
    const std::optional<int> mb = WholeNumber(v, 7);
    if (!mb) throw UsageError("--cache-mb " + v, "expects a whole number of megabytes", "write e.g. --cache-mb 512");
    o.cache_mb = static_cast<std::size_t>(*mb);
  } else if (a == "--crf") {
    const std::string v = NeedValue(arg, args, i);
    o.crf = WholeNumber(v, 2);
    if (!o.crf || *o.crf > kMaxCrf) {
      throw UsageError("--crf " + v, "expects a whole number from 0 (lossless) to " + std::to_string(kMaxCrf),
                       "write e.g. --crf 23 for a smaller file or --crf 12 for one closer to the frames (default " +
                           std::to_string(kDefaultCrf) + ")");
    }
  } else if (a == "--set") {
    o.overrides.push_back(NeedValue(arg, args, i));
  } else if (a == "--size") {
    const std::string v = NeedValue(arg, args, i);
    const std::size_t x = v.find('x');
    if (x == std::string::npos) throw UsageError("--size " + v, "expects WIDTHxHEIGHT", "write e.g. --size 640x360");
    o.overrides.push_back(FieldOf(Field::kCompWidth).path() + "=" + v.substr(0, x));
    o.overrides.push_back(FieldOf(Field::kCompHeight).path() + "=" + v.substr(x + 1));
  } else {
    for (const Shortcut& s : kShortcuts) {
      if (a == s.option) {
        o.overrides.push_back(FieldOf(*s.field).path() + "=" + NeedValue(arg, args, i));
        return true;
      }
    }
    return false;
  }
  return true;
}

// The options that a movie, or frame files, cannot take.
void CheckTheOutputsOptions(const Options& o) {
  const std::optional<MovieKind> movie = MovieKindOf(o.out_dir);
  if (o.crf && movie != MovieKind::kMp4) {
    throw UsageError("--crf", std::string("sets the quality of an .mp4 only (") +
                                  (movie ? "a .mov is ProRes 4444, a .mkv lossless" : "frame files are lossless") + ")",
                     "drop --crf, or give --out NAME.mp4");
  }
  if (o.keep_going && movie) {
    throw UsageError("--keep-going",
                     std::string("marks failed frames in ") + names::kReport +
                         " and on the contact sheet, which a movie has not",
                     "write frames into a folder (--out DIR) to keep going past failed frames, or drop --keep-going");
  }
}

// --find-loop writes a folder of its own files, and renders nothing; its
// options are for it alone.
void CheckTheLoopOptions(const Options& o) {
  if (!o.find_loop) {
    if (!o.loop_option.empty()) {
      throw UsageError(o.loop_option, "is an option of --find-loop", "add --find-loop, or drop " + o.loop_option);
    }
    return;
  }
  if (MovieKindOf(o.out_dir) && o.loop.out) {
    throw UsageError("--out " + o.out_dir, "names a movie, and --find-loop writes a folder",
                     "give --out DIR for " + std::string(names::kLoops) + " and the pictures, or no --out");
  }
  const std::pair<bool, const char*> render_only[] = {
      {o.play_once, "--play-once"}, {o.keep_going, "--keep-going"}, {!o.refuse_calls.empty(), "--refuse-call"}};
  for (const auto& [given, option] : render_only) {
    if (given) throw UsageError(option, "is for a render, and --find-loop renders nothing", "drop one of them");
  }
}

}  // namespace

Options ParseCommandLine(const std::vector<std::string>& args) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const Arg arg = Split(args[i]);
    const std::string& a = arg.name;
    if (bool* flag = FlagOf(o, a); flag != nullptr) {
      NoValue(arg);
      *flag = true;
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      if (!TakeValue(o, arg, args, i)) throw UsageError(a, "unknown option", "see zelvan-render --help");
    } else if (o.scene_file.empty()) {
      o.scene_file = args[i];
    } else {
      throw UsageError(args[i], "a second scene file", "give one SCENE.json; use --set for changes");
    }
  }
  if (!o.help && !o.version) {
    CheckTheLoopOptions(o);
    CheckTheOutputsOptions(o);
  }
  o.loop.overwrite = o.overwrite;
  return o;
}

Json BuildScene(const Options& o) {
  Json scene = Json::object();
  if (!o.scene_file.empty()) {
    scene = LoadSceneFile(o.scene_file);
    // Footage named in a scene file lives beside it.
    if (const Json* v = Given(scene, Field::kSourcePath); v != nullptr && v->is_string()) {
      const std::string p = v->get<std::string>();
      if (p != kBuiltinClip && fs::path(p).is_relative()) {
        const SceneField& path = FieldOf(Field::kSourcePath);
        scene[path.group][path.name] = (fs::path(o.scene_file).parent_path() / p).lexically_normal().string();
      }
    }
  }
  for (const std::string& assignment : o.overrides) ApplyOverride(scene, assignment);
  return scene;
}

namespace {

// The paragraphs of --help, in order.

std::string HelpUsage() {
  return "zelvan-render: render a composition through the ZelvanClipCycle plug-in in the simulated host.\n"
         "\n"
         "Usage: zelvan-render [SCENE.json] [--out DIR | --out NAME.mp4|.mov|.mkv] [--set FIELD=VALUE]... [options]\n"
         "\n"
         "The effect is applied to a solid layer of the composition's size that spans the composition;\n"
         "the source layer is a second layer of the same composition. Without a scene file the built-in\n"
         "demo renders: 3 s of a Pingpong loop with cubic in-out easing and a 20 % hold.\n";
}

std::string HelpShortcuts() {
  std::string h;
  for (const auto& s : kShortcuts) {
    std::string left = std::string("  ") + s.option + " " + s.meta;
    left.resize(std::max<std::size_t>(left.size() + 1, 24), ' ');
    h += left + s.help + "\n";
  }
  return h;
}

std::string HelpOptions(const std::string& default_plugin) {
  return "Options:\n"
         "  SCENE.json            scene file (JSON object with \"comp\", \"source\", \"params\", \"format\")\n"
         "  -o, --out DIR         output folder (default zelvan-render-out), created when missing. The tool\n"
         "                        replaces only files it wrote there before (listed in its manifest) and\n"
         "                        refuses to overwrite any other file; it never removes a file it did not\n"
         "                        write in this run\n"
         "  -o, --out NAME.mp4    the loop as one movie instead (also NAME.mov, NAME.mkv; see Movies below)\n"
         "  --set FIELD=VALUE     set any scene field by its dotted path; repeatable. VALUE is JSON when it\n"
         "                        parses, else text: --set comp.frames=4 --set params.mode=whole\n"
         "                        --set 'params.time={\"keys\": [[0, 0], [2, 720]]}'\n" +
         HelpShortcuts() +
         "  --crf N               an .mp4's quality: 0 (lossless) to 51, lower is better and larger; default " +
         std::to_string(kDefaultCrf) +
         ",\n"
         "                        which looks the same as the frames\n"
         "  --plugin PATH         the plug-in binary (default " + default_plugin + ")\n"
         "  --refuse-call NAME    the simulated host fails every call of that host function (checkout_param,\n"
         "                        copy, AEGP_GetLayerInPoint, ...) with error 515, to see how the effect\n"
         "                        copes; repeatable\n"
         "  -y, --overwrite       replace files in DIR that this tool did not write, or the movie NAME that\n"
         "                        is there (never the footage itself)\n"
         "  --keep-going          a frame that fails (footage that cannot be read, or an error of the\n"
         "                        plug-in) fails that frame only: it is marked in " + names::kReport + ", the chart\n"
         "                        and the contact sheet, and the run exits " + std::to_string(kExitFramesFailed) +
         " (" + std::to_string(kExitDone) + " only if every frame rendered).\n"
         "                        Frames only: a movie cannot mark a frame, so it is refused with one\n"
         "  --play-once           every source frame once, in order: frame k of the composition shows\n"
         "                        source frame k (a linear Cycle of the whole source in its own time). The\n"
         "                        composition takes the source's rate and length unless the scene sets them;\n"
         "                        the loop's own fields (params.type, time, waiting, range, start, end,\n"
         "                        easing, easing_mode) are its, and may not be set too\n"
         "  --no-previews         no contact sheet and no GIF (faster)\n"
         "  --cache-mb N          megabytes of decoded footage kept for reuse (default " +
         std::to_string(kDefaultCacheBytes >> 20) +
         "). A loop that\n"
         "                        runs backwards through a movie decodes each stretch between keyframes\n"
         "                        once while it fits; a clip played forwards keeps only the frame it shows.\n"
         "                        Lower it to save memory, raise it for long Pingpongs\n"
         "  -q, --quiet           no progress and no summary line (progress shows only on a terminal)\n"
         "  --dry-run             check the scene, print it resolved, write nothing\n"
         "  --version             the tool's version\n"
         "  -h, --help            this text\n"
         "Every option that takes a value also takes it as --opt=value; a value that starts with \"-\" (other\n"
         "than a number) only so: --out=-dir.\n";
}

std::string HelpOutputs() {
  const std::string frames = std::string(names::kFramePrefix) + "NNNN" + Extension(FrameFormat::Png8) + "|" +
                             (Extension(FrameFormat::Exr) + 1);
  return "Outputs in DIR: " + frames + ", " + names::kContactSheet + ", " + names::kPreviewGif + ", " +
         names::kTimingChart + ",\n" + names::kReport +
         " (the resolved scene, the source layer, and per frame the parameter values the host\n"
         "handed over, when \"Layer\" was checked out, the source frame returned, the copy rectangles and\n"
         "the result) and " + names::kManifest +
         " (what this tool wrote there). Files are written whole\n"
         "or not at all: a failed or interrupted run (Ctrl-C, SIGTERM) leaves DIR as it was. A run holds DIR\n"
         "while it lasts (" + names::kLock +
         ", removed at the end): a second run into it stops at once. A file\n"
         "that appears or changes in DIR while the run renders is not replaced: the run stops, exit " +
         std::to_string(kExitBadInput) + ".\n";
}

std::string HelpMovies() {
  return "Movies: --out NAME.mp4, NAME.mov or NAME.mkv (any case) writes the loop as one movie at the\n"
         "composition's frame rate (30000/1001 stays exact; Matroska keeps times to the millisecond), and no\n"
         "frames, previews, chart or report:\n"
         "  .mp4  H.264 (libx264), yuv420p, BT.709: plays anywhere. An odd width or height gets one black\n"
         "        column or row (4:2:0 needs even sizes). It has no alpha: pixels with alpha below 1 show\n"
         "        over black, and the tool notes it. Quality: --crf\n"
         "  .mov  ProRes 4444 (prores_ks) with alpha, yuva444p10le: 16-bit and float renders keep 10 bits\n"
         "  .mkv  FFV1, lossless: the same pixels as the PNG frames, RGBA at 8 bits, RGBA64 at 16 bits and\n"
         "        for float renders (clamped to 0..1 as png16 frames are)\n"
         "The movie is written under a hidden name beside NAME (" + names::MovieTempPrefix("NAME") +
         "PID) and takes its\n"
         "name only when the run has succeeded; a failed or interrupted run leaves no file, and removes the\n"
         "folders it made for NAME. A file NAME that is there is replaced only with --overwrite (-y).\n";
}

std::string HelpWarningsAndExamples() {
  return "Warnings name the frames where the loop asks for times outside the source layer, where a Cycle\n"
         "seam repeats or skips a source frame, and where a Pingpong shows its turn-around frame twice.\n"
         "\n"
         "Examples:\n"
         "  zelvan-render --out demo\n"
         "  zelvan-render scenes/cycle-seconds.json --out cyc --set comp.frames=48 --mode \"No Margin\"\n"
         "  zelvan-render --source shots/run.%04d.png --fps 24 --type cycle --set params.time='{\"rate\": 90}'\n"
         "  zelvan-render --source clip.mp4 --out clip --no-previews\n"
         "  zelvan-render scenes/demo.json --out demo.mp4 --crf 23\n"
         "  zelvan-render --find-loop --source clip.mp4 --max 4s --out loops\n";
}

// Greedy, at spaces: no line longer than `width` unless a word is.
std::string Wrap(const std::string& text, std::size_t width) {
  std::string out, line;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t end = std::min(text.find(' ', at), text.size());
    const std::string word = text.substr(at, end - at);
    if (!line.empty() && line.size() + 1 + word.size() > width) {
      out += line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    at = end + 1;
  }
  return out + line + "\n";
}

// The exit statuses as ExitStatus.h lists them.
std::string HelpExitStatus() {
  constexpr std::size_t kWidth = 97;
  std::string items, with_next, kept;
  for (const ExitRow& row : kExitStatuses) {
    if (row.help == nullptr) {
      with_next += std::to_string(row.code) + " or ";
      continue;
    }
    items += (items.empty() ? "" : "; ") + with_next + std::to_string(row.code) + " " + row.help;
    with_next.clear();
    if (row.outputs_written) kept += (kept.empty() ? "" : " and ") + std::to_string(row.code);
  }
  return Wrap("Exit status: " + items + ". On any status but " + kept +
                  ", DIR is left as it was, and no movie NAME is written.",
              kWidth);
}

}  // namespace

std::string HelpText(const std::string& default_plugin) {
  return HelpUsage() + "\n" + HelpOptions(default_plugin) + "\n" + "Scene fields (defaults in brackets):\n" +
         SceneFieldsHelp() + "\n" + HelpOutputs() + "\n" + HelpMovies() + "\n" + FindLoopHelp() + "\n" +
         HelpWarningsAndExamples() + "\n" + HelpExitStatus();
}

}  // namespace zelvan::render
