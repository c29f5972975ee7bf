#include "Scene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>

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

// The fields a scene may hold; anything else is a typo worth stopping for.
const Json& Schema() {
  static const Json schema = {
      {"comp", {{"width", 0}, {"height", 0}, {"fps", 0}, {"duration", 0}, {"frames", 0}, {"depth", 0},
                {"downsample", 0}}},
      {"source", {{"path", 0}, {"width", 0}, {"height", 0}, {"fps", 0}, {"duration", 0}, {"in", 0}}},
      {"params", {{"mode", 0}, {"type", 0}, {"time", 0}, {"waiting", 0}, {"range", 0}, {"start", 0},
                  {"end", 0}, {"easing", 0}, {"easing_mode", 0}, {"layer", 0}}},
      {"format", 0},
  };
  return schema;
}

std::string Fields(const Json& level) {
  std::vector<std::string> names;
  for (auto it = level.begin(); it != level.end(); ++it) names.push_back(it.key());
  return Join(names);
}

void CheckKnown(const Json& scene) {
  if (!scene.is_object()) throw UsageError("scene", "must be a JSON object", "write { \"comp\": {...}, ... }");
  const Json& schema = Schema();
  for (auto it = scene.begin(); it != scene.end(); ++it) {
    if (!schema.contains(it.key())) {
      throw UsageError(it.key(), "unknown field", "use one of " + Fields(schema));
    }
    const Json& sub = schema[it.key()];
    if (!sub.is_object()) continue;
    if (!it.value().is_object()) {
      throw UsageError(it.key(), "must be an object", "write \"" + it.key() + "\": { ... }");
    }
    for (auto f = it.value().begin(); f != it.value().end(); ++f) {
      if (!sub.contains(f.key())) {
        throw UsageError(it.key() + "." + f.key(), "unknown field", "use one of " + Fields(sub));
      }
    }
  }
}

const Json* Get(const Json& scene, const char* group, const char* field) {
  auto g = scene.find(group);
  if (g == scene.end()) return nullptr;
  auto f = g->find(field);
  if (f == g->end() || f->is_null()) return nullptr;
  return &*f;
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

int Size(const Json* v, int fallback, const std::string& field) {
  if (v == nullptr) return fallback;
  const int64_t n = Integer(*v, field);
  if (n <= 0) throw UsageError(field, "must be at least 1 pixel, got " + v->dump(), "give a positive size");
  if (n > kMaxSize) {
    throw UsageError(field, "is larger than " + std::to_string(kMaxSize) + " pixels", "give a smaller size");
  }
  return static_cast<int>(n);
}

// The effect's own menu names ("No Margin", "Fit to Layer", "InOut") read as
// the short ones: case, spaces and underscores do not matter.
struct Alias {
  const char* name;
  const char* short_name;
};
const Alias kAliases[] = {{"fit-to-layer", "fit"}, {"in-out", "inout"}, {"ping-pong", "pingpong"},
                          {"seconds", "second"}};

int Choice(const Json* v, int fallback, const std::vector<std::string>& names, const std::string& field) {
  if (v == nullptr) return fallback;
  if (v->is_string()) {
    std::string s = v->get<std::string>();
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
  throw UsageError(field, "unknown value " + v->dump(), "use one of " + Join(names));
}

double Ranged(const Json* v, double fallback, double lo, double hi, const std::string& field, const char* unit) {
  if (v == nullptr) return fallback;
  const double d = Number(*v, field);
  if (d < lo || d > hi) {
    std::ostringstream fix;
    fix << "give a value from " << lo << " to " << hi << unit;
    throw UsageError(field, "is out of range: " + v->dump(), fix.str());
  }
  return d;
}

Json RateJson(const Rational& r) {
  if (r.den == 1) return r.num;
  return r.text();
}

// The angle the host can hold: 16.16 fixed point.
constexpr double kMaxAngle = 32767.0;

TimeCurve ParseTime(const Json* v) {
  TimeCurve t;
  if (v == nullptr) return t;
  const std::string field = "params.time";
  if (v->is_number()) {
    t.kind = TimeCurve::Kind::Constant;
    t.constant = Number(*v, field);
  } else if (v->is_object() && v->size() == 1 && v->contains("rate")) {
    t.kind = TimeCurve::Kind::Rate;
    t.rate = Number((*v)["rate"], field + ".rate");
  } else if (v->is_object() && v->size() == 1 && v->contains("keys")) {
    t.kind = TimeCurve::Kind::Keys;
    const Json& keys = (*v)["keys"];
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
    throw UsageError(field, "must be degrees, {\"keys\": [[s, deg], ...]} or {\"rate\": deg_per_s}, got " + v->dump(),
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

}  // namespace

std::string Compact(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string Rational::text() const {
  return den == 1 ? std::to_string(num) : std::to_string(num) + "/" + std::to_string(den);
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
  if (r.num > 1000000 || r.den > 100000 || r.value() > 1000.0) {
    throw UsageError(field, "is not a usable frame rate: " + v.dump(), "give at most 1000 frames per second");
  }
  return r;
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
  CheckKnown(scene);
}

// What --play-once sets: the loop is its own, so the scene may not set it.
const char* const kPlayOnceParams[] = {"type", "time", "waiting", "range", "start", "end", "easing", "easing_mode"};

Scene ResolveScene(const Json& in, const std::optional<FootageFacts>& footage, bool play_once) {
  CheckKnown(in);
  Scene s;
  const bool footage_fps = footage && footage->fps.has_value();
  const bool footage_frames = footage && footage->frames.has_value();
  if (play_once) {
    for (const char* f : kPlayOnceParams) {
      if (Get(in, "params", f) != nullptr) {
        throw UsageError(std::string("params.") + f, "is set by --play-once (a linear Cycle of the whole source)",
                         "drop one of them");
      }
    }
  }

  // Composition: footage gives it its size and rate unless the scene says otherwise.
  CompSettings& c = s.comp;
  if (footage && footage->width > 0 && footage->height > 0) {
    c.width = std::min(footage->width, kMaxSize);
    c.height = std::min(footage->height, kMaxSize);
  }
  c.width = Size(Get(in, "comp", "width"), c.width, "comp.width");
  c.height = Size(Get(in, "comp", "height"), c.height, "comp.height");
  if (footage_fps) c.fps = *footage->fps;
  // Played once, the composition runs at the source's own rate.
  if (const Json* v = Get(in, "source", "fps"); play_once && v != nullptr) c.fps = ParseRate(*v, "source.fps");
  if (const Json* v = Get(in, "comp", "fps")) c.fps = ParseRate(*v, "comp.fps");
  const Json* frames = Get(in, "comp", "frames");
  const Json* duration = Get(in, "comp", "duration");
  int64_t n = 0;
  if (frames != nullptr) {
    n = Integer(*frames, "comp.frames");
    if (n <= 0) throw UsageError("comp.frames", "must be at least 1, got " + frames->dump(), "give a positive frame count");
  } else {
    double d = c.duration;
    if (duration != nullptr) {
      d = Number(*duration, "comp.duration");
      if (d <= 0.0) {
        throw UsageError("comp.duration", "must be above 0 seconds, got " + duration->dump(), "give a positive duration");
      }
    }
    if (d * c.fps.value() > static_cast<double>(kMaxFrames)) n = kMaxFrames + 1;
    else n = std::max<int64_t>(1, std::llround(d * c.fps.value()));
  }
  if (n > kMaxFrames) {
    throw UsageError(frames != nullptr ? "comp.frames" : "comp.duration",
                     "asks for more than " + std::to_string(kMaxFrames) + " frames",
                     "render a shorter stretch or a lower comp.fps");
  }
  c.frames = static_cast<int>(n);
  c.duration = static_cast<double>(c.frames) / c.fps.value();
  if (const Json* v = Get(in, "comp", "depth")) {
    const int64_t depth = Integer(*v, "comp.depth");
    if (depth != 8 && depth != 16 && depth != 32) {
      throw UsageError("comp.depth", "unknown value " + v->dump(), "use 8, 16 or 32 (float)");
    }
    c.depth = static_cast<int>(depth);
  }
  if (const Json* v = Get(in, "comp", "downsample")) {
    const int64_t ds = Integer(*v, "comp.downsample");
    if (ds < 1 || ds > 4) throw UsageError("comp.downsample", "unknown value " + v->dump(), "use 1, 2, 3 or 4");
    c.downsample = static_cast<int>(ds);
  }

  // Source layer.
  SourceSettings& src = s.source;
  if (const Json* v = Get(in, "source", "path")) {
    if (!v->is_string() || v->get<std::string>().empty()) {
      throw UsageError("source.path", "must be \"builtin\" or a file path", "write e.g. \"shots/run.%04d.png\"");
    }
    src.path = v->get<std::string>();
  }
  if (src.builtin()) {
    src.width = Size(Get(in, "source", "width"), src.width, "source.width");
    src.height = Size(Get(in, "source", "height"), src.height, "source.height");
  } else {
    for (const char* f : {"width", "height"}) {
      if (Get(in, "source", f) != nullptr) {
        throw UsageError(std::string("source.") + f, "applies to the built-in clip only",
                         "drop it: footage keeps its own size");
      }
    }
  }
  if (const Json* v = Get(in, "source", "fps")) {
    src.fps = ParseRate(*v, "source.fps");
    src.fps_given = true;
  } else if (footage_fps) {
    src.fps = *footage->fps;
  } else if (!src.builtin()) {
    src.fps = c.fps;
  }
  if (const Json* v = Get(in, "source", "duration")) {
    const double d = Number(*v, "source.duration");
    if (d <= 0.0) throw UsageError("source.duration", "must be above 0 seconds, got " + v->dump(), "give a positive duration");
    src.duration = d;
  } else if (src.builtin()) {
    src.duration = 2.0;
  } else if (footage_frames) {
    src.duration = static_cast<double>(*footage->frames) / src.fps.value();
  }
  if (src.duration && *src.duration * src.fps.value() > static_cast<double>(kMaxFrames)) {
    throw UsageError("source.duration", "holds more than " + std::to_string(kMaxFrames) + " frames",
                     "give a shorter source.duration");
  }
  if (const Json* v = Get(in, "source", "in")) src.in = Number(*v, "source.in");
  if (std::fabs(src.in) > 100000.0) throw UsageError("source.in", "is too far from 0", "give an in-point within 100000 s");
  if (play_once) {
    if (!src.builtin() && !footage_frames) {
      throw UsageError("--play-once", "needs footage with frames, and " + src.path + " is a single image",
                       "give a movie, an image sequence or the built-in clip, or drop --play-once");
    }
    // As long as the source, unless the scene says otherwise.
    if (frames == nullptr && duration == nullptr) {
      const double want = std::ceil(*src.duration * c.fps.value() - 1e-9);
      if (want > static_cast<double>(kMaxFrames)) {
        throw UsageError("--play-once", "asks for more than " + std::to_string(kMaxFrames) + " frames",
                         "set a shorter comp.duration or a lower comp.fps");
      }
      c.frames = std::max(1, static_cast<int>(want));
      c.duration = static_cast<double>(c.frames) / c.fps.value();
    }
  }

  // Effect parameters.
  EffectSettings& p = s.params;
  p.mode = Choice(Get(in, "params", "mode"), p.mode, kModeNames, "params.mode");
  p.type = Choice(Get(in, "params", "type"), p.type, kTypeNames, "params.type");
  p.time = ParseTime(Get(in, "params", "time"));
  p.waiting = Ranged(Get(in, "params", "waiting"), p.waiting, 0.0, 100.0, "params.waiting", " percent");
  p.range = Choice(Get(in, "params", "range"), p.range, kRangeNames, "params.range");
  if (p.range == 1) {
    p.start = Ranged(Get(in, "params", "start"), 0.0, 0.0, 100.0, "params.start", " percent");
    p.end = Ranged(Get(in, "params", "end"), 100.0, 0.0, 100.0, "params.end", " percent");
  } else {
    const double full = src.duration.value_or(10.0);
    p.start = Ranged(Get(in, "params", "start"), 0.0, 0.0, 1000000.0, "params.start", " seconds");
    p.end = Ranged(Get(in, "params", "end"), full, 0.0, 1000000.0, "params.end", " seconds");
  }
  p.easing = Choice(Get(in, "params", "easing"), p.easing, kEasingNames, "params.easing");
  p.easing_mode = Choice(Get(in, "params", "easing_mode"), p.easing_mode, kEasingModeNames, "params.easing_mode");
  if (const Json* v = Get(in, "params", "layer")) {
    if (!v->is_boolean()) throw UsageError("params.layer", "must be true or false, got " + v->dump(), "write true or false");
    p.layer = v->get<bool>();
  }
  if (play_once) {
    // The source's time itself: a linear Cycle whose turn lasts the source's
    // duration over the range 0 to that duration in seconds, so composition
    // time t shows source time t. Seconds, not percent: the percent range
    // runs over the duration less one frame, and a Cycle never reaches its end.
    const double length = *src.duration;
    p.type = 1;
    p.time.kind = TimeCurve::Kind::Rate;
    p.time.rate = 360.0 / length;
    p.waiting = 0.0;
    p.range = 2;
    p.start = 0.0;
    p.end = length;
    p.easing = 1;
  }
  // The angle must fit the host's fixed point on every frame rendered.
  for (int f = 0; f < c.frames; ++f) {
    const double deg = p.time.at(static_cast<double>(f) * static_cast<double>(c.fps.den) / static_cast<double>(c.fps.num));
    if (std::fabs(deg) > kMaxAngle) {
      throw UsageError("params.time", "reaches " + Compact(deg) + " degrees at frame " + std::to_string(f),
                       "keep the angle within +-32767 degrees: lower the rate or the frame count");
    }
  }

  if (auto it = in.find("format"); it != in.end() && !it->is_null()) {
    const int code = Choice(&*it, 1, kFormatNames, "format");
    s.format = kFormatNames[static_cast<std::size_t>(code - 1)];
  }

  // The scene as resolved, in the same terms as the input.
  Json r;
  r["comp"] = {{"width", c.width}, {"height", c.height}, {"fps", RateJson(c.fps)}, {"duration", c.duration},
               {"frames", c.frames}, {"depth", c.depth}, {"downsample", c.downsample}};
  r["source"] = {{"path", src.path}};
  if (src.builtin()) {
    r["source"]["width"] = src.width;
    r["source"]["height"] = src.height;
  }
  r["source"]["fps"] = RateJson(src.fps);
  r["source"]["duration"] = src.duration ? Json(*src.duration) : Json(nullptr);
  r["source"]["in"] = src.in;
  r["params"] = {{"mode", kModeNames[static_cast<std::size_t>(p.mode - 1)]},
                 {"type", kTypeNames[static_cast<std::size_t>(p.type - 1)]},
                 {"time", TimeJson(p.time)},
                 {"waiting", p.waiting},
                 {"range", kRangeNames[static_cast<std::size_t>(p.range - 1)]},
                 {"start", p.start},
                 {"end", p.end},
                 {"easing", kEasingNames[static_cast<std::size_t>(p.easing - 1)]},
                 {"easing_mode", kEasingModeNames[static_cast<std::size_t>(p.easing_mode - 1)]},
                 {"layer", p.layer}};
  if (s.format.empty()) s.format = c.depth == 8 ? "png8" : c.depth == 16 ? "png16" : "exr";
  r["format"] = s.format;
  s.resolved = r;
  return s;
}

}  // namespace zelvan::render
