#include "Scene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "DepthTable.h"
#include "ParamTable.h"
#include "SceneFields.h"

namespace zelvan::render {

namespace {

// The angle the host can hold: 16.16 fixed point.
constexpr double kMaxAngle = 32767.0;

}  // namespace

EffectSettings::EffectSettings() {
  for (const ParamSpec& row : kParams) (*this)[row.index] = row.dephault;
}

double TimeCurve::at(double s) const {
  switch (kind) {
    case Kind::Constant:
      return constant;
    case Kind::Rate:
      return rate * s;
    case Kind::Keys:
      if (s <= keys.front().first) return keys.front().second;
      for (std::size_t i = 1; i < keys.size(); ++i) {
        if (s <= keys[i].first) {
          const auto& a = keys[i - 1];
          const auto& b = keys[i];
          return a.second + (b.second - a.second) * (s - a.first) / (b.first - a.first);
        }
      }
      return keys.back().second;
  }
  return 0.0;
}

Json LoadSceneFile(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    throw UsageError(path, "is a folder, not a scene file", "give a SCENE.json file, e.g. scenes/demo.json");
  }
  std::ifstream in(path);
  if (!in) throw UsageError(path, "cannot open the scene file", "check the path, or run without a scene for the demo");
  try {
    return Json::parse(in);
  } catch (const Json::out_of_range& e) {
    // A number beyond a double, such as 1e999.
    throw UsageError(path, std::string("holds a number too large (") + e.what() + ")",
                     "give numbers of at most about 1.8e308, e.g. 10");
  } catch (const Json::exception& e) {
    throw UsageError(path, std::string("is not valid JSON (") + e.what() + ")", "fix the JSON syntax");
  }
}

void ApplyOverride(Json& scene, const std::string& assignment) {
  const std::size_t eq = assignment.find('=');
  if (eq == std::string::npos || eq == 0) {
    throw UsageError("--set " + assignment, "expects FIELD=VALUE", "write e.g. --set comp.frames=4");
  }
  const std::string path = assignment.substr(0, eq);
  const std::string text = assignment.substr(eq + 1);
  Json value;
  try {
    value = Json::parse(text);
  } catch (const Json::out_of_range&) {
    throw UsageError(path, "the number " + text + " is too large", "give a finite number, e.g. 10");
  } catch (const Json::exception&) {
    value = text;  // bare words such as whole or builtin
  }
  Json* node = &scene;
  std::size_t pos = 0;
  while (true) {
    const std::size_t dot = path.find('.', pos);
    const std::string key = path.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
    if (key.empty()) throw UsageError("--set " + path, "has an empty field name", "write e.g. params.mode=whole");
    if (!node->is_object()) *node = Json::object();
    if (dot == std::string::npos) {
      (*node)[key] = value;
      break;
    }
    node = &(*node)[key];
    pos = dot + 1;
  }
  CheckKnownFields(scene);
}

namespace {

// --play-once makes the loop itself, so the scene may not set it.
void RefuseLoopFields(const Json& in) {
  for (const SceneField& f : SceneFields()) {
    if (f.loop && Given(in, f.id) != nullptr) {
      throw UsageError(f.path(), "is set by --play-once (a linear Cycle of the whole source)", "drop one of them");
    }
  }
}

// Footage gives the composition its size and rate unless the scene says
// otherwise; played once, it runs at the source's own rate.
void ResolveComp(const Json& in, const std::optional<FootageFacts>& footage, bool play_once, Scene& s) {
  CompSettings& c = s.comp;
  if (footage && footage->width > 0 && footage->height > 0) {
    c.width = std::min(footage->width, kMaxSize);
    c.height = std::min(footage->height, kMaxSize);
    ReadGiven(in, Field::kCompWidth, s);
    ReadGiven(in, Field::kCompHeight, s);
  } else {
    ReadOrDefault(in, Field::kCompWidth, s);
    ReadOrDefault(in, Field::kCompHeight, s);
  }
  ReadDefault(Field::kCompFps, s);
  if (footage && footage->fps) c.fps = *footage->fps;
  if (const Json* v = Given(in, Field::kSourceFps); play_once && v != nullptr) {
    c.fps = ParseRate(*v, FieldOf(Field::kSourceFps).path());
  }
  ReadGiven(in, Field::kCompFps, s);
  // The frame count, from comp.frames when given, else from the duration.
  if (!ReadGiven(in, Field::kCompFrames, s)) ReadOrDefault(in, Field::kCompDuration, s);
  c.duration = static_cast<double>(c.frames) / c.fps.value();
  ReadOrDefault(in, Field::kCompDepth, s);
  ReadOrDefault(in, Field::kCompDownsample, s);
}

// The source layer: the built-in clip's size and length, else the footage's
// own rate and length; a still has none.
void ResolveSource(const Json& in, const std::optional<FootageFacts>& footage, Scene& s) {
  SourceSettings& src = s.source;
  ReadOrDefault(in, Field::kSourcePath, s);
  for (const Field f : {Field::kSourceWidth, Field::kSourceHeight}) {
    if (src.builtin()) {
      ReadOrDefault(in, f, s);
    } else if (Given(in, f) != nullptr) {
      throw UsageError(FieldOf(f).path(), "applies to the built-in clip only", "drop it: footage keeps its own size");
    }
  }
  ReadDefault(Field::kSourceFps, s);
  if (ReadGiven(in, Field::kSourceFps, s)) {
    src.fps_given = true;
  } else if (footage && footage->fps) {
    src.fps = *footage->fps;
  } else if (!src.builtin()) {
    src.fps = s.comp.fps;
  }
  if (!ReadGiven(in, Field::kSourceDuration, s)) {
    if (src.builtin()) ReadDefault(Field::kSourceDuration, s);
    else if (footage && footage->frames) src.duration = static_cast<double>(*footage->frames) / src.fps.value();
  }
  if (src.duration && *src.duration * src.fps.value() > static_cast<double>(kMaxFrames)) {
    const std::string field = FieldOf(Field::kSourceDuration).path();
    throw UsageError(field, "holds more than " + std::to_string(kMaxFrames) + " frames", "give a shorter " + field);
  }
  ReadOrDefault(in, Field::kSourceIn, s);
}

// Played once, the composition is as long as the source unless the scene
// says otherwise.
void PlayOnceLength(const Json& in, const std::optional<FootageFacts>& footage, Scene& s) {
  const SourceSettings& src = s.source;
  if (!src.builtin() && !(footage && footage->frames)) {
    throw UsageError("--play-once", "needs footage with frames, and " + src.path + " is a single image",
                     "give a movie, an image sequence or the built-in clip, or drop --play-once");
  }
  if (Given(in, Field::kCompFrames) != nullptr || Given(in, Field::kCompDuration) != nullptr) return;
  CompSettings& c = s.comp;
  const double want = std::ceil(*src.duration * c.fps.value() - 1e-9);
  if (want > static_cast<double>(kMaxFrames)) {
    throw UsageError("--play-once", "asks for more than " + std::to_string(kMaxFrames) + " frames",
                     "set a shorter comp.duration or a lower comp.fps");
  }
  c.frames = std::max(1, static_cast<int>(want));
  c.duration = static_cast<double>(c.frames) / c.fps.value();
}

// The effect's parameters, the range's ends under the range type chosen:
// the scene's, else the table's defaults, but in seconds the end defaults
// to the source's end.
void ResolveParams(const Json& in, Scene& s) {
  for (const Field f : {Field::kMode, Field::kType, Field::kTime, Field::kWaiting, Field::kRange}) {
    ReadOrDefault(in, f, s);
  }
  ReadGiven(in, Field::kStart, s);
  const bool end = ReadGiven(in, Field::kEnd, s);
  if (!end && s.params.code(kParamRangeType) == kRangeSecond && s.source.duration) {
    s.params[kParamEndSeconds] = *s.source.duration;
  }
  for (const Field f : {Field::kEasing, Field::kEasingMode, Field::kLayer}) ReadOrDefault(in, f, s);
}

// The source's time itself: a Cycle over the whole source, so composition
// time t shows source time t. Seconds, not percent: the percent range runs
// over the duration less one frame, and a Cycle never reaches its end.
void PlayOnceLoop(Scene& s) { PlayStretch(s, kLoopCycle, 0.0, *s.source.duration); }

// The angle must fit the host's fixed point on every frame rendered.
void CheckAngle(const Scene& s) {
  const CompSettings& c = s.comp;
  for (int f = 0; f < c.frames; ++f) {
    const double deg =
        s.params.time.at(static_cast<double>(f) * static_cast<double>(c.fps.den) / static_cast<double>(c.fps.num));
    if (std::fabs(deg) > kMaxAngle) {
      throw UsageError(FieldOf(Field::kTime).path(), "reaches " + Compact(deg) + " degrees at frame " + std::to_string(f),
                       "keep the angle within +-32767 degrees: lower the rate or the frame count");
    }
  }
}

}  // namespace

void PlayStretch(Scene& s, LoopType type, double start, double end) {
  EffectSettings& p = s.params;
  p[kParamType] = type;
  p.time.kind = TimeCurve::Kind::Rate;
  p.time.rate = 360.0 / (end - start);
  p[kParamWaitingTime] = 0.0;
  p[kParamRangeType] = kRangeSecond;
  p[kParamStartSeconds] = start;
  p[kParamEndSeconds] = end;
  p[kParamEasingType] = kEasingLinear;
}

Scene ResolveScene(const Json& in, const std::optional<FootageFacts>& footage, bool play_once) {
  CheckKnownFields(in);
  if (play_once) RefuseLoopFields(in);
  Scene s;
  ResolveComp(in, footage, play_once, s);
  ResolveSource(in, footage, s);
  if (play_once) PlayOnceLength(in, footage, s);
  ResolveParams(in, s);
  if (play_once) PlayOnceLoop(s);
  CheckAngle(s);
  ReadGiven(in, Field::kFormat, s);
  if (s.format.empty()) s.format = FormatName(FormatOf(*DepthOfBits(s.comp.depth)));
  s.resolved = ResolvedJson(s);
  return s;
}

}  // namespace zelvan::render
