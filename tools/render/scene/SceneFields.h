// The fields a scene may hold, one row each: where the field sits in the
// JSON, its default, how its value is read and checked, how the resolved
// scene writes it back, and its line in --help. The schema, the defaults and
// the help text are all made from these rows.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "Scene.h"

namespace zelvan::render {

// The rows, in the order the scene's JSON lists them.
enum class Field {
  kCompWidth,
  kCompHeight,
  kCompFps,
  kCompDuration,
  kCompFrames,
  kCompDepth,
  kCompDownsample,
  kSourcePath,
  kSourceWidth,
  kSourceHeight,
  kSourceFps,
  kSourceDuration,
  kSourceIn,
  kMode,
  kType,
  kTime,
  kWaiting,
  kRange,
  kStart,
  kEnd,
  kEasing,
  kEasingMode,
  kLayer,
  kFormat,
};

struct SceneField {
  Field id;
  const char* group;  // "comp", "source", "params"; "" for a field at the top
  const char* name;
  Json fallback;  // the default as a scene would write it; null: none of its own
  // Reads a value (given, or the default), checks it and stores it in the scene.
  void (*read)(const SceneField& field, const Json& value, Scene& scene);
  // The value as the resolved scene shows it; discarded to leave the field out.
  Json (*write)(const SceneField& field, const Scene& scene);
  const std::vector<std::string>* choices;  // a menu's names, index = code - 1
  bool loop;                                // part of the loop that --play-once sets itself
  // Its --help line after the name. {N}: the default of the line's Nth field,
  // {choices:SEP}: the names joined by SEP, \n: a new line under the text.
  // Null: the field shares the line of the one before, its name joined by
  // `joins` (ending in "." for the name without its group).
  const char* help;
  const char* joins;
  ParamIndex param = kParamInput;  // the effect's parameter the field sets; the input: none

  std::string path() const;  // "comp.width", "format"
};

const std::vector<SceneField>& SceneFields();
const SceneField& FieldOf(Field id);

// The value the scene gives the field; null when it gives none (or null).
const Json* Given(const Json& scene, Field id);
// Reads the field's given value into `out`; false when the scene gives none.
bool ReadGiven(const Json& scene, Field id, Scene& out);
// Reads the field's default into `out`.
void ReadDefault(Field id, Scene& out);
// The given value, else the default.
void ReadOrDefault(const Json& scene, Field id, Scene& out);
// The resolved scene's JSON, every field the rows write, in their order.
Json ResolvedJson(const Scene& scene);

// Throws UsageError for a scene that is not an object, or that holds a field
// no row names (a typo worth stopping for), with the names it may hold.
void CheckKnownFields(const Json& scene);

// The scene fields' part of --help, a line or more per field.
std::string SceneFieldsHelp();

}  // namespace zelvan::render
