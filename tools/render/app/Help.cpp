#include "Help.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <vector>

#include "Cli.h"
#include "FrameFormat.h"
#include "LoopRequest.h"
#include "MovieOptions.h"
#include "MovieRecipe.h"
#include "OutputNames.h"
#include "PlainText.h"
#include "SceneFields.h"
#include "Shortcuts.h"

namespace zelvan::render {
namespace {

// Where an option's text starts, and a movie kind's.
constexpr std::size_t kOptionColumn = 24;
constexpr std::size_t kMovieColumn = 15;

// An option's line: its name and value, then its text wrapped under itself.
std::string Option(const std::string& option, const std::string& text) {
  std::string lead = "  " + option;
  lead.resize(std::max(lead.size() + 2, kOptionColumn), ' ');
  return HelpWrap(lead, kOptionColumn, text);
}

// The items joined by `sep`.
std::string Joined(const std::vector<std::string>& items, const std::string& sep) {
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "" : sep) + item;
  return out;
}

// The paragraphs of --help, in order.

std::string HelpUsage() {
  return HelpWrap("zelvan-render: render a composition through the ZelvanClipCycle plug-in in the simulated host.") +
         "\n" +
         HelpWrap("Usage: ", 21,
                  "zelvan-render [SCENE.json] [--out DIR | --out NAME" + Joined(MovieExtensions(), "|") + "]\n" +
                      "[--set FIELD=VALUE]... [options]") +
         "\n" +
         HelpWrap(
             "The effect is applied to a solid layer of the composition's size that spans the composition; the "
             "source layer is a second layer of the same composition. Without a scene file the built-in demo "
             "renders: 3 s of a Pingpong loop with cubic in-out easing and a 20 % hold.");
}

// The options of the scene and of where it goes.
std::string HelpSceneOptions() {
  std::vector<std::string> others = MovieExtensions();
  others.erase(others.begin());
  std::string h =
      Option("SCENE.json", "scene file (a JSON object with \"comp\", \"source\", \"params\", \"format\")") +
      Option("-o, --out DIR",
             "output folder (default zelvan-render-out), made when missing. The tool replaces only files it wrote "
             "there before (listed in its manifest), refuses to overwrite any other file, and never removes a file "
             "it did not write in this run. A name with an extension ends in / (--out shots.v2/)") +
      Option("-o, --out NAME" + MovieExtensions().front(),
             "the loop as one movie instead (also NAME" + ListWith(others, ", NAME") + "; see Movies below)") +
      Option("--set FIELD=VALUE",
             "set any scene field by its dotted path; repeatable. VALUE is JSON when it parses, else text:\n"
             "--set comp.frames=4 --set params.mode=whole\n"
             "--set 'params.time={\"keys\": [[0, 0], [2, 720]]}'");
  for (const Shortcut& s : kShortcuts) h += Option(std::string(s.option) + " " + s.meta, s.help);
  return h;
}

// The options of the run.
// The options of a movie: those that pick a kind, its quality, its sound.
std::string HelpMovieOptions() {
  std::string h;
  for (const MovieContainer* c : MovieContainers()) {
    if (c->option == nullptr) continue;
    std::vector<std::string> choices;
    for (const MovieRecipe* r : KindsIn(*c)) choices.emplace_back(r->choice);
    h += Option(std::string(c->option) + " " + Joined(choices, "|"),
                "the kind of NAME" + std::string(c->extension) + " (see Movies below)");
  }
  h += Option("--crf N", "the quality of " + MoviesWhere([](const MovieRecipe& r) { return r.has_crf(); }) +
                             ", lower is better and larger (each kind's scale and default are in Movies below)");
  h += Option("--audio copy",
              "with --play-once, the source's sound copied into the movie as it is, from its first picture to the "
              "movie's end, where the container takes its codec (NAME.gif holds none). Without it a movie has no "
              "sound, and the tool notes a source's that it leaves out");
  return h;
}

std::string HelpRunOptions(const std::string& default_plugin) {
  const std::string report = names::kReport;
  return HelpMovieOptions() +
         Option("--plugin PATH", "the plug-in binary, by default this build's:\n" + default_plugin) +
         Option("--refuse-call NAME",
                "the simulated host fails every call of that host function (checkout_param, copy, "
                "AEGP_GetLayerInPoint, ...) with error 515, to see how the effect copes; repeatable") +
         Option("-y, --overwrite",
                "replace files in DIR that this tool did not write, or the movie NAME that is there (never the "
                "footage itself)") +
         Option("--keep-going",
                "a frame that fails (footage that cannot be read, or an error of the plug-in) fails "
                "that frame only: it is marked in " +
                    report + ", the chart and the contact sheet, and the run exits " +
                    std::to_string(kExitFramesFailed) + " (" + std::to_string(kExitDone) +
                    " only if every frame rendered). Frames only: a movie cannot mark a frame, so "
                    "it is refused with one") +
         Option("--play-once",
                "every source frame once, in order: frame k of the composition shows source frame k (a linear "
                "Cycle of the whole source in its own time). The composition takes the source's rate and length "
                "unless the scene sets them; the loop's own fields (params.type, time, waiting, range, start, end, "
                "easing, easing_mode) are its, and may not be set too. A composition longer than the source starts "
                "it again, and one at another rate repeats or skips source frames: the tool notes which") +
         Option("--no-previews", "no contact sheet and no GIF (faster)") +
         Option("--cache-mb N",
                "megabytes of decoded footage kept for reuse (default " + std::to_string(kDefaultCacheBytes >> 20) +
                    "). A loop that runs backwards through a movie decodes each stretch between keyframes once "
                    "while it fits; a clip played forwards keeps only the frame it shows. Lower it to save memory, "
                    "raise it for long Pingpongs") +
         Option("-q, --quiet", "no progress and no summary line (progress shows only on a terminal)") +
         Option("--dry-run",
                "check the scene, print it resolved, write nothing; for a movie, say on standard error what it "
                "would be: its codec, profile and level, pixels, alpha, quality and where it plays (rendering the "
                "first frame where its alpha decides the kind)") +
         Option("--version", "the tool's version") + Option("-h, --help", "this text");
}

std::string HelpOptions(const std::string& default_plugin) {
  return "Options:\n" + HelpSceneOptions() + HelpRunOptions(default_plugin) +
         HelpWrap(
             "Every option that takes a value also takes it as --opt=value; a value that starts with \"-\" "
             "(other than a number) only so: --out=-dir.");
}

std::string HelpOutputs() {
  const std::string frames = std::string(names::kFramePrefix) + "NNNN" + Extension(FrameFormat::Png8) + "|" +
                             (Extension(FrameFormat::Exr) + 1);
  return HelpWrap(
      "Outputs in DIR: " + frames + ", " + names::kContactSheet + ", " + names::kPreviewGif + ", " +
      names::kTimingChart + ", " + names::kReport +
      " (the resolved scene, the source layer, and per frame the parameter values the host handed over, when "
      "\"Layer\" was checked out, the source frame returned, the copy rectangles and the result) and " +
      names::kManifest +
      " (what this tool wrote there). Files are written whole or not at all: a failed or interrupted run "
      "(Ctrl-C, SIGTERM) leaves DIR as it was. A run holds DIR while it lasts (" +
      names::kLock +
      ", removed at the end): a second run into it stops at once. A file that appears or changes in DIR while the "
      "run renders is not replaced: the run stops, exit " +
      std::to_string(kExitBadInput) + ".");
}

// A kind's line of the movies' list: its container and name, then its
// codec, pixels, alpha, whether it is the container's own and its quality.
std::string MovieLine(const MovieRecipe& r) {
  const std::string lead = std::string("  ") + r.extension + (r.choice != nullptr ? " " + std::string(r.choice) : "");
  const std::string pixels_8 = av_get_pix_fmt_name(r.pixels_8), deep = av_get_pix_fmt_name(r.pixels_deep);
  std::string text = std::string(r.codec_name) + (r.encoder != nullptr ? " (" + std::string(r.encoder) + ")" : "") +
                     ", " + pixels_8 + (deep != pixels_8 ? " (" + deep + " deeper)" : "") +
                     (r.alpha ? ", alpha" : ", no alpha");
  const bool one_of_many = KindsIn(ContainerOf(r)).size() > 1;
  if (one_of_many && r.by_default == ByDefault::kAlways) text += ", the default";
  if (r.by_default == ByDefault::kWithAlpha) text += one_of_many ? ", the default with alpha" : "";
  if (r.by_default == ByDefault::kOpaque) text += ", the default without alpha";
  if (r.has_crf()) text += ", --crf " + std::to_string(r.crf.lowest) + " to " + std::to_string(r.crf.highest) + " (" +
                         std::to_string(r.crf.fallback) + ")";
  return HelpWrap(lead + std::string(kMovieColumn - lead.size(), ' '), kMovieColumn, text + "; " + r.plays);
}

std::string HelpMovies() {
  std::string kinds;
  for (const MovieRecipe* r : MovieRecipes()) kinds += MovieLine(*r);
  return HelpWrap("Movies: --out " + MovieNameList() +
                  " (any case) writes the loop as one movie at the composition's frame rate (30000/1001 stays exact; "
                  "Matroska and WebM keep times to the millisecond, a GIF to the hundredth), and no frames, previews, "
                  "chart or report:") +
         kinds +
         HelpWrap("A .webm, and a .mov without --prores, has alpha when the render's first frame has a pixel with "
                  "alpha below 1. A movie without alpha shows such pixels over black, and the tool notes it; one with "
                  "alpha keeps it straight. An odd width or height of H.264 or H.265 gets one black column or row "
                  "(4:2:0 needs even sizes there). An .mp4 keeps its index before its data, so that a browser plays "
                  "it as it loads. ProRes 4444 decodes as yuva444p12le, ProRes 422 as yuv422p10le; FFV1 holds the PNG frames' "
                  "pixels, decoded as bgra, or as gbrap16le from 16-bit and float renders (clamped to 0..1 as png16 "
                  "frames are).") +
         HelpWrap("The movie is written under a hidden name beside NAME (" + names::MovieTempPrefix("NAME") +
                  "PID) and takes its name only when the run has succeeded; a failed or interrupted run leaves no "
                  "file, and removes the folders it made for NAME. A file NAME that is there is replaced only with "
                  "--overwrite (-y).");
}

std::string HelpWarningsAndExamples() {
  return HelpWrap(
             "Warnings name the frames where the loop asks for times outside the source layer, where a Cycle "
             "seam repeats or skips a source frame, and where a Pingpong shows its turn-around frame twice.") +
         "\n"
         "Examples:\n"
         "  zelvan-render --out demo\n"
         "  zelvan-render scenes/cycle-seconds.json --out cyc --mode \"No Margin\"\n"
         "  zelvan-render --source shots/run.%04d.png --fps 23.976 --type cycle\n"
         "  zelvan-render --source clip.mp4 --out clip --set params.time='{\"rate\": 90}'\n"
         "  zelvan-render scenes/demo.json --out demo.mp4 --crf 23\n"
         "  zelvan-render --find-loop --source clip.mp4 --max 4s --out loops\n";
}

// The exit statuses as ExitStatus.h lists them.
std::string HelpExitStatus() {
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
  return HelpWrap("Exit status: " + items + ". On any status but " + kept +
                  ", DIR is left as it was, and no movie NAME is written.");
}

}  // namespace

std::string MovieNameList() {
  std::vector<std::string> names;
  for (const std::string& ext : MovieExtensions()) names.push_back("NAME" + ext);
  return ListWith(names, " or ");
}

std::string HelpText(const std::string& default_plugin) {
  return HelpUsage() + "\n" + HelpOptions(default_plugin) + "\n" + "Scene fields (defaults in brackets):\n" +
         SceneFieldsHelp() + "\n" + HelpOutputs() + "\n" + HelpMovies() + "\n" + FindLoopHelp() + "\n" +
         HelpWarningsAndExamples() + "\n" +
         HelpExitStatus();
}

}  // namespace zelvan::render
