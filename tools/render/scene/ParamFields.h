// The scene's fields for the effect's parameters, params.mode to
// params.layer: each one's name, menu, range and reading from the effect's
// parameter table, its default the table's unless the demo has its own, and
// its help line.
#pragma once

#include <vector>

#include "SceneFields.h"

namespace zelvan::render {

// The rows, in the scene's order.
std::vector<SceneField> ParamFields();

}  // namespace zelvan::render
