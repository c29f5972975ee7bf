#include "Report.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace zelvan::render {
namespace {

Json TimeJson(const A_Time& t) { return Json::array({t.value, t.scale}); }
// 25, or "30000/1001".
Json RationalJson(const Rational& r) { return r.den == 1 ? Json(r.num) : Json(r.text()); }
Json RectJson(const PF_LRect& r) { return Json::array({r.left, r.top, r.right, r.bottom}); }

// The parameters under their report keys, in the table's order; whole host
// values as integers.
Json ParamsJson(const HostParams& p) {
  Json j = Json::object();
  for (const ParamSpec& row : kParams) {
    if (row.tool.report == nullptr) continue;
    const double v = p[row.index];
    j[row.tool.report] = HostValueIsWhole(row) ? Json(static_cast<A_long>(v)) : Json(v);
  }
  return j;
}

// FFmpeg's name of a colour value, null when it is unspecified.
Json ColourName(bool specified, const char* name) { return specified && name != nullptr ? Json(name) : Json(nullptr); }

// The source's colour under "source", as FFmpeg names it ("bt709", "tv").
void AddColour(const Colour& c, Json& source) {
  source["primaries"] = ColourName(c.primaries != AVCOL_PRI_UNSPECIFIED, av_color_primaries_name(c.primaries));
  source["transfer"] = ColourName(c.transfer != AVCOL_TRC_UNSPECIFIED, av_color_transfer_name(c.transfer));
  source["matrix"] = ColourName(c.matrix != AVCOL_SPC_UNSPECIFIED, av_color_space_name(c.matrix));
  source["range"] = ColourName(c.range != AVCOL_RANGE_UNSPECIFIED, av_color_range_name(c.range));
  source["bits"] = c.bits > 0 ? Json(c.bits) : Json(nullptr);
}

}  // namespace

Json ReportJson(const RenderRecord& r) {
  Json j;
  j["scene"] = r.scene.resolved;
  j["time_scale"] = r.time_scale;
  j["source"] = {{"layer_id", r.source.layer_id},
                 {"in_point", TimeJson(r.source.in_point)},
                 {"duration", TimeJson(r.source.duration)},
                 {"fps", RationalJson(r.source.fps)},
                 {"frames", r.source.frames},
                 {"width", r.source.width},
                 {"height", r.source.height},
                 {"rotation", r.source.rotation},
                 {"pixel_aspect", RationalJson(r.source.pixel_aspect.value_or(Rational{1, 1}))},
                 {"variable_rate", r.source.variable_rate}};
  AddColour(r.source.colour, j["source"]);
  Json frames = Json::array();
  for (const FrameRecord& f : r.frames) {
    Json o;
    o["frame"] = f.frame;
    o["current_time"] = TimeJson(f.current_time);
    o["params"] = ParamsJson(f.params);
    o["layer_time"] = f.layer_time ? TimeJson(*f.layer_time) : Json(nullptr);
    o["source_frame"] = f.source_frame ? Json(*f.source_frame) : Json(nullptr);
    o["copy"] = f.copy ? Json{{"src", RectJson(f.copy->src)}, {"dst", RectJson(f.copy->dst)}} : Json(nullptr);
    o["error"] = f.error;
    o["file"] = f.file;
    o["failure"] = f.footage_failed() ? Json("footage") : f.error != 0 ? Json("plug-in") : Json(nullptr);
    o["footage_error"] = f.footage_failed()
                             ? Json{{"call", f.failed_call},
                                    {"source_frame", f.failed_source_frame ? Json(*f.failed_source_frame) : Json(nullptr)},
                                    {"message", f.footage_error}}
                             : Json(nullptr);
    frames.push_back(std::move(o));
  }
  j["frames"] = std::move(frames);
  return j;
}

}  // namespace zelvan::render
