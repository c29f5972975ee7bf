// zelvan-render: renders a scene through the real plug-in in the simulated
// host and writes frames, previews, a timing chart and a report, or the loop
// as one movie.
#include <signal.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

#include "Cli.h"
#include "Clip.h"
#include "FrameWriter.h"
#include "HostRender.h"
#include "MovieEncoder.h"
#include "OutputFile.h"
#include "OutputFolder.h"
#include "OutputMovie.h"
#include "Outputs.h"
#include "Previews.h"
#include "Report.h"
#include "Scene.h"
#include "StopSignals.h"

#ifndef ZELVAN_DEFAULT_PLUGIN
#define ZELVAN_DEFAULT_PLUGIN "ZelvanClipCycle.so"
#endif
#ifndef ZELVAN_VERSION
#define ZELVAN_VERSION "unknown"
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

// How the frame writer may hold frames: each waits whole in memory, in the
// file's channel type, so at most about 256 MB of them are held at once. A
// frame too large for three (4K float) is made only once the one before is
// written, while the next renders.
struct WriterShape {
  int threads;
  std::size_t waiting;
  bool one_at_a_time;
};

WriterShape ShapeWriter(int width, int height, FrameFormat format, int cores) {
  const std::size_t bytes =
      static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4 * ChannelBytes(format);
  const std::size_t held = std::max<std::size_t>(1, (std::size_t{256} << 20) / std::max<std::size_t>(bytes, 1));
  const auto c = static_cast<std::size_t>(cores);
  if (held >= 2 * c + 2) return WriterShape{cores, c + 1, false};  // one being written a core, a core and one more waiting
  if (held < 3) return WriterShape{1, 1, true};
  const std::size_t threads = std::min<std::size_t>((held - 1) / 2, c);
  return WriterShape{static_cast<int>(threads), held - 1 - threads, false};
}

// Ctrl-C or SIGTERM: the staging folder goes (the OutputFolder's destructor),
// the folder stays as it was.
int Stopped(int signal) {
  std::cerr << "\nzelvan-render: stopped by " << (signal == SIGINT ? "Ctrl-C" : "SIGTERM")
            << "; the output folder is left as it was\n";
  return StopSignals::ExitStatus(signal);
}

int Run(const Options& o) {
  const std::string plugin = o.plugin.empty() ? ZELVAN_DEFAULT_PLUGIN : o.plugin;
  const Json raw = BuildScene(o);

  // Footage is checked whole before anything is written.
  std::optional<FootageInfo> footage;
  std::string path = kBuiltinClip;
  if (raw.contains("source") && raw["source"].is_object() && raw["source"].contains("path") &&
      raw["source"]["path"].is_string()) {
    path = raw["source"]["path"].get<std::string>();
  }
  if (path != kBuiltinClip && !path.empty()) footage = ProbeFootage(path);
  if (footage) {
    for (const std::string& w : footage->warnings) std::cerr << "zelvan-render: warning: " << w << "\n";
  }
  Scene scene =
      ResolveScene(raw, footage ? std::optional<FootageFacts>(footage->facts()) : std::nullopt, o.play_once);
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
    clip->SetCacheBudget(o.cache_mb << 20);
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
  std::vector<std::size_t> calls_before_refusal;
  for (const std::string& f : o.refuse_calls) calls_before_refusal.push_back(render.CallCount(f));
  render.RefuseCalls(o.refuse_calls);
  const FrameFormat format = FormatFor(scene.format, scene.comp.depth);
  const int n = scene.comp.frames;
  const int ow = static_cast<int>(std::ceil(static_cast<double>(scene.comp.width) / scene.comp.downsample));
  const int oh = static_cast<int>(std::ceil(static_cast<double>(scene.comp.height) / scene.comp.downsample));

  // From here on Ctrl-C and SIGTERM stop the run cleanly.
  const StopSignals stop;
  const std::vector<std::string> inputs = footage ? footage->files : std::vector<std::string>{};
  // --out NAME.mp4, .mov or .mkv: the loop as one movie, and no other file.
  const std::optional<MovieKind> movie_kind = MovieKindOf(o.out_dir);
  std::optional<OutputMovie> movie_file;
  std::optional<MovieEncoder> movie;
  std::optional<OutputFolder> folder;
  std::unique_ptr<Previews> previews;
  std::optional<FrameWriter> writer;
  // The frames are encoded on the other cores while the next ones render.
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const WriterShape shape = ShapeWriter(ow, oh, format, cores);
  if (movie_kind) {
    if (raw.contains("format")) {
      std::cerr << "zelvan-render: note: format " << scene.format
                << " is for frame files; the movie's format follows its extension\n";
    }
    movie_file.emplace(o.out_dir, o.overwrite, inputs);
    for (const std::string& left : movie_file->abandoned()) {
      std::cerr << "zelvan-render: note: " << left << " was left by a run that was killed; remove it with rm\n";
    }
    movie.emplace(movie_file->temp(), movie_file->path(),
                  MovieSettings{*movie_kind, ow, oh, scene.comp.depth, scene.comp.fps, o.crf.value_or(kDefaultCrf)});
  } else {
    // Every name this run writes is claimed before anything renders.
    std::vector<std::string> names;
    for (int k = 0; k < n; ++k) names.push_back(FrameName(k, n, format));
    if (!o.no_previews) {
      names.push_back("contact_sheet.png");
      names.push_back("preview.gif");
    }
    names.push_back("timing_chart.svg");
    names.push_back("report.json");
    folder.emplace(o.out_dir, o.overwrite);
    folder->Claim(names, inputs);
    for (const std::string& left : folder->abandoned_staging()) {
      std::cerr << "zelvan-render: note: " << left << " was left by a run that was killed; remove it with rm -r\n";
    }
    if (!o.no_previews) {
      previews = std::make_unique<Previews>(folder->Path("preview.gif"), folder->Shown("preview.gif"), n, ow, oh,
                                            scene.comp.fps.value());
    }
    writer.emplace(shape.threads, shape.waiting);
  }
  RenderRecord record = render.Record();
  Progress progress(n, !o.quiet && ::isatty(STDERR_FILENO));
  std::vector<int64_t> plugin_failed, footage_failed;
  const std::string keep_going =
      movie ? "render frames into a folder (--out DIR) with --keep-going" : "pass --keep-going";
  for (int k = 0; k < n; ++k) {
    if (const int sig = StopSignals::pending()) return Stopped(sig);
    FrameRecord f = render.RenderFrame(k);
    if (f.footage_failed()) {
      footage_failed.push_back(k);
      if (!o.keep_going) {
        std::cerr << "zelvan-render: error: " << f.footage_error << ", at composition frame " << k
                  << ". Fix: repair or re-export the footage, or " << keep_going << " to render the other frames and "
                     "mark this one. The output folder is left as it was\n";
        return kExitFootage;
      }
    } else if (f.error != PF_Err_NONE) {
      plugin_failed.push_back(k);
      if (!o.keep_going) {
        std::cerr << "zelvan-render: error: the plug-in failed composition frame " << k << " with host error "
                  << f.error << (o.refuse_calls.empty() ? "" : ", after the host refused the calls of --refuse-call")
                  << ". Fix: " << keep_going << " to render the other frames and find this one marked in "
                     "report.json. The output folder is left as it was\n";
        return kExitPlugin;
      }
    }
    const PF_EffectWorld* out = render.output();
    const bool picture = out != nullptr && out->data != nullptr;
    if (movie) {
      if (!picture) throw std::runtime_error("composition frame " + std::to_string(k) + " rendered no picture");
      movie->Add(*out);
    } else if (f.file = FrameName(k, n, format); picture) {
      if (shape.one_at_a_time) writer->Finish();
      writer->Submit([&] {
        FrameImage image = ImageOf(*out, format);
        image.file = folder->Path(f.file);
        image.shown = folder->Shown(f.file);
        return image;
      }());
      folder->Add(f.file);
      if (previews) previews->Add(k, *out, f.failed());
    } else {
      f.file.clear();
      if (previews) previews->Add(k, PF_EffectWorld{}, f.failed());
    }
    record.frames.push_back(std::move(f));
    progress.Update(k + 1);
  }
  if (movie) {
    movie->Finish();
    if (const int sig = StopSignals::pending()) return Stopped(sig);
    movie_file->Commit();
  } else {
    writer->Finish();
    if (const int sig = StopSignals::pending()) return Stopped(sig);
    if (previews) {
      previews->Finish(folder->Path("contact_sheet.png"), folder->Shown("contact_sheet.png"));
      folder->Add("preview.gif");
      folder->Add("contact_sheet.png");
    }
    folder->WriteText("timing_chart.svg", TimingChartSvg(record));
    folder->WriteText("report.json", ReportJson(record).dump(2) + "\n");
    if (const int sig = StopSignals::pending()) return Stopped(sig);
    folder->Commit();
  }

  if (!footage_failed.empty()) {
    const FrameRecord& first = record.frames[static_cast<std::size_t>(footage_failed.front())];
    std::cerr << "zelvan-render: warning: footage errors at composition frames " << FrameList(footage_failed)
              << ", the first: " << first.footage_error
              << "; the frames are marked in report.json (\"footage_error\"), the chart and the contact sheet\n";
  }
  if (!plugin_failed.empty()) {
    std::cerr << "zelvan-render: warning: the plug-in returned an error at frames " << FrameList(plugin_failed)
              << "; the frames are marked in report.json (\"error\"), the chart and the contact sheet\n";
  }
  for (std::size_t i = 0; i < o.refuse_calls.size(); ++i) {
    if (render.CallCount(o.refuse_calls[i]) == calls_before_refusal[i]) {
      std::cerr << "zelvan-render: warning: --refuse-call " << o.refuse_calls[i]
                << ": the plug-in never called it while rendering (is the name spelt as in report.json?)\n";
    }
  }
  for (const std::string& w : Diagnose(record)) std::cerr << "zelvan-render: warning: " << w << "\n";
  if (movie && *movie_kind == MovieKind::kMp4 && movie->first_translucent()) {
    std::cerr << "zelvan-render: note: the render has pixels with alpha below 1 (first at frame "
              << *movie->first_translucent() << "); an .mp4 has no alpha, so " << o.out_dir
              << " shows them over black. Write a .mov or .mkv to keep the alpha\n";
  }
  const std::vector<std::string> kept = folder ? folder->kept() : std::vector<std::string>{};
  if (!kept.empty()) {
    std::cerr << "zelvan-render: note: " << kept.size() << " file" << (kept.size() == 1 ? "" : "s")
              << " of an earlier run stay in " << o.out_dir << " (" << kept.front() << (kept.size() > 1 ? ", ..." : "")
              << "); the tool removes only what it writes in this run\n";
  }
  if (!o.quiet && movie) {
    std::cout << "zelvan-render: " << n << " frames " << ow << "x" << oh << " (" << scene.comp.depth << "-bit, "
              << clip->description() << ") -> movie " << o.out_dir << " (" << movie->description() << ")\n";
  } else if (!o.quiet) {
    const std::string d = o.out_dir + "/";
    std::cout << "zelvan-render: " << n << " frames " << ow << "x" << oh << " (" << scene.comp.depth << "-bit, "
              << clip->description() << ") -> frames " << d << record.frames.front().file << " .. "
              << record.frames.back().file;
    if (previews) std::cout << ", contact sheet " << d << "contact_sheet.png, GIF " << d << "preview.gif";
    std::cout << ", chart " << d << "timing_chart.svg, report " << d << "report.json\n";
  }
  // Written, but not every frame: a script must not take it for a whole render.
  return footage_failed.empty() && plugin_failed.empty() ? kExitDone : kExitFramesFailed;
}

}  // namespace
}  // namespace zelvan::render

int main(int argc, char** argv) {
  using namespace zelvan::render;
#if defined(__GLIBC__)
  // Every frame allocates and frees worlds of the same few sizes. Kept in the
  // heap, their pages are reused; handed back to the system after each frame,
  // every new world would fault its pages in again. Worlds beyond 64 MB (4K
  // at 16 bits and float) are handed back: held in the heap, their holes
  // would grow it by gigabytes.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
#endif
  // Past a file-size limit (ulimit -f) a write then fails with EFBIG, which
  // the run reports and cleans up after, instead of being killed mid-file.
  signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    const Options o = ParseCommandLine(args);
    if (o.help) {
      std::cout << HelpText(ZELVAN_DEFAULT_PLUGIN);
      return 0;
    }
    if (o.version) {
      std::cout << "zelvan-render " << ZELVAN_VERSION << "\n";
      return 0;
    }
    return Run(o);
  } catch (const UsageError& e) {
    std::cerr << "zelvan-render: error: " << e.what() << "\n";
    return kExitBadInput;
  } catch (const WriteError& e) {
    std::cerr << "zelvan-render: error: " << e.what() << ". The output folder is left as it was\n";
    return kExitWrite;
  } catch (const std::exception& e) {
    std::cerr << "zelvan-render: error: " << e.what() << "\n";
    return kExitFailure;
  }
}
