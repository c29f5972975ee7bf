// Reading one scene field's value: a number checked for what the field
// takes, or a menu's entry by its name. Each reader throws UsageError naming
// the field and the fix.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SceneFields.h"

namespace zelvan::render {

double Number(const Json& v, const std::string& field);
int64_t Integer(const Json& v, const std::string& field);
// A number from lo to hi, both taken; the fix gives them in `unit`.
double Ranged(const Json& v, double lo, double hi, const std::string& field, const std::string& unit);

// The code (1-based) of the entry of the field's menu that `v` names: its
// own name, or for a parameter the effect's name of it ("No Margin", "Fit to
// Layer", "InOut"). Case, spaces and underscores do not matter.
int Choice(const SceneField& f, const Json& v);
// The name of a code of the field's menu.
Json Name(const SceneField& f, int code);

// The entries of a '|'-separated list.
std::vector<std::string> Entries(const char* list);
// Names quoted and joined by ", ".
std::string QuotedList(const std::vector<std::string>& names);

}  // namespace zelvan::render
