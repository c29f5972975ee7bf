#include "SceneFields.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <numeric>
#include <sstream>
#include <stdexcept>

namespace zelvan::render {

const std::vector<std::string> kModeNames = {"center", "whole", "no-margin", "fit"};
const std::vector<std::string> kTypeNames = {"cycle", "pingpong"};
const std::vector<std::string> kRangeNames = {"percent", "second"};
const std::vector<std::string> kEasingNames = {"linear", "quad", "cubic", "quart", "quint",
                                               "expo",   "circ", "sine",  "bounce"};
const std::vector<std::string> kEasingModeNames = {"in", "out", "inout"};
const std::vector<std::string> kFormatNames = {"png8", "png16", "exr"};

namespace {

std::string Join(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "\"" : ", \"") + n + "\"";
  return out;
}

double Number(const Json& v, const std::string& field) {
  if (!v.is_number()) throw UsageError(field, "must be a number, got " + v.dump(), "give a number such as 10");
  const double d = v.get<double>();
  if (!std::isfinite(d)) throw UsageError(field, "must be finite", "give a finite number");
  return d;
}

int64_t Integer(const Json& v, const std::string& field) {
  const double d = Number(v, field);
  if (d != std::floor(d) || std::fabs(d) > 9.0e15) {
    throw UsageError(field, "must be a whole number, got " + v.dump(), "give an integer such as 4");
  }
  return static_cast<int64_t>(d);
}

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

// The effect's own menu names ("No Margin", "Fit to Layer", "InOut") read as
// the short ones: case, spaces and underscores do not matter.
struct Alias {
  const char* name;
  const char* short_name;
};
const Alias kAliases[] = {{"fit-to-layer", "fit"}, {"in-out", "inout"}, {"ping-pong", "pingpong"},
                          {"seconds", "second"}};

int Choice(const SceneField& f, const Json& v) {
  const std::vector<std::string>& names = *f.choices;
  if (v.is_string()) {
    std::string s = v.get<std::string>();
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) {
      return c == ' ' || c == '_' ? '-' : static_cast<char>(std::tolower(c));
    });
    for (const Alias& alias : kAliases) {
      if (s == alias.name) s = alias.short_name;
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (names[i] == s) return static_cast<int>(i) + 1;
    }
  }
  throw UsageError(f.path(), "unknown value " + v.dump(), "use one of " + Join(names));
}

Json Name(const SceneField& f, int code) { return (*f.choices)[static_cast<std::size_t>(code - 1)]; }

double Ranged(const Json& v, double lo, double hi, const std::string& field, const char* unit) {
  const double d = Number(v, field);
  if (d < lo || d > hi) {
    std::ostringstream fix;
    fix << "give a value from " << lo << " to " << hi << unit;
    throw UsageError(field, "is out of range: " + v.dump(), fix.str());
  }
  return d;
}

// The range's start and end: percent, or seconds when the range is in seconds.
double RangeEnd(const SceneField& f, const Json& v, const Scene& s) {
  if (s.params.range == 1) return Ranged(v, 0.0, 100.0, f.path(), " percent");
  return Ranged(v, 0.0, 1000000.0, f.path(), " seconds");
}

Json RateJson(const Rational& r) {
  if (r.den == 1) return r.num;
  return r.text();
}

TimeCurve ParseTime(const Json& v, const std::string& field) {
  TimeCurve t;
  if (v.is_number()) {
    t.kind = TimeCurve::Kind::Constant;
    t.constant = Number(v, field);
  } else if (v.is_object() && v.size() == 1 && v.contains("rate")) {
    t.kind = TimeCurve::Kind::Rate;
    t.rate = Number(v["rate"], field + ".rate");
  } else if (v.is_object() && v.size() == 1 && v.contains("keys")) {
    t.kind = TimeCurve::Kind::Keys;
    const Json& keys = v["keys"];
    if (!keys.is_array() || keys.empty()) {
      throw UsageError(field + ".keys", "must be a non-empty list of [seconds, degrees]",
                       "write {\"keys\": [[0, 0], [2, 720]]}");
    }
    for (std::size_t i = 0; i < keys.size(); ++i) {
      const std::string kf = field + ".keys[" + std::to_string(i) + "]";
      if (!keys[i].is_array() || keys[i].size() != 2) {
        throw UsageError(kf, "must be a pair [seconds, degrees]", "write [1.5, 360]");
      }
      const double s = Number(keys[i][0], kf);
      const double d = Number(keys[i][1], kf);
      if (!t.keys.empty() && s <= t.keys.back().first) {
        throw UsageError(kf, "key times must increase", "sort the keys by time, one key per time");
      }
      t.keys.emplace_back(s, d);
    }
  } else {
    throw UsageError(field, "must be degrees, {\"keys\": [[s, deg], ...]} or {\"rate\": deg_per_s}, got " + v.dump(),
                     "write e.g. 90, {\"rate\": 240} or {\"keys\": [[0, 0], [2, 720]]}");
  }
  return t;
}

Json TimeJson(const TimeCurve& t) {
  switch (t.kind) {
    case TimeCurve::Kind::Constant:
      return t.constant;
    case TimeCurve::Kind::Rate:
      return Json{{"rate", t.rate}};
    case TimeCurve::Kind::Keys: {
      Json keys = Json::array();
      for (const auto& k : t.keys) keys.push_back(Json::array({k.first, k.second}));
      return Json{{"keys", keys}};
    }
  }
  return nullptr;
}

const Json kNone;                                       // no default of its own
const Json kLeftOut(Json::value_t::discarded);          // not in the resolved scene
using S = Scene;
using F = SceneField;

// clang-format off
const std::vector<SceneField> kFields = {
    {Field::kCompWidth, "comp", "width", 320,
     [](const F& f, const Json& v, S& s) { s.comp.width = Size(v, f.path()); },
     [](const F&, const S& s) -> Json { return s.comp.width; }, nullptr, false,
     "[{0}, {1}; footage: its own size] pixels", nullptr},
    {Field::kCompHeight, "comp", "height", 180,
     [](const F& f, const Json& v, S& s) { s.comp.height = Size(v, f.path()); },
     [](const F&, const S& s) -> Json { return s.comp.height; }, nullptr, false, nullptr, ", "},
    {Field::kCompFps, "comp", "fps", 30,
     [](const F& f, const Json& v, S& s) { s.comp.fps = ParseRate(v, f.path()); },
     [](const F&, const S& s) { return RateJson(s.comp.fps); }, nullptr, false,
     "[{0}; a movie: its own rate] a number or a rational such as \"30000/1001\"", nullptr},
    // The frame count at the composition's rate, which is read before.
    {Field::kCompDuration, "comp", "duration", 3,
     [](const F& f, const Json& v, S& s) {
       const double d = Seconds(v, f.path());
       if (d * s.comp.fps.value() > static_cast<double>(kMaxFrames)) throw TooManyFrames(f.path());
       s.comp.frames = static_cast<int>(std::max<int64_t>(1, std::llround(d * s.comp.fps.value())));
     },
     [](const F&, const S& s) -> Json { return s.comp.duration; }, nullptr, false,
     "[{0} s] seconds, or a frame count (frames wins when given)", nullptr},
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
       if (depth != 8 && depth != 16 && depth != 32) {
         throw UsageError(f.path(), "unknown value " + v.dump(), "use 8, 16 or 32 (float)");
       }
       s.comp.depth = static_cast<int>(depth);
     },
     [](const F&, const S& s) -> Json { return s.comp.depth; }, nullptr, false, "[{0}] 8, 16 or 32 (float)", nullptr},
    {Field::kCompDownsample, "comp", "downsample", 1,
     [](const F& f, const Json& v, S& s) {
       const int64_t ds = Integer(v, f.path());
       if (ds < 1 || ds > 4) throw UsageError(f.path(), "unknown value " + v.dump(), "use 1, 2, 3 or 4");
       s.comp.downsample = static_cast<int>(ds);
     },
     [](const F&, const S& s) -> Json { return s.comp.downsample; }, nullptr, false, "[{0}] 1, 2, 3 or 4", nullptr},
    {Field::kSourcePath, "source", "path", kBuiltinClip,
     [](const F& f, const Json& v, S& s) {
       if (!v.is_string() || v.get<std::string>().empty()) {
         throw UsageError(f.path(), "must be \"builtin\" or a file path", "write e.g. \"shots/run.%04d.png\"");
       }
       s.source.path = v.get<std::string>();
     },
     [](const F&, const S& s) -> Json { return s.source.path; }, nullptr, false,
     "[{0}] the built-in numbered clip, an image sequence\n"
     "(name.%04d.png or name.####.png), a single image, or a movie.\n"
     "A path that exists is that file, whatever characters it holds\n"
     "(take#1.mp4); it is a sequence pattern only when no such file exists", nullptr},
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
    {Field::kMode, "params", "mode", "whole",
     [](const F& f, const Json& v, S& s) { s.params.mode = Choice(f, v); },
     [](const F& f, const S& s) { return Name(f, s.params.mode); }, &kModeNames, false,
     "[{0}] {choices:, } (or \"Fit to Layer\", ...)", nullptr},
    {Field::kType, "params", "type", "pingpong",
     [](const F& f, const Json& v, S& s) { s.params.type = Choice(f, v); },
     [](const F& f, const S& s) { return Name(f, s.params.type); }, &kTypeNames, true, "[{0}] {choices:, }",
     nullptr},
    {Field::kTime, "params", "time", Json{{"rate", 240}},
     [](const F& f, const Json& v, S& s) { s.params.time = ParseTime(v, f.path()); },
     [](const F&, const S& s) { return TimeJson(s.params.time); }, nullptr, true,
     "[{0}] degrees: a constant, {\"keys\": [[s, deg], ...]}\n"
     "(linear between keys) or {\"rate\": degrees_per_second}", nullptr},
    {Field::kWaiting, "params", "waiting", 20,
     [](const F& f, const Json& v, S& s) { s.params.waiting = Ranged(v, 0.0, 100.0, f.path(), " percent"); },
     [](const F&, const S& s) -> Json { return s.params.waiting; }, nullptr, true,
     "[{0}] percent of each turn held still", nullptr},
    {Field::kRange, "params", "range", "percent",
     [](const F& f, const Json& v, S& s) { s.params.range = Choice(f, v); },
     [](const F& f, const S& s) { return Name(f, s.params.range); }, &kRangeNames, true, "[{0}] {choices: or }",
     nullptr},
    // In seconds the end's default is the source's length, which the scene resolves.
    {Field::kStart, "params", "start", 0,
     [](const F& f, const Json& v, S& s) { s.params.start = RangeEnd(f, v, s); },
     [](const F&, const S& s) -> Json { return s.params.start; }, nullptr, true,
     "[{0}, {1} percent; or {0} s and the source's duration]", nullptr},
    {Field::kEnd, "params", "end", 100,
     [](const F& f, const Json& v, S& s) { s.params.end = RangeEnd(f, v, s); },
     [](const F&, const S& s) -> Json { return s.params.end; }, nullptr, true, nullptr, ", "},
    {Field::kEasing, "params", "easing", "cubic",
     [](const F& f, const Json& v, S& s) { s.params.easing = Choice(f, v); },
     [](const F& f, const S& s) { return Name(f, s.params.easing); }, &kEasingNames, true, "[{0}] {choices: }",
     nullptr},
    {Field::kEasingMode, "params", "easing_mode", "inout",
     [](const F& f, const Json& v, S& s) { s.params.easing_mode = Choice(f, v); },
     [](const F& f, const S& s) { return Name(f, s.params.easing_mode); }, &kEasingModeNames, true,
     "[{0}] {choices:, }", nullptr},
    {Field::kLayer, "params", "layer", true,
     [](const F& f, const Json& v, S& s) {
       if (!v.is_boolean()) throw UsageError(f.path(), "must be true or false, got " + v.dump(), "write true or false");
       s.params.layer = v.get<bool>();
     },
     [](const F&, const S& s) -> Json { return s.params.layer; }, nullptr, false,
     "[{0}] false: no layer chosen, the input passes through", nullptr},
    // None: the depth picks it.
    {Field::kFormat, "", "format", kNone,
     [](const F& f, const Json& v, S& s) { s.format = Name(f, Choice(f, v)).get<std::string>(); },
     [](const F&, const S& s) -> Json { return s.format; }, &kFormatNames, false, "[by depth: {choices:, }]",
     nullptr},
};
// clang-format on

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
  return Join(names);
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
  constexpr std::size_t kColumn = 26;  // where the text starts, after the two-space indent
  std::string label = first->path();
  for (std::size_t i = 1; i < count; ++i) {
    const std::string joins = first[i].joins;
    label += joins + (joins.back() == '.' ? std::string(first[i].name) : first[i].path());
  }
  const std::size_t gap = std::max<std::size_t>(2, kColumn - std::min(kColumn, label.size()));
  std::string line = "  " + label + std::string(gap, ' ');
  const std::string indent(2 + kColumn, ' ');
  for (const char* c = first->help; *c != '\0'; ++c) {
    if (*c == '\n') {
      line += "\n" + indent;
    } else if (c[0] == '{' && std::isdigit(static_cast<unsigned char>(c[1])) && c[2] == '}') {
      line += Shown(first[c[1] - '0'].fallback);
      c += 2;
    } else if (std::string(c).rfind("{choices:", 0) == 0) {
      const char* end = std::strchr(c, '}');
      line += JoinWith(*first->choices, std::string(c + 9, end));
      c = end;
    } else {
      line += *c;
    }
  }
  return line + "\n";
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

Rational ParseRate(const Json& v, const std::string& field) {
  const std::string fix = "give frames per second above 0, e.g. 30, 29.97 or \"30000/1001\"";
  Rational r;
  if (v.is_string()) {
    const std::string s = v.get<std::string>();
    std::size_t slash = s.find('/');
    try {
      std::size_t used = 0;
      if (slash == std::string::npos) {
        return ParseRate(Json(std::stod(s, &used)), field);
      }
      r.num = std::stoll(s.substr(0, slash), &used);
      if (used != slash) throw std::invalid_argument("num");
      r.den = std::stoll(s.substr(slash + 1), &used);
      if (used != s.size() - slash - 1) throw std::invalid_argument("den");
    } catch (const std::logic_error&) {
      throw UsageError(field, "is not a frame rate: " + v.dump(), fix);
    }
  } else if (v.is_number()) {
    const double d = Number(v, field);
    if (!(d > 0.0)) throw UsageError(field, "must be above 0, got " + v.dump(), fix);
    // Decimal rates such as 29.97 become exact hundredths or thousandths.
    int64_t den = 1;
    while (den < 1000 && std::fabs(d * static_cast<double>(den) - std::round(d * static_cast<double>(den))) > 1e-9) den *= 10;
    r.num = static_cast<int64_t>(std::llround(d * static_cast<double>(den)));
    r.den = den;
  } else {
    throw UsageError(field, "is not a frame rate: " + v.dump(), fix);
  }
  if (r.num <= 0 || r.den <= 0) throw UsageError(field, "must be above 0, got " + v.dump(), fix);
  const int64_t g = std::gcd(r.num, r.den);
  r.num /= g;
  r.den /= g;
  if (!r.usable()) {
    throw UsageError(field, "is not a usable frame rate: " + v.dump(),
                     "give at most " + Compact(kMaxFps) + " frames per second");
  }
  return r;
}

}  // namespace zelvan::render
