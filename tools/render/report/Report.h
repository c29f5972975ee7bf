// report.json: the resolved scene, the source layer and, frame by frame, what
// the host handed the plug-in and what it saw it do.
#pragma once

#include "Json.h"
#include "RenderRecord.h"

namespace zelvan::render {

Json ReportJson(const RenderRecord& r);

}  // namespace zelvan::render
