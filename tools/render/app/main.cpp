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

#include "Cli.h"
#include "Help.h"
#include "ClipFrame.h"
#include "Clip.h"
#include "Diagnose.h"
#include "FindLoop.h"
#include "FootageError.h"
#include "FrameFormat.h"
#include "FrameWriter.h"
#include "HostRender.h"
#include "MovieEncoder.h"
#include "MoviePlan.h"
#include "Translucent.h"
#include "OutputFile.h"
#include "OutputFolder.h"
#include "OutputMovie.h"
#include "OutputNames.h"
#include "Previews.h"
#include "Probed.h"
#include "Progress.h"
#include "Report.h"
#include "Scene.h"
#include "SceneFields.h"
#include "StopSignals.h"
#include "TimingChart.h"

#ifndef ZELVAN_DEFAULT_PLUGIN
#define ZELVAN_DEFAULT_PLUGIN "ZelvanClipCycle.so"
#endif
#ifndef ZELVAN_VERSION
#define ZELVAN_VERSION "unknown"
#endif

namespace zelvan::render {
namespace {

// What a run that stops early leaves: the output folder as it was (its
// staging folder goes with the OutputFolder), or no movie.
std::string LeftAsItWas(const std::string& out) {
  return MovieContainerOf(out) != nullptr ? "No movie is written" : "The output folder is left as it was";
}

// Ctrl-C or SIGTERM.
int Stopped(const Options& o, int signal) {
  std::cerr << "\nzelvan-render: stopped by " << (signal == SIGINT ? "Ctrl-C" : "SIGTERM") << ". "
            << LeftAsItWas(o.out_dir) << "\n";
  return StopSignals::ExitStatus(signal);
}

// Where a run writes: a movie (--out NAME.mp4, .webm, .mov, .mkv or .gif,
// and no other file), or a folder of frames, previews, chart and report. The
// movie's encoder opens on the first frame, which decides a kind that follows
// the render's alpha. The members go in the reverse of their order when the
// run ends or stops: the frame writer and the previews finish before the
// folder or the movie gives up its place.
struct Output {
  Output(const Options& o, const Scene& scene)
      : format(FormatFor(scene.format, scene.comp.depth)),
        frames(scene.comp.frames),
        width(RenderedSize(scene.comp.width, scene.comp.downsample)),
        height(RenderedSize(scene.comp.height, scene.comp.downsample)),
        // The frames are encoded on the other cores while the next ones render.
        shape(ShapeWriter(width, height, format, MachineCores())),
        movie_container(MovieContainerOf(o.out_dir)) {}
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  const FrameFormat format;
  const int frames, width, height;
  const WriterShape shape;
  const MovieContainer* const movie_container;
  std::optional<MoviePlan> plan;
  Colour held;  // the colour the render holds: the movie's tags
  std::optional<OutputMovie> movie_file;
  std::optional<MovieEncoder> movie;
  std::optional<OutputFolder> folder;
  std::unique_ptr<Previews> previews;
  std::optional<FrameWriter> writer;
};

// Claims the movie's place, or every name the run writes in the folder,
// before anything renders; a movie is tagged with the colour the render holds.
void ClaimTheOutputPlace(const Options& o, const Probed& p, const Colour& held, Output& out) {
  const std::vector<std::string> inputs = p.footage ? p.footage->files : std::vector<std::string>{};
  const Scene& scene = p.scene;
  if (out.movie_container != nullptr) {
    if (p.raw.contains(FieldOf(Field::kFormat).name)) {
      std::cerr << "zelvan-render: note: format " << scene.format
                << " is for frame files; the movie's format follows its extension\n";
    }
    out.plan.emplace(o, scene, *out.movie_container, MovieFootage(p));
    out.held = held;
    out.movie_file.emplace(o.out_dir, o.overwrite, inputs);
    for (const std::string& left : out.movie_file->abandoned()) {
      std::cerr << "zelvan-render: note: " << left << " was left by a run that was killed; remove it with rm\n";
    }
    return;
  }
  std::vector<std::string> writes;
  for (int k = 0; k < out.frames; ++k) writes.push_back(FrameName(k, out.frames, out.format));
  if (!o.no_previews) {
    writes.push_back(names::kContactSheet);
    writes.push_back(names::kPreviewGif);
  }
  writes.push_back(names::kTimingChart);
  writes.push_back(names::kReport);
  out.folder.emplace(o.out_dir, o.overwrite);
  out.folder->Claim(writes, inputs);
  for (const std::string& left : out.folder->abandoned_staging()) {
    std::cerr << "zelvan-render: note: " << left << " was left by a run that was killed; remove it with rm -r\n";
  }
  if (!o.no_previews) {
    out.previews = std::make_unique<Previews>(out.folder->Path(names::kPreviewGif), out.folder->Shown(names::kPreviewGif),
                                              out.frames, out.width, out.height, scene.comp.fps.value());
  }
  out.writer.emplace(out.shape.threads, out.shape.waiting);
}

// What the host saw of each frame, and the frames that failed.
struct Rendered {
  RenderRecord record;
  std::vector<int64_t> plugin_failed, footage_failed;
};

// Says why composition frame k failed and what to do; the run's exit status.
int FrameFailure(const Options& o, int k, const FrameRecord& f) {
  const std::string keep_going = MovieContainerOf(o.out_dir) != nullptr
                                     ? "render frames into a folder (--out DIR) with --keep-going"
                                     : "pass --keep-going";
  if (f.footage_failed()) {
    std::cerr << "zelvan-render: error: " << f.footage_error << ", at composition frame " << k
              << ". Fix: repair or re-export the footage, or " << keep_going
              << " to render the other frames and mark this one. " << LeftAsItWas(o.out_dir) << "\n";
    return kExitFootage;
  }
  std::cerr << "zelvan-render: error: the plug-in failed composition frame " << k << " with host error " << f.error
            << (o.refuse_calls.empty() ? "" : ", after the host refused the calls of --refuse-call")
            << ". Fix: " << keep_going << " to render the other frames and find this one marked in " << names::kReport
            << ". " << LeftAsItWas(o.out_dir) << "\n";
  return kExitPlugin;
}

// Renders every frame into the output. The exit status when the run stops
// early: a signal, or a failed frame without --keep-going.
std::optional<int> RenderTheFrames(const Options& o, HostRender& render, Output& out, Rendered& done) {
  Progress progress(out.frames, !o.quiet && ::isatty(STDERR_FILENO));
  for (int k = 0; k < out.frames; ++k) {
    if (const int sig = StopSignals::pending()) return Stopped(o, sig);
    FrameRecord f = render.RenderFrame(k);
    if (f.footage_failed()) done.footage_failed.push_back(k);
    if (!f.footage_failed() && f.error != PF_Err_NONE) done.plugin_failed.push_back(k);
    if (f.failed() && !o.keep_going) return FrameFailure(o, k, f);
    const PF_EffectWorld* world = render.output();
    const bool picture = world != nullptr && world->data != nullptr;
    if (out.movie_file) {
      if (!picture) throw std::runtime_error("composition frame " + std::to_string(k) + " rendered no picture");
      if (!out.movie) {
        const MovieSettings settings = out.plan->Settings(HasTranslucentPixel(*world), out.held);
        out.movie.emplace(out.movie_file->temp(), out.movie_file->path(), settings);
      }
      out.movie->Add(*world);
    } else if (f.file = FrameName(k, out.frames, out.format); picture) {
      if (out.shape.one_at_a_time) out.writer->Finish();
      out.writer->Submit([&] {
        FrameImage image = ImageOf(*world, out.format);
        image.file = out.folder->Path(f.file);
        image.shown = out.folder->Shown(f.file);
        return image;
      }());
      out.folder->Add(f.file);
      if (out.previews) out.previews->Add(k, *world, f.failed());
    } else {
      f.file.clear();
      if (out.previews) out.previews->Add(k, PF_EffectWorld{}, f.failed());
    }
    done.record.frames.push_back(std::move(f));
    progress.Update(k + 1);
  }
  return std::nullopt;
}

// Finishes the movie, or the frames, previews, chart and report, and moves
// them into place. The exit status when a signal stops the run first.
std::optional<int> WriteTheOutputs(const Options& o, Output& out, const RenderRecord& record) {
  if (out.movie_file) {
    out.movie->Finish();
    if (const int sig = StopSignals::pending()) return Stopped(o, sig);
    out.movie_file->Commit();
    return std::nullopt;
  }
  out.writer->Finish();
  if (const int sig = StopSignals::pending()) return Stopped(o, sig);
  if (out.previews) {
    out.previews->Finish(out.folder->Path(names::kContactSheet), out.folder->Shown(names::kContactSheet));
    out.folder->Add(names::kPreviewGif);
    out.folder->Add(names::kContactSheet);
  }
  out.folder->WriteText(names::kTimingChart, TimingChartSvg(record));
  out.folder->WriteText(names::kReport, ReportJson(record).dump(2) + "\n");
  if (const int sig = StopSignals::pending()) return Stopped(o, sig);
  out.folder->Commit();
  return std::nullopt;
}

// The warnings about the run, the summary line and the exit status.
int TellTheOutcome(const Options& o, const Scene& scene, const Clip& clip, const HostRender& render,
                   const std::vector<std::size_t>& calls_before_refusal, const Output& out, const Rendered& done) {
  const RenderRecord& record = done.record;
  if (!done.footage_failed.empty()) {
    const FrameRecord& first = record.frames[static_cast<std::size_t>(done.footage_failed.front())];
    std::cerr << "zelvan-render: warning: footage errors at composition frames " << FrameList(done.footage_failed)
              << ", the first: " << first.footage_error
              << "; the frames are marked in " << names::kReport
              << " (\"footage_error\"), the chart and the contact sheet\n";
  }
  if (!done.plugin_failed.empty()) {
    std::cerr << "zelvan-render: warning: the plug-in returned an error at frames " << FrameList(done.plugin_failed)
              << "; the frames are marked in " << names::kReport << " (\"error\"), the chart and the contact sheet\n";
  }
  for (std::size_t i = 0; i < o.refuse_calls.size(); ++i) {
    if (render.CallCount(o.refuse_calls[i]) == calls_before_refusal[i]) {
      std::cerr << "zelvan-render: warning: --refuse-call " << o.refuse_calls[i]
                << ": the plug-in never called it while rendering (is the name spelt as in " << names::kReport << "?)\n";
    }
  }
  for (const std::string& w : Diagnose(record)) std::cerr << "zelvan-render: warning: " << w << "\n";
  if (const std::string over_black = out.movie ? out.plan->OverBlack(*out.movie, o.out_dir) : ""; !over_black.empty()) {
    std::cerr << "zelvan-render: note: " << over_black << "\n";
  }
  const std::vector<std::string> kept = out.folder ? out.folder->kept() : std::vector<std::string>{};
  if (!kept.empty()) {
    std::cerr << "zelvan-render: note: " << kept.size() << " file" << (kept.size() == 1 ? "" : "s")
              << " of an earlier run stay in " << o.out_dir << " (" << kept.front() << (kept.size() > 1 ? ", ..." : "")
              << "); the tool removes only what it writes in this run\n";
  }
  if (!o.quiet) {
    std::cout << "zelvan-render: " << out.frames << " frames " << out.width << "x" << out.height << " ("
              << scene.comp.depth << "-bit, " << clip.description() << ") -> ";
  }
  if (!o.quiet && out.movie) {
    std::cout << "movie " << o.out_dir << " (" << out.movie->description() << ")\n";
  } else if (!o.quiet) {
    const std::string d = o.out_dir + "/";
    std::cout << "frames " << d << record.frames.front().file << " .. " << record.frames.back().file;
    if (out.previews) std::cout << ", contact sheet " << d << names::kContactSheet << ", GIF " << d << names::kPreviewGif;
    std::cout << ", chart " << d << names::kTimingChart << ", report " << d << names::kReport << "\n";
  }
  // Written, but not every frame: a script must not take it for a whole render.
  return done.footage_failed.empty() && done.plugin_failed.empty() ? kExitDone : kExitFramesFailed;
}

// --find-loop: the footage's best loops, read once, and the files with --out.
int FindTheLoop(const Options& o, const Probed& p) {
  const std::unique_ptr<Clip> clip = OpenTheClip(o, p);
  LoopRequest request = o.loop;
  // The scene's type when it names one; a Cycle else.
  request.pingpong = Given(p.raw, Field::kType) != nullptr && p.scene.params.code(kParamType) == kLoopPingpong;
  const StopSignals stop;
  LoopFinder finder(request, p.scene, *clip, p.footage ? p.footage->files : std::vector<std::string>{});
  Progress progress(static_cast<int>(clip->frames()), !o.quiet && ::isatty(STDERR_FILENO), "reading");
  try {
    if (!finder.Run([&](int64_t k) { progress.Update(static_cast<int>(k)); })) return Stopped(o, StopSignals::pending());
  } catch (const FootageError& e) {
    std::cerr << "zelvan-render: error: " << e.what()
              << ". Fix: repair or re-export the footage. The output folder is left as it was\n";
    return kExitFootage;
  }
  std::cout << finder.Table();
  if (!o.quiet && request.out) std::cout << "zelvan-render: wrote " << finder.Written() << "\n";
  return kExitDone;
}

// A dry run's movie whose kind follows the render's alpha: whether the first
// frame has a pixel with alpha below 1, rendered to see. The exit status of
// a first frame that fails, as a run says it.
int FirstFrameAlpha(const Options& o, const std::string& plugin, const Probed& p, bool& alpha) {
  const std::unique_ptr<Clip> clip = OpenTheClip(o, p);
  HostRender render(plugin, p.scene, *clip);
  const FrameRecord f = render.RenderFrame(0);
  if (f.failed()) return FrameFailure(o, 0, f);
  const PF_EffectWorld* world = render.output();
  alpha = world != nullptr && world->data != nullptr && HasTranslucentPixel(*world);
  return kExitDone;
}

int Run(const Options& o) {
  const std::string plugin = o.plugin.empty() ? ZELVAN_DEFAULT_PLUGIN : o.plugin;
  const Probed probed = ProbeTheFootage(o);
  if (o.dry_run) {
    // The scene on standard output, as a scene file takes it; the movie aside.
    std::cout << probed.scene.resolved.dump(2) << "\n";
    if (const MovieContainer* container = MovieContainerOf(o.out_dir)) {
      const MoviePlan plan(o, probed.scene, *container, MovieFootage(probed));
      bool alpha = false;
      if (plan.follows_alpha()) {
        if (const int failed = FirstFrameAlpha(o, plugin, probed, alpha); failed != kExitDone) return failed;
      }
      std::cerr << "zelvan-render: dry run: " << plan.DryRun(o.out_dir, alpha) << "\n";
    }
    return 0;
  }
  if (o.find_loop) return FindTheLoop(o, probed);
  const std::unique_ptr<Clip> clip = OpenTheClip(o, probed);
  HostRender render(plugin, probed.scene, *clip);
  std::vector<std::size_t> calls_before_refusal;
  for (const std::string& f : o.refuse_calls) calls_before_refusal.push_back(render.CallCount(f));
  render.RefuseCalls(o.refuse_calls);

  // From here on Ctrl-C and SIGTERM stop the run cleanly.
  const StopSignals stop;
  Output out(o, probed.scene);
  // The render shows the source's values as they are: it holds its colour.
  ClaimTheOutputPlace(o, probed, clip->colour(), out);
  Rendered done{render.Record(), {}, {}};
  if (const std::optional<int> stopped = RenderTheFrames(o, render, out, done)) return *stopped;
  if (const std::optional<int> stopped = WriteTheOutputs(o, out, done.record)) return *stopped;
  return TellTheOutcome(o, probed.scene, *clip, render, calls_before_refusal, out, done);
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
  std::string out;  // --out, once the command line is read
  try {
    const Options o = ParseCommandLine(args);
    out = o.out_dir;
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
    std::cerr << "zelvan-render: error: " << e.what() << ". " << LeftAsItWas(out) << "\n";
    return kExitWrite;
  } catch (const std::exception& e) {
    std::cerr << "zelvan-render: error: " << e.what() << "\n";
    return kExitFailure;
  }
}
