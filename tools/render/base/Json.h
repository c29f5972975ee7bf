// The JSON of scenes, reports and manifests: objects keep their fields in the
// order they were written.
#pragma once

#include <nlohmann/json.hpp>

namespace zelvan::render {

using Json = nlohmann::ordered_json;

}  // namespace zelvan::render
