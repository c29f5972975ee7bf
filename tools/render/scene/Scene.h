// A scene: the composition, its source layer and the effect's parameters, as
// a user writes it in JSON and overrides it on the command line, resolved to
// the exact values the host works with.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Compact.h"
#include "Json.h"
#include "Limits.h"
#include "ParamValues.h"
#include "Rational.h"
#include "UsageError.h"

namespace zelvan::render {

// Every field's default is its row in SceneFields.h; these hold what the
// scene resolved to.
struct CompSettings {
  int width = 0;
  int height = 0;
  Rational fps;
  int frames = 0;           // from "frames" when given, else duration x fps
  double duration = 0.0;    // frames / fps
  int depth = 0;            // 8, 16 or 32 bits per channel
  int downsample = 0;       // 1 to 4
};

// The source path that names the tool's own numbered clip.
inline constexpr const char* kBuiltinClip = "builtin";

struct SourceSettings {
  std::string path;
  int width = 0;            // built-in clip only
  int height = 0;
  Rational fps;
  bool fps_given = false;
  std::optional<double> duration;  // seconds; footage: its own length when absent
  double in = 0.0;          // in-point, composition seconds
  bool builtin() const { return path == kBuiltinClip; }
};

// The "Time" angle: constant, linear keyframes, or a constant rate.
struct TimeCurve {
  enum class Kind { Constant, Keys, Rate } kind = Kind::Constant;
  double constant = 0.0;
  std::vector<std::pair<double, double>> keys;  // (seconds, degrees), sorted by time
  double rate = 0.0;                            // degrees per second
  double at(double seconds) const;              // degrees at a composition time
};

// The effect's parameters as the scene resolved them, in the units the host
// is set in: a popup's code, percent, seconds; the layer 1 when chosen, 0 for
// none. The range type not chosen keeps the table's defaults for its start
// and end; "Time" is its curve.
struct EffectSettings : ParamValues {
  EffectSettings();  // the effect's own defaults, from its table
  TimeCurve time;
};

struct Scene {
  CompSettings comp;
  SourceSettings source;
  EffectSettings params;
  std::string format;  // "" picks by depth; "png8", "png16" or "exr"
  // The scene as resolved, every default included, in the input's own terms.
  Json resolved;
};

// The frame file formats' names (SceneFields.cpp), for the reader and the help text.
extern const std::vector<std::string> kFormatNames;

// Reads a scene file. Throws UsageError naming the file.
Json LoadSceneFile(const std::string& path);
// Applies one "dotted.path=value" override; the value is read as JSON when it
// parses, else taken as a string. Throws UsageError.
void ApplyOverride(Json& scene, const std::string& assignment);
// What the footage tells the scene's defaults; none for the built-in clip.
struct FootageFacts {
  std::optional<int64_t> frames;  // none for a still
  std::optional<Rational> fps;    // a movie's own rate
  int width = 0;
  int height = 0;
};

// Resolves defaults and checks every field. Throws UsageError naming the field.
// Footage gives the source its own length and the composition its size and
// rate, where the scene does not say otherwise. play_once: every source frame
// shows once, in order (a Cycle of the whole source in its own time), and the
// composition takes the source's rate and length unless the scene sets them.
Scene ResolveScene(const Json& scene, const std::optional<FootageFacts>& footage = std::nullopt,
                   bool play_once = false);
// Sets the loop to play the stretch of the source from `start` to `end`
// seconds: linear, no hold, one turn as long as the stretch. A
// Cycle never reaches the end of its turn: each frame that begins in [start,
// end) shows once a turn at the source's rate. A Pingpong goes there in one
// turn and back in the next, showing the frames at both ends once.
void PlayStretch(Scene& scene, LoopType type, double start, double end);
// The rational of a number (29.97, 30) or a text ("30000/1001", "24").
Rational ParseRate(const Json& value, const std::string& field);

}  // namespace zelvan::render
