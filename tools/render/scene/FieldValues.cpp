#include "FieldValues.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <sstream>

#include "ParamTable.h"

namespace zelvan::render {
namespace {

// A name as menus compare it.
std::string Folded(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) {
    return c == ' ' || c == '_' ? '-' : static_cast<char>(std::tolower(c));
  });
  return s;
}

// Spellings taken for an entry besides its names.
struct Alias {
  const char* name;
  const char* short_name;
};
const Alias kAliases[] = {{"in-out", "inout"}, {"ping-pong", "pingpong"}, {"seconds", "second"}};

// The 1-based place of a folded name among names, folded; 0 when absent.
int PlaceAmong(const std::vector<std::string>& names, const std::string& folded) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (Folded(names[i]) == folded) return static_cast<int>(i) + 1;
  }
  return 0;
}

}  // namespace

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

double Ranged(const Json& v, double lo, double hi, const std::string& field, const std::string& unit) {
  const double d = Number(v, field);
  if (d < lo || d > hi) {
    std::ostringstream fix;
    fix << "give a value from " << lo << " to " << hi << " " << unit;
    throw UsageError(field, "is out of range: " + v.dump(), fix.str());
  }
  return d;
}

int Choice(const SceneField& f, const Json& v) {
  const std::vector<std::string>& names = *f.choices;
  if (v.is_string()) {
    std::string s = Folded(v.get<std::string>());
    for (const Alias& alias : kAliases) {
      if (s == alias.name) s = alias.short_name;
    }
    if (const int code = PlaceAmong(names, s)) return code;
    const ParamSpec* row = FindParam(f.param);
    if (row != nullptr && row->choices != nullptr) {
      if (const int code = PlaceAmong(Entries(row->choices), s)) return code;
    }
  }
  throw UsageError(f.path(), "unknown value " + v.dump(), "use one of " + QuotedList(names));
}

Json Name(const SceneField& f, int code) { return (*f.choices)[static_cast<std::size_t>(code - 1)]; }

std::vector<std::string> Entries(const char* list) {
  std::vector<std::string> entries(1);
  for (const char* c = list; *c != '\0'; ++c) {
    if (*c == '|') entries.emplace_back();
    else entries.back() += *c;
  }
  return entries;
}

std::string QuotedList(const std::vector<std::string>& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "\"" : ", \"") + n + "\"";
  return out;
}

}  // namespace zelvan::render
