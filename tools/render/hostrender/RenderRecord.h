// What the host saw while rendering: one record per frame and the source
// layer's facts, which the report, the warnings and the chart are made from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "AE_Effect.h"
#include "Colour.h"
#include "ParamTable.h"
#include "Scene.h"

namespace zelvan::render {

// Parameter values as the host handed them to the plug-in, by index, in the
// host's units (HostValue in ParamTable.h), for the rows the report carries.
struct HostParams : ParamValues {
  // As the plug-in's snapshot keeps the number: degrees, a fraction, seconds.
  double snapshot(ParamIndex i) const { return SnapshotNumber(*FindParam(i), (*this)[i]); }
};

struct CopyRects {
  PF_LRect src{}, dst{};
};

struct FrameRecord {
  int frame = 0;
  A_Time current_time{0, 1};
  HostParams params;
  std::optional<A_Time> layer_time;     // when the plug-in checked "Layer" out
  std::optional<int64_t> source_frame;  // the clip frame the host handed over
  std::optional<CopyRects> copy;        // null for a whole-world copy
  bool copied = false;                  // the copy callback ran at all
  PF_Err error = 0;
  std::string file;
  // A host call whose own work failed in this frame (the footage could not
  // be read): the call, the cause and the clip frame asked for. Empty when
  // the frame rendered, or when the plug-in alone failed it.
  std::string footage_error;
  std::string failed_call;
  std::optional<int64_t> failed_source_frame;
  bool footage_failed() const { return !footage_error.empty(); }
  bool failed() const { return footage_failed() || error != 0; }
};

struct SourceRecord {
  A_long layer_id = 0;
  A_Time in_point{0, 1};
  A_Time duration{0, 1};
  Rational fps;
  int64_t frames = 0;
  int width = 0, height = 0;
  int rotation = 0;                      // a movie's display rotation, applied
  std::optional<Rational> pixel_aspect;  // when the pixels are not square
  bool variable_rate = false;            // frames picked by presentation time
  Colour colour;                         // as the source declares it (Colour.h)
};

struct RenderRecord {
  Scene scene;
  A_u_long time_scale = 1;
  double comp_fps = 30.0;
  SourceRecord source;
  std::vector<FrameRecord> frames;
};

}  // namespace zelvan::render
