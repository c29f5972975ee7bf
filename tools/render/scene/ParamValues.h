// A number for each of the effect's parameters, by its index in the host's
// parameter array (Params.h). What the numbers are, user or host units, is
// for the holder to say.
#pragma once

#include <array>
#include <cstddef>

#include "Params.h"

namespace zelvan::render {

struct ParamValues {
  std::array<double, kParamCount> values{};

  double& operator[](ParamIndex i) { return values[static_cast<std::size_t>(i)]; }
  double operator[](ParamIndex i) const { return values[static_cast<std::size_t>(i)]; }
  // A popup's code.
  A_long code(ParamIndex i) const { return static_cast<A_long>((*this)[i]); }
};

}  // namespace zelvan::render
