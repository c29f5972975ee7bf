// zelvan-render: renders a scene through the real plug-in in the simulated
// host and writes frames, previews, a timing chart and a report.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>

#include "Cli.h"
#include "Clip.h"
#include "HostRender.h"
#include "Outputs.h"
#include "Report.h"
#include "Scene.h"

#ifndef ZELVAN_DEFAULT_PLUGIN
#define ZELVAN_DEFAULT_PLUGIN "ZelvanClipCycle.so"
#endif

namespace zelvan::render {
namespace {

class Progress {
 public:
  Progress(int total, bool on) : total_(total), on_(on), start_(Clock::now()), last_(start_) {}
  void Update(int done) {
    if (!on_) return;
    const auto now = Clock::now();
    if (done < total_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    const double secs = std::chrono::duration<double>(now - start_).count();
    const double fps = secs > 0 ? done / secs : 0.0;
    const double eta = fps > 0 ? (total_ - done) / fps : 0.0;
    std::fprintf(stderr, "\rrendering frame %d/%d  %.1f fps  %.1f s left   ", done, total_, fps, eta);
    if (done == total_) std::fprintf(stderr, "\n");
    std::fflush(stderr);
  }

 private:
  using Clock = std::chrono::steady_clock;
  int total_;
  bool on_;
  Clock::time_point start_, last_;
};

std::string FrameName(int k, int frames, FrameFormat format) {
  const int digits = std::max(4, static_cast<int>(std::to_string(std::max(0, frames - 1)).size()));
  std::string n = std::to_string(k);
  return "frame_" + std::string(static_cast<std::size_t>(std::max(0, digits - static_cast<int>(n.size()))), '0') + n +
         Extension(format);
}

int Run(const Options& o) {
  const std::string plugin = o.plugin.empty() ? ZELVAN_DEFAULT_PLUGIN : o.plugin;
  const Json raw = BuildScene(o);

  // Footage is checked whole before anything is written.
  std::optional<FootageInfo> footage;
  std::string path = "builtin";
  if (raw.contains("source") && raw["source"].is_object() && raw["source"].contains("path") &&
      raw["source"]["path"].is_string()) {
    path = raw["source"]["path"].get<std::string>();
  }
  if (path != "builtin" && !path.empty()) footage = ProbeFootage(path);
  Scene scene = ResolveScene(raw, footage ? std::optional<FootageFacts>(footage->facts()) : std::nullopt);
  if (footage && !footage->frames) {
    // A still lasts as long as the composition unless told otherwise.
    if (!scene.source.duration) scene.source.duration = scene.comp.duration;
    scene.resolved["source"]["duration"] = *scene.source.duration;
  }
  if (o.dry_run) {
    std::cout << scene.resolved.dump(2) << "\n";
    return 0;
  }

  std::unique_ptr<Clip> clip;
  if (footage) {
    clip = Clip::Footage(path, *footage);
    const double have = static_cast<double>(clip->frames()) / scene.source.fps.value();
    if (footage->frames && *scene.source.duration > have + 1e-9) {
      std::cerr << "zelvan-render: warning: source.duration " << *scene.source.duration << " s is longer than the footage ("
                << have << " s); its last frame holds\n";
    }
  } else {
    const auto frames = static_cast<int64_t>(std::ceil(*scene.source.duration * scene.source.fps.value() - 1e-9));
    clip = Clip::Builtin(scene.source.width, scene.source.height, frames);
  }

  HostRender render(plugin, scene, *clip);
  const FrameFormat format = FormatFor(scene.format, scene.comp.depth);
  Staging staging(o.out_dir);

  const int n = scene.comp.frames;
  const int ow = static_cast<int>(std::ceil(static_cast<double>(scene.comp.width) / scene.comp.downsample));
  const int oh = static_cast<int>(std::ceil(static_cast<double>(scene.comp.height) / scene.comp.downsample));
  ContactSheet sheet(n, ow, oh);
  GifWriter gif(staging.Path("preview.gif"), ow, oh, scene.comp.fps.value());
  RenderRecord record = render.Record();
  Progress progress(n, !o.quiet && ::isatty(STDERR_FILENO));
  std::vector<int64_t> failed;
  for (int k = 0; k < n; ++k) {
    FrameRecord f = render.RenderFrame(k);
    if (f.error != PF_Err_NONE) failed.push_back(k);
    const PF_EffectWorld* out = render.output();
    f.file = FrameName(k, n, format);
    if (out != nullptr && out->data != nullptr) {
      const std::vector<float> rgba = WorldToRgba(*out);
      WriteImage(staging.Path(f.file), out->width, out->height, rgba, format);
      staging.Add(f.file);
      sheet.Add(k, rgba, out->width, out->height);
      gif.Add(rgba, out->width, out->height);
    } else {
      f.file.clear();
    }
    record.frames.push_back(std::move(f));
    progress.Update(k + 1);
  }
  gif.Close();
  staging.Add("preview.gif");
  sheet.Write(staging.Path("contact_sheet.png"));
  staging.Add("contact_sheet.png");
  staging.WriteText("timing_chart.svg", TimingChartSvg(record));
  staging.WriteText("report.json", ReportJson(record).dump(2) + "\n");
  staging.Commit("frame_");

  if (!failed.empty()) {
    std::cerr << "zelvan-render: warning: the plug-in returned an error at frames " << FrameList(failed)
              << " (see \"error\" in report.json)\n";
  }
  for (const std::string& w : Diagnose(record)) std::cerr << "zelvan-render: warning: " << w << "\n";
  if (!o.quiet) {
    const std::string d = o.out_dir + "/";
    std::cout << "zelvan-render: " << n << " frames " << ow << "x" << oh << " (" << scene.comp.depth << "-bit, "
              << clip->description() << ") -> frames " << d << record.frames.front().file << " .. "
              << record.frames.back().file << ", contact sheet " << d << "contact_sheet.png, GIF " << d
              << "preview.gif, chart " << d << "timing_chart.svg, report " << d << "report.json\n";
  }
  return 0;
}

}  // namespace
}  // namespace zelvan::render

int main(int argc, char** argv) {
  using namespace zelvan::render;
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    const Options o = ParseCommandLine(args);
    if (o.help) {
      std::cout << HelpText(ZELVAN_DEFAULT_PLUGIN);
      return 0;
    }
    return Run(o);
  } catch (const UsageError& e) {
    std::cerr << "zelvan-render: error: " << e.what() << "\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "zelvan-render: error: " << e.what() << "\n";
    return 1;
  }
}
