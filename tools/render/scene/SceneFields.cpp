#include "SceneFields.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "DepthTable.h"
#include "FieldValues.h"
#include "FrameRate.h"
#include "PlainText.h"
#include "ParamFields.h"

namespace zelvan::render {

const std::vector<std::string> kFormatNames = [] {
  std::vector<std::string> names;
  for (const pixels::Depth d : kDepths) names.emplace_back(FormatName(FormatOf(d)));
  return names;
}();

namespace {

int Size(const Json& v, const std::string& field) {
  const int64_t n = Integer(v, field);
  if (n <= 0) throw UsageError(field, "must be at least 1 pixel, got " + v.dump(), "give a positive size");
  if (n > kMaxSize) {
    throw UsageError(field, "is larger than " + std::to_string(kMaxSize) + " pixels", "give a smaller size");
  }
  return static_cast<int>(n);
}

double Seconds(const Json& v, const std::string& field) {
  const double d = Number(v, field);
  if (d <= 0.0) throw UsageError(field, "must be above 0 seconds, got " + v.dump(), "give a positive duration");
  return d;
}

UsageError TooManyFrames(const std::string& field) {
  return UsageError(field, "asks for more than " + std::to_string(kMaxFrames) + " frames",
                    "render a shorter stretch or a lower comp.fps");
}

Json RateJson(const Rational& r) {
  if (r.den == 1) return r.num;
  return r.text();
}

// The help lines that name their bounds or allowed values.
const std::string kSizeHelp = "[{0}, {1}; footage: its own size] 1 to " + std::to_string(kMaxSize) + " pixels";
const std::string kFpsHelp = "[{0}; a movie: its own rate] from " + LowestRateText() + " to " +
                             std::to_string(kMaxFps) + " frames per second: 25, 12.5 or \"30000/1001\"; " +
                             NtscRatesText();
const std::string kLengthHelp =
    "[{0} s] seconds, or a frame count (frames wins when given); at most " + std::to_string(kMaxFrames) + " frames";
const std::string kDepthHelp = "[{0}] " + DepthBitsList();
const std::string kDownsampleHelp = "[{0}] " + DownsampleList();

const Json kNone;                                       // no default of its own
const Json kLeftOut(Json::value_t::discarded);          // not in the resolved scene
using S = Scene;
using F = SceneField;

// clang-format off
const std::vector<SceneField> kCompAndSource = {
    {Field::kCompWidth, "comp", "width", 320,
     [](const F& f, const Json& v, S& s) { s.comp.width = Size(v, f.path()); },
     [](const F&, const S& s) -> Json { return s.comp.width; }, nullptr, false,
     kSizeHelp.c_str(), nullptr},
    {Field::kCompHeight, "comp", "height", 180,
     [](const F& f, const Json& v, S& s) { s.comp.height = Size(v, f.path()); },
     [](const F&, const S& s) -> Json { return s.comp.height; }, nullptr, false, nullptr, ", "},
    {Field::kCompFps, "comp", "fps", 30,
     [](const F& f, const Json& v, S& s) { s.comp.fps = ParseRate(v, f.path()); },
     [](const F&, const S& s) { return RateJson(s.comp.fps); }, nullptr, false,
     kFpsHelp.c_str(), nullptr},
    // The frame count at the composition's rate, which is read before.
    {Field::kCompDuration, "comp", "duration", 3,
     [](const F& f, const Json& v, S& s) {
       const double d = Seconds(v, f.path());
       if (d * s.comp.fps.value() > static_cast<double>(kMaxFrames)) throw TooManyFrames(f.path());
       s.comp.frames = static_cast<int>(std::max<int64_t>(1, std::llround(d * s.comp.fps.value())));
     },
     [](const F&, const S& s) -> Json { return s.comp.duration; }, nullptr, false,
     kLengthHelp.c_str(), nullptr},
    {Field::kCompFrames, "comp", "frames", kNone,
     [](const F& f, const Json& v, S& s) {
       const int64_t n = Integer(v, f.path());
       if (n <= 0) throw UsageError(f.path(), "must be at least 1, got " + v.dump(), "give a positive frame count");
       if (n > kMaxFrames) throw TooManyFrames(f.path());
       s.comp.frames = static_cast<int>(n);
     },
     [](const F&, const S& s) -> Json { return s.comp.frames; }, nullptr, false, nullptr, " | "},
    {Field::kCompDepth, "comp", "depth", 8,
     [](const F& f, const Json& v, S& s) {
       const int64_t depth = Integer(v, f.path());
       if (!DepthOfBits(depth)) throw UsageError(f.path(), "unknown value " + v.dump(), "use " + DepthBitsList());
       s.comp.depth = static_cast<int>(depth);
     },
     [](const F&, const S& s) -> Json { return s.comp.depth; }, nullptr, false, kDepthHelp.c_str(), nullptr},
    {Field::kCompDownsample, "comp", "downsample", 1,
     [](const F& f, const Json& v, S& s) {
       const int64_t ds = Integer(v, f.path());
       if (ds < 1 || ds > kMaxDownsample) {
         throw UsageError(f.path(), "unknown value " + v.dump(), "use " + DownsampleList());
       }
       s.comp.downsample = static_cast<int>(ds);
     },
     [](const F&, const S& s) -> Json { return s.comp.downsample; }, nullptr, false, kDownsampleHelp.c_str(), nullptr},
    {Field::kSourcePath, "source", "path", kBuiltinClip,
     [](const F& f, const Json& v, S& s) {
       if (!v.is_string() || v.get<std::string>().empty()) {
         throw UsageError(f.path(), "must be \"builtin\" or a file path", "write e.g. \"shots/run.%04d.png\"");
       }
       s.source.path = v.get<std::string>();
     },
     [](const F&, const S& s) -> Json { return s.source.path; }, nullptr, false,
     "[{0}] the built-in numbered clip, an image sequence (name.%04d.png or name.####.png), a single image, or a "
     "movie. A path that exists is that file, whatever characters it holds (take#1.mp4); it is a sequence pattern "
     "only when no such file exists",
     nullptr},
    {Field::kSourceWidth, "source", "width", 400,
     [](const F& f, const Json& v, S& s) { s.source.width = Size(v, f.path()); },
     [](const F&, const S& s) { return s.source.builtin() ? Json(s.source.width) : kLeftOut; }, nullptr, false,
     "[{0}, {1}] built-in clip only", nullptr},
    {Field::kSourceHeight, "source", "height", 300,
     [](const F& f, const Json& v, S& s) { s.source.height = Size(v, f.path()); },
     [](const F&, const S& s) { return s.source.builtin() ? Json(s.source.height) : kLeftOut; }, nullptr, false,
     nullptr, ", ."},
    {Field::kSourceFps, "source", "fps", 30,
     [](const F& f, const Json& v, S& s) { s.source.fps = ParseRate(v, f.path()); },
     [](const F&, const S& s) { return RateJson(s.source.fps); }, nullptr, false,
     "[{0}; footage: its own, else comp.fps]", nullptr},
    {Field::kSourceDuration, "source", "duration", 2,
     [](const F& f, const Json& v, S& s) { s.source.duration = Seconds(v, f.path()); },
     [](const F&, const S& s) { return s.source.duration ? Json(*s.source.duration) : Json(nullptr); }, nullptr,
     false, "[{0} s; footage: its own length; a still: the composition's]", nullptr},
    {Field::kSourceIn, "source", "in", 0,
     [](const F& f, const Json& v, S& s) {
       s.source.in = Number(v, f.path());
       if (std::fabs(s.source.in) > 100000.0) {
         throw UsageError(f.path(), "is too far from 0", "give an in-point within 100000 s");
       }
     },
     [](const F&, const S& s) -> Json { return s.source.in; }, nullptr, false,
     "[{0}] the source layer's in-point, composition seconds", nullptr},
};
// clang-format on

// Every row: the composition's and the source's, the effect's parameters,
// the frame format's.
const std::vector<SceneField> kFields = [] {
  std::vector<SceneField> rows = kCompAndSource;
  for (SceneField& f : ParamFields()) rows.push_back(std::move(f));
  // None: the depth picks it.
  rows.push_back(SceneField{
      Field::kFormat, "", "format", kNone,
      [](const F& f, const Json& v, S& s) { s.format = Name(f, Choice(f, v)).get<std::string>(); },
      [](const F&, const S& s) -> Json { return s.format; }, &kFormatNames, false, "[by depth: {choices:, }]", nullptr});
  return rows;
}();

// The names a level of the scene may hold, for the fix of an unknown one.
const Json& Schema() {
  static const Json schema = [] {
    Json j = Json::object();
    for (const SceneField& f : kFields) {
      if (*f.group == '\0') j[f.name] = 0;
      else j[f.group][f.name] = 0;
    }
    return j;
  }();
  return schema;
}

std::string Names(const Json& level) {
  std::vector<std::string> names;
  for (auto it = level.begin(); it != level.end(); ++it) names.push_back(it.key());
  return QuotedList(names);
}

// A default as a scene file would write it, spaced as --help shows JSON.
std::string Shown(const Json& v) {
  if (!v.is_object()) return v.dump();
  std::string out;
  for (auto it = v.begin(); it != v.end(); ++it) {
    out += (out.empty() ? "{" : ", ") + Json(it.key()).dump() + ": " + Shown(it.value());
  }
  return out + "}";
}

std::string JoinWith(const std::vector<std::string>& names, const std::string& sep) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : sep) + n;
  return out;
}

// The help text of the line that starts at `first` and holds `count` fields.
std::string HelpLine(const SceneField* first, std::size_t count) {
  constexpr std::size_t kColumn = 28;  // where the text starts
  std::string label = "  " + first->path();
  for (std::size_t i = 1; i < count; ++i) {
    const std::string joins = first[i].joins;
    label += joins + (joins.back() == '.' ? std::string(first[i].name) : first[i].path());
  }
  label.resize(std::max(label.size() + 2, kColumn), ' ');
  std::string text;
  for (const char* c = first->help; *c != '\0'; ++c) {
    if (c[0] == '{' && std::isdigit(static_cast<unsigned char>(c[1])) && c[2] == '}') {
      text += Shown(first[c[1] - '0'].fallback);
      c += 2;
    } else if (std::string(c).rfind("{choices:", 0) == 0) {
      const char* end = std::strchr(c, '}');
      text += JoinWith(*first->choices, std::string(c + 9, end));
      c = end;
    } else {
      text += *c;
    }
  }
  return HelpWrap(label, kColumn, text);
}

}  // namespace

std::string SceneField::path() const { return *group == '\0' ? std::string(name) : std::string(group) + "." + name; }

const std::vector<SceneField>& SceneFields() { return kFields; }

const SceneField& FieldOf(Field id) {
  const SceneField& f = kFields.at(static_cast<std::size_t>(id));
  if (f.id != id) throw std::logic_error("the scene fields are out of order at " + f.path());
  return f;
}

const Json* Given(const Json& scene, Field id) {
  const SceneField& f = FieldOf(id);
  const Json* level = &scene;
  if (*f.group != '\0') {
    auto g = scene.find(f.group);
    if (g == scene.end()) return nullptr;
    level = &*g;
  }
  auto v = level->find(f.name);
  if (v == level->end() || v->is_null()) return nullptr;
  return &*v;
}

bool ReadGiven(const Json& scene, Field id, Scene& out) {
  const Json* v = Given(scene, id);
  if (v == nullptr) return false;
  FieldOf(id).read(FieldOf(id), *v, out);
  return true;
}

void ReadDefault(Field id, Scene& out) { FieldOf(id).read(FieldOf(id), FieldOf(id).fallback, out); }

void ReadOrDefault(const Json& scene, Field id, Scene& out) {
  if (!ReadGiven(scene, id, out)) ReadDefault(id, out);
}

Json ResolvedJson(const Scene& scene) {
  Json r;
  for (const SceneField& f : kFields) {
    Json v = f.write(f, scene);
    if (v.is_discarded()) continue;
    if (*f.group == '\0') r[f.name] = std::move(v);
    else r[f.group][f.name] = std::move(v);
  }
  return r;
}

void CheckKnownFields(const Json& scene) {
  if (!scene.is_object()) throw UsageError("scene", "must be a JSON object", "write { \"comp\": {...}, ... }");
  const Json& schema = Schema();
  for (auto it = scene.begin(); it != scene.end(); ++it) {
    if (!schema.contains(it.key())) {
      throw UsageError(it.key(), "unknown field", "use one of " + Names(schema));
    }
    const Json& sub = schema[it.key()];
    if (!sub.is_object()) continue;
    if (!it.value().is_object()) {
      throw UsageError(it.key(), "must be an object", "write \"" + it.key() + "\": { ... }");
    }
    for (auto f = it.value().begin(); f != it.value().end(); ++f) {
      if (!sub.contains(f.key())) {
        throw UsageError(it.key() + "." + f.key(), "unknown field", "use one of " + Names(sub));
      }
    }
  }
}

std::string SceneFieldsHelp() {
  std::string h;
  for (std::size_t i = 0; i < kFields.size();) {
    std::size_t count = 1;
    while (i + count < kFields.size() && kFields[i + count].help == nullptr) ++count;
    h += HelpLine(&kFields[i], count);
    i += count;
  }
  return h;
}

}  // namespace zelvan::render
