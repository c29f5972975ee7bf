#include "ParamFields.h"

#include <array>
#include <cmath>
#include <cstddef>

#include "FieldValues.h"
#include "ParamTable.h"

namespace zelvan::render {
namespace {

using S = Scene;
using F = SceneField;

const ParamSpec& RowOf(const F& f) { return *FindParam(f.param); }

// The row a range's start or end stands for under the range type chosen;
// the field's own row for the rest.
const ParamSpec& RowInScene(const F& f, const S& s) { return RowInRange(RowOf(f), s.params.code(kParamRangeType)); }

// A popup's short names, split once from its row.
const std::vector<std::string>* ShortNames(ParamIndex param) {
  static const auto names = [] {
    std::array<std::vector<std::string>, kParamCount> n;
    for (const ParamSpec& p : kParams) {
      if (p.tool.choices != nullptr) n[static_cast<std::size_t>(p.index)] = Entries(p.tool.choices);
    }
    return n;
  }();
  return &names[static_cast<std::size_t>(param)];
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

// How a row reads a value into the scene and writes it back, by the type of
// its parameter.
struct Access {
  void (*read)(const F& f, const Json& v, S& s);
  Json (*write)(const F& f, const S& s);
};

Access AccessOf(PF_ParamType type) {
  switch (type) {
    case PF_Param_POPUP:
      return {[](const F& f, const Json& v, S& s) { s.params[f.param] = Choice(f, v); },
              [](const F& f, const S& s) { return Name(f, s.params.code(f.param)); }};
    case PF_Param_ANGLE:
      return {[](const F& f, const Json& v, S& s) { s.params.time = ParseTime(v, f.path()); },
              [](const F&, const S& s) { return TimeJson(s.params.time); }};
    case PF_Param_LAYER:
      return {[](const F& f, const Json& v, S& s) {
                if (!v.is_boolean()) throw UsageError(f.path(), "must be true or false, got " + v.dump(), "write true or false");
                s.params[f.param] = v.get<bool>() ? 1.0 : 0.0;
              },
              [](const F& f, const S& s) { return Json(s.params[f.param] != 0.0); }};
    default:  // a slider, its range and unit those of the row the scene stands for
      return {[](const F& f, const Json& v, S& s) {
                const ParamSpec& row = RowInScene(f, s);
                s.params[row.index] = Ranged(v, row.range.valid_min, row.range.valid_max, f.path(), SliderUnit(row));
              },
              [](const F& f, const S& s) { return Json(s.params[RowInScene(f, s).index]); }};
  }
}

// A value in the parameter's user units as a scene writes it: a popup's
// short name, a layer's true or false, a whole number without a fraction.
Json SceneValue(const ParamSpec& row, double value) {
  switch (row.type) {
    case PF_Param_POPUP:
      return (*ShortNames(row.index))[static_cast<std::size_t>(value) - 1];
    case PF_Param_LAYER:
      return value != 0.0;
    default:
      return value == std::floor(value) ? Json(static_cast<int64_t>(value)) : Json(value);
  }
}

// A parameter's row, built from its row of the effect's table.
class ParamRow {
 public:
  ParamRow(Field id, ParamIndex param) : field_(FromTable(id, *FindParam(param))) {}
  // The demo's default, where it is not the effect's own.
  ParamRow& Demo(double user_value) {
    field_.fallback = SceneValue(RowOf(field_), user_value);
    return *this;
  }
  ParamRow& Demo(Json value) {
    field_.fallback = std::move(value);
    return *this;
  }
  // Part of the loop that --play-once makes itself.
  ParamRow& Loop() {
    field_.loop = true;
    return *this;
  }
  ParamRow& Help(const char* help) {
    field_.help = help;
    return *this;
  }
  // On the help line of the row before, its name after `joins`.
  ParamRow& SharesLine(const char* joins) {
    field_.joins = joins;
    return *this;
  }
  operator SceneField() const { return field_; }

 private:
  static SceneField FromTable(Field id, const ParamSpec& row) {
    const Access access = AccessOf(row.type);
    const auto* choices = row.tool.choices != nullptr ? ShortNames(row.index) : nullptr;
    return SceneField{id,      "params", row.tool.field, SceneValue(row, row.dephault), access.read, access.write,
                      choices, false,    nullptr,        nullptr,                       row.index};
  }

  SceneField field_;
};

}  // namespace

std::vector<SceneField> ParamFields() {
  return {
      ParamRow(Field::kMode, kParamMode).Help("[{0}] {choices:, } (or \"Fit to Layer\", ...)"),
      ParamRow(Field::kType, kParamType).Demo(kLoopPingpong).Loop().Help("[{0}] {choices:, }"),
      ParamRow(Field::kTime, kParamTime)
          .Demo(Json{{"rate", 240}})
          .Loop()
          .Help("[{0}] degrees: a constant, {\"keys\": [[s, deg], ...]} (linear between keys) or "
                "{\"rate\": degrees_per_second}"),
      ParamRow(Field::kWaiting, kParamWaitingTime).Demo(20).Loop().Help("[{0}] percent of each turn held still"),
      ParamRow(Field::kRange, kParamRangeType).Loop().Help("[{0}] {choices: or }"),
      // Each stands for the row of the range type chosen. Unless given, each
      // is that row's default; in seconds the end is the source's end, which
      // the scene resolves.
      ParamRow(Field::kStart, kParamStartPercent).Loop().Help("[{0}, {1} percent; or {0} s and the source's duration]"),
      ParamRow(Field::kEnd, kParamEndPercent).Loop().SharesLine(", "),
      ParamRow(Field::kEasing, kParamEasingType).Demo(kEasingCubic).Loop().Help("[{0}] {choices: }"),
      ParamRow(Field::kEasingMode, kParamEasingMode).Loop().Help("[{0}] {choices:, }"),
      ParamRow(Field::kLayer, kParamLayer).Demo(true).Help("[{0}] false: no layer chosen, the input passes through"),
  };
}

}  // namespace zelvan::render
