// zelvan-conformance: one fixed session of the simulated host with a plug-in
// binary, written as a plain-text report. The same session built for Linux
// and for Windows (run under Wine) must write the same report: every host
// call the plug-in made, with its arguments and result, and a checksum of
// every output frame.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "Host.h"
#include "LoadError.h"
#include "HostValues.h"
#include "Params.h"
#include "PixelTestUtil.h"
#include "PixelWorld.h"

namespace {

using zelvan::MakeRect;
using zelvan::MakeScale;
using zelvan::MakeTime;
using zelvan::testhost::FrameRequest;
using zelvan::testhost::FrameToken;
using zelvan::testhost::Host;
using zelvan::testhost::Layer;
namespace px = zelvan::pixels;
using zelvan::pixels::test::DepthName;

constexpr const char kUsage[] =
    "usage: zelvan-conformance PLUGIN [--out FILE]\n"
    "\n"
    "Loads PLUGIN (ZelvanClipCycle.so on Linux, ZelvanClipCycle.aex on Windows)\n"
    "in the simulated host and runs one fixed session: global setup, parameter\n"
    "setup, parameter updates, pre-render and render of frames at 8, 16 and 32\n"
    "bits in every placement mode, frames of part of the layer, of an input that\n"
    "earlier effects grew and at reduced resolutions, frames pre-rendered ahead\n"
    "and rendered out of order, a render whose Layer Suite is refused (the\n"
    "effect must answer 516) and global setdown.\n"
    "\n"
    "The report lists each command's result, each frame's output checksum and\n"
    "every host call the plug-in made. It is written to standard output, or to\n"
    "FILE with --out (replaced only once the session is complete).\n"
    "\n"
    "Exit status: 0 when the session went as a host expects (every command\n"
    "succeeded except the refused render, which returned 516, and everything\n"
    "obtained was given back); 1 when it did not (the report says where);\n"
    "2 for a usage error or a plug-in that cannot be loaded.\n";

std::string Hex(std::uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// One loop setting, in the user's units; the values are exact in 16.16 fixed
// point so that both platforms start from the same bits.
struct Loop {
  const char* name;
  A_long type;
  double angle;
  double waiting_percent;
  A_long range;
  double start, end;  // percent or seconds, after range
  A_long easing_type;
  A_long easing_mode;
};

// Every curve family is reached once, so that the platform's mathematical
// functions (pow, sin, cos, sqrt) all contribute to the times checked out.
const Loop kLoops[] = {
    {"cycle-linear", zelvan::kLoopCycle, 90.0, 0.0, zelvan::kRangePercent, 0.0, 100.0, 1, 3},
    {"pingpong-sine-hold", zelvan::kLoopPingpong, 200.0, 25.0, zelvan::kRangePercent, 10.0, 90.0, 8, 3},
    {"cycle-expo-in", zelvan::kLoopCycle, 450.0, 12.5, zelvan::kRangePercent, 0.0, 100.0, 6, 1},
    {"pingpong-bounce-seconds", zelvan::kLoopPingpong, 1000.0, 0.0, zelvan::kRangeSecond, 1.5, 7.25, 9, 2},
    {"cycle-circ-out", zelvan::kLoopCycle, 135.5, 50.0, zelvan::kRangeSecond, 0.5, 4.0, 7, 2},
    {"cycle-quint-back", zelvan::kLoopCycle, 300.0, 5.0, zelvan::kRangePercent, 100.0, 0.0, 5, 3},
};
const A_long kModes[] = {zelvan::kModeCenter, zelvan::kModeWhole, zelvan::kModeNoMargin, zelvan::kModeFitToLayer};
const px::Depth kDepths[] = {px::Depth::k8, px::Depth::k16, px::Depth::kFloat};
const A_long kTimes[] = {0, 17, 44};

constexpr AEGP_LayerIDVal kSourceLayer = 7;

// Worlds as a host hands them: part of the layer asked for, an input grown by
// the effects before this one, reduced resolutions, a result rectangle the
// host starts wider. Mode 0 chooses no layer, so the input passes through.
struct World {
  const char* name;
  A_long mode;
  bool part;  // the host asks for the middle of the layer only
  A_long grow;
  A_u_long ds_x, ds_y;
  bool wider_result;
};

const World kWorlds[] = {
    {"part-of-layer", zelvan::kModeWhole, true, 0, 1, 1, false},
    {"grown", zelvan::kModeNoMargin, false, 6, 1, 1, false},
    {"grown-part-center", zelvan::kModeCenter, true, 6, 1, 1, false},
    {"grown-pass-through", 0, false, 6, 1, 1, false},
    {"half", zelvan::kModeWhole, false, 0, 2, 2, false},
    {"third-by-quarter", zelvan::kModeCenter, false, 0, 3, 4, false},
    {"quarter-by-whole-grown", zelvan::kModeFitToLayer, false, 5, 4, 1, false},
    {"whole-by-third-part", zelvan::kModeNoMargin, true, 0, 1, 3, false},
    {"wider-result", zelvan::kModeWhole, false, 0, 1, 1, true},
    {"wider-result-pass-through", 0, false, 0, 2, 1, true},
};

class Session {
 public:
  explicit Session(const std::string& plugin_path) : host_(plugin_path) {}

  // Runs every step; the report holds what each gave.
  void Run() {
    Expect("GlobalSetup", host_.GlobalSetup(), PF_Err_NONE);
    Expect("ParamsSetup", host_.ParamsSetup(), PF_Err_NONE);
    Line("num_params " + std::to_string(host_.learned().num_params_reported.value_or(-1)));

    // The effect sits on a 64 x 36 layer; the clip it shows is larger and of
    // another shape, so every placement mode scales and crops differently.
    host_.comp().effect_layer().width = 64;
    host_.comp().effect_layer().height = 36;
    Layer clip;
    clip.id = kSourceLayer;
    clip.name = "Clip";
    clip.width = 96;
    clip.height = 40;
    clip.in_point = MakeTime(15, 30);
    clip.duration = MakeTime(240, 30);
    host_.comp().AddLayer(clip);
    // The effect's layer starts late and its own time runs from earlier, so
    // composition and layer time differ; "Layer" names the clip from layer
    // time 10 on, so reading it at the wrong time shows.
    host_.comp().effect_layer().in_point = MakeTime(4, 30);
    host_.comp().effect_layer().start_offset = MakeTime(-6, 30);
    host_.params().SetKeyframes(zelvan::kParamLayer,
                                {{MakeTime(0, 30), 0.0}, {MakeTime(10, 30), double(kSourceLayer)}});

    for (const Loop& loop : kLoops) {
      Apply(loop);
      Expect(std::string("UpdateParamsUI ") + loop.name, host_.UpdateParamsUI(), PF_Err_NONE);
      Line("hidden start%=" + std::to_string(host_.params().Hidden(zelvan::kParamStartPercent)) +
           " start(sec)=" + std::to_string(host_.params().Hidden(zelvan::kParamStartSeconds)));
      for (const px::Depth depth : kDepths) {
        for (const A_long mode : kModes) {
          host_.params().SetValue(zelvan::kParamMode, mode);
          for (const A_long time : kTimes) Frame(loop.name, depth, mode, time, PF_Err_NONE);
        }
      }
    }

    host_.params().SetValue(zelvan::kParamLayer, kSourceLayer);
    for (const World& w : kWorlds) WorldFrame(w);
    host_.comp().effect_layer().grown_left = host_.comp().effect_layer().grown_top = 0;
    host_.comp().effect_layer().grown_right = host_.comp().effect_layer().grown_bottom = 0;
    host_.SetDownsample(MakeScale(1, 1), MakeScale(1, 1));
    host_.params().SetValue(zelvan::kParamLayer, kSourceLayer);
    host_.params().SetValue(zelvan::kParamMode, zelvan::kModeWhole);
    FramesInFlight();

    // A host that cannot lend the Layer Suite mid-render: the effect must
    // answer 516 and give back everything it had obtained.
    host_.faults().RefuseSuite("AEGP Layer Suite", 13, 0x99, 1);
    Frame("refused-layer-suite", px::Depth::k16, zelvan::kModeWhole, 12, PF_Err_BAD_CALLBACK_PARAM);
    host_.faults().Clear();
    // And the next frame renders as if nothing had happened.
    Frame("after-refusal", px::Depth::k16, zelvan::kModeWhole, 12, PF_Err_NONE);

    Expect("GlobalSetdown", host_.GlobalSetdown(), PF_Err_NONE);
    const std::string imbalance = host_.accounts().Imbalance();
    if (imbalance.empty()) {
      Line("accounts balanced");
    } else {
      Fail("accounts not balanced:\n" + imbalance);
    }

    Line("trace " + std::to_string(host_.trace().size()) + " calls");
    for (const auto& entry : host_.trace().entries()) {
      Line("  " + std::to_string(entry.command) + " " + entry.Text() + " -> " + std::to_string(entry.result) +
           (entry.failed_by_fault ? " (fault)" : ""));
    }
  }

  bool ok() const { return failures_ == 0; }
  const std::string& report() const { return report_; }

 private:
  void Apply(const Loop& l) {
    host_.params().SetValue(zelvan::kParamType, l.type);
    // The angle turns as time goes on, so each rendered time shows another
    // point of the loop (1.5 turns over two seconds).
    host_.params().SetKeyframes(zelvan::kParamTime, {{MakeTime(0, 30), l.angle}, {MakeTime(60, 30), l.angle + 540.0}});
    host_.params().SetValue(zelvan::kParamWaitingTime, l.waiting_percent);
    host_.params().SetValue(zelvan::kParamRangeType, l.range);
    if (l.range == zelvan::kRangePercent) {
      host_.params().SetValue(zelvan::kParamStartPercent, l.start);
      host_.params().SetValue(zelvan::kParamEndPercent, l.end);
    } else {
      host_.params().SetValue(zelvan::kParamStartSeconds, l.start);
      host_.params().SetValue(zelvan::kParamEndSeconds, l.end);
    }
    host_.params().SetValue(zelvan::kParamEasingType, l.easing_type);
    host_.params().SetValue(zelvan::kParamEasingMode, l.easing_mode);
  }

  void Frame(const char* name, px::Depth depth, A_long mode, A_long time, PF_Err expected) {
    FrameRequest request;
    request.time = time;
    request.depth = depth;
    const PF_Err err = host_.frames().RenderFrame(request);
    std::ostringstream line;
    line << "frame " << name << " depth=" << DepthName(depth) << " mode=" << mode << " time=" << time << " -> "
         << err;
    Line(line.str() + Geometry());
    Check(std::string("frame ") + name, err, expected);
  }

  void WorldFrame(const World& w) {
    zelvan::testhost::Layer& effect = host_.comp().effect_layer();
    effect.grown_left = effect.grown_top = effect.grown_right = effect.grown_bottom = w.grow;
    host_.SetDownsample(MakeScale(1, w.ds_x), MakeScale(1, w.ds_y));
    host_.params().SetValue(zelvan::kParamLayer, w.mode == 0 ? 0 : kSourceLayer);
    if (w.mode != 0) host_.params().SetValue(zelvan::kParamMode, w.mode);
    FrameRequest request;
    request.time = 33;
    request.depth = px::Depth::k16;
    if (w.part) request.rect = MakeRect(0, 2, 20, 6);
    if (w.wider_result) request.result_rect = MakeRect(-10, -4, 20, 20);
    const PF_Err err = host_.frames().RenderFrame(request);
    Line("world " + std::string(w.name) + " -> " + std::to_string(err) + Geometry());
    Check(std::string("world ") + w.name, err, PF_Err_NONE);
  }

  // Five frames pre-rendered ahead; three rendered out of order, two never;
  // released in yet another order, the last by the set-down.
  void FramesInFlight() {
    const int released_before = host_.frames().pre_render_data_deleted();
    const A_long times[] = {3, 12, 21, 30, 39};
    FrameToken frames[5];
    for (int i = 0; i < 5; ++i) {
      FrameRequest request;
      request.time = times[i];
      request.depth = kDepths[i % 3];
      const PF_Err err = host_.frames().PreRenderFrame(request, &frames[i]);
      Line("in flight pre-render " + std::to_string(i) + " time=" + std::to_string(times[i]) + " -> " +
           std::to_string(err));
      if (err != PF_Err_NONE) Fail("pre-render of frame " + std::to_string(i) + " in flight returned " + std::to_string(err));
    }
    for (int i : {3, 0, 4}) {
      const PF_Err err = host_.frames().Render(frames[i]);
      Line("in flight render " + std::to_string(i) + " -> " + std::to_string(err) + Geometry());
      Check("render of frame " + std::to_string(i) + " in flight", err, PF_Err_NONE);
    }
    for (int i : {4, 1, 0, 2}) host_.frames().Release(frames[i]);
    Line("in flight released " + std::to_string(host_.frames().pre_render_data_deleted() - released_before) +
         ", still in flight " + std::to_string(host_.frames().in_flight().size()));
  }

  // Where the last output lay and what it held.
  std::string Geometry() {
    std::ostringstream line;
    for (const PF_RenderRequest& r : host_.frames().layer_checkout_requests()) {
      line << " request=" << r.rect.left << "," << r.rect.top << "," << r.rect.right << "," << r.rect.bottom;
    }
    const px::PixelWorld* out = host_.frames().last_output();
    if (out != nullptr) {
      line << " output=" << out->width() << "x" << out->height() << "@" << out->world()->origin_x << ","
           << out->world()->origin_y;
      if (host_.frames().last_output_written()) line << " " << Hex(px::Checksum(*out->world()));
    }
    return line.str();
  }

  void Check(const std::string& what, PF_Err err, PF_Err expected) {
    if (err != expected) {
      Fail(what + " returned " + std::to_string(err) + ", expected " + std::to_string(expected));
    } else if (expected == PF_Err_NONE && !host_.frames().last_output_written()) {
      Fail(what + " left its output unwritten");
    }
  }

  void Expect(const std::string& what, PF_Err err, PF_Err expected) {
    Line(what + " -> " + std::to_string(err));
    if (err != expected) Fail(what + " returned " + std::to_string(err) + ", expected " + std::to_string(expected));
  }

  void Line(const std::string& text) { report_ += text + "\n"; }
  void Fail(const std::string& why) {
    ++failures_;
    Line("FAILED: " + why);
    std::cerr << "zelvan-conformance: " << why << "\n";
  }

  Host host_;
  std::string report_;
  int failures_ = 0;
};

// Writes beside the target, then renames, so a cut-short run leaves no
// half-written report behind.
bool WriteReport(const std::string& path, const std::string& text) {
  const std::string partial = path + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) return false;
  }
  std::remove(path.c_str());
  return std::rename(partial.c_str(), path.c_str()) == 0;
}

int Main(int argc, char** argv) {
  std::string plugin, out_path;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--out" && i + 1 < argc) {
      out_path = argv[++i];
    } else if (!arg.empty() && arg[0] != '-' && plugin.empty()) {
      plugin = arg;
    } else {
      std::cerr << "zelvan-conformance: unexpected argument '" << arg << "'\n\n" << kUsage;
      return 2;
    }
  }
  if (plugin.empty()) {
    std::cerr << "zelvan-conformance: no plug-in given\n\n" << kUsage;
    return 2;
  }

  try {
    Session session(plugin);
    std::cerr << "zelvan-conformance: loaded " << plugin << " ("
              << zelvan::testhost::platform::PluginFileKind() << ")\n";
    session.Run();
    if (out_path.empty()) {
      std::cout << session.report();
    } else if (!WriteReport(out_path, session.report())) {
      std::cerr << "zelvan-conformance: cannot write " << out_path << ": check that its folder exists and is writable\n";
      return 2;
    }
    return session.ok() ? 0 : 1;
  } catch (const zelvan::testhost::LoadError& e) {
    std::cerr << "zelvan-conformance: " << e.what() << "\n";
    return 2;
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "zelvan-conformance: the session stopped: " << e.what() << "\n";
    return 1;
  }
}
