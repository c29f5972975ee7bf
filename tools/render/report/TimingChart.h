// The timing chart: the source time shown against composition time, with
// the loop's turns, its holds and the frames that failed.
#pragma once

#include <string>

#include "RenderRecord.h"

namespace zelvan::render {

std::string TimingChartSvg(const RenderRecord& r);

}  // namespace zelvan::render
