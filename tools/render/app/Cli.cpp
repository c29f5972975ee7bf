#include "Cli.h"

#include <cctype>
#include <filesystem>
#include <optional>

#include "Help.h"
#include "LoopFiles.h"
#include "MovieOptions.h"
#include "MovieRecipe.h"
#include "PlainText.h"
#include "OutputNames.h"
#include "SceneFields.h"
#include "Shortcuts.h"

namespace zelvan::render {
namespace fs = std::filesystem;

namespace {

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
    o.crf = WholeNumber(v, 3);
    if (!o.crf) throw UsageError("--crf " + v, "expects a whole number", "write e.g. --crf 23");
  } else if (a == "--audio") {
    const std::string v = NeedValue(arg, args, i);
    if (v != "copy" && v != "none") throw UsageError("--audio " + v, "expects copy or none", "write --audio copy");
    o.audio_copy = v == "copy";
  } else if (IsKindOption(a)) {
    o.kind_picks[a] = NeedValue(arg, args, i);
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

// A name with another extension than a movie's names a file the tool does
// not write (an AVI, an image sequence), unless it ends in "/".
void CheckTheOutputsName(const std::string& out) {
  const std::string ext = fs::path(out).extension().string();
  if (ext.empty() || out.back() == '/' || MovieContainerOf(out) != nullptr) return;
  throw UsageError("--out " + out,
                   "ends in " + ext + ", and the movies this tool writes are " + ListWith(MovieExtensions(), " or "),
                   "name a movie " + MovieNameList() + ", or end the name in / for a folder of frames: --out " +
                       out + "/");
}

// The options that a movie, or frame files, cannot take.
void CheckTheOutputsOptions(const Options& o) {
  CheckTheOutputsName(o.out_dir);
  const MovieContainer* movie = MovieContainerOf(o.out_dir);
  CheckMovieOptions(o, movie);
  if (o.keep_going && movie != nullptr) {
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
  if (MovieContainerOf(o.out_dir) != nullptr && o.loop.out) {
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

}  // namespace zelvan::render
