// zelvan-render --find-loop end to end, on clips the ffmpeg program makes
// from its lavfi sources with a known period: the loops found checked
// against how each clip was made, the scene written for the best loop
// rendered and checked frame by frame, and what the command refuses.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "FfmpegClip.h"
#include "ImageFiles.h"
#include "PixelWorld.h"
#include "RunTool.h"

namespace zelvan::render {
namespace {

using nlohmann::json;
using testing::Listing;
using testing::MakeClip;
using testing::ReadJson;
using testing::RunTool;
using testing::TempDir;
namespace fs = std::filesystem;

// "A few frames": two candidates with both ends this close are one loop.
constexpr int64_t kNear = 4;

// A clip, the command's options, and what its loops must be, built row by
// row: LoopRow("name", "clip.mkv").Source(...).Encode(...).Period(12)...
struct LoopClip {
  std::string name;
  std::string file;  // empty: the built-in clip
  std::string source = "testsrc2=size=96x54:rate=25";
  std::string encode;
  std::vector<std::string> args;
  int64_t period = 0;               // the best loop's length is a multiple of it
  bool whole_periods_only = false;  // any other length shows (costs more than a step)
  int64_t turns_every = 0;          // a Pingpong's best turns on frames that are multiples of it
  double best_per_step = -1.0;      // the best seam is at most this many typical steps
  int64_t cut = -1;                 // a loop across the cut before this frame shows
  int64_t frames = -1;              // the clip's frames, as a render counts them
  std::string warns;                // what the run must say on standard error
  bool render = false;              // loop.json rendered and checked frame by frame

  LoopClip& Source(std::string s) {
    source = std::move(s);
    return *this;
  }
  LoopClip& Encode(std::string e) {
    encode = std::move(e);
    return *this;
  }
  LoopClip& Args(std::vector<std::string> a) {
    args = std::move(a);
    return *this;
  }
  LoopClip& Period(int64_t p) {
    period = p;
    return *this;
  }
  LoopClip& WholePeriodsOnly() {
    whole_periods_only = true;
    return *this;
  }
  LoopClip& TurnsEvery(int64_t p) {
    turns_every = p;
    return *this;
  }
  LoopClip& BestSeamPerStepAtMost(double s) {
    best_per_step = s;
    return *this;
  }
  LoopClip& CutAt(int64_t frame) {
    cut = frame;
    return *this;
  }
  LoopClip& Frames(int64_t n) {
    frames = n;
    return *this;
  }
  LoopClip& Warns(std::string text) {
    warns = std::move(text);
    return *this;
  }
  LoopClip& RendersTheScene() {
    render = true;
    return *this;
  }
};
LoopClip LoopRow(std::string name, std::string file) {
  LoopClip r;
  r.name = std::move(name);
  r.file = std::move(file);
  return r;
}
void PrintTo(const LoopClip& c, std::ostream* os) { *os << c.name; }

// A bar swinging as a pendulum, period 20: its centre at 48 + 30 cos(2 pi n / 20),
// so frames n and 20 - n are one picture moving either way, and it stops at
// the frames that are multiples of 10.
const char* kPendulum = "nullsrc=size=96x54:rate=25,format=gray,geq=lum='255*max(0\\,1-abs(X-48-30*cos(2*PI*N/20))/6)'";

std::vector<LoopClip> LoopClips() {
  const std::string every12 = "testsrc2=size=96x54:rate=25,loop=loop=-1:size=12";
  // Fifty frames of a pattern that repeats every 10, then fifty of another.
  const std::string cut =
      "testsrc2=size=96x54:rate=25,loop=loop=-1:size=10,trim=end_frame=50,format=yuv420p[a];"
      "mandelbrot=size=96x54:rate=25,loop=loop=-1:size=10,trim=end_frame=50,format=yuv420p[b];"
      "[a][b]concat=n=2";
  return {
      LoopRow("a pattern that repeats every 12 frames, lossless", "every12.mkv")
          .Source(every12)
          .Encode("-frames:v 100 -c:v ffv1")
          .Period(12)
          .BestSeamPerStepAtMost(0.0)
          .RendersTheScene(),
      LoopRow("a pattern that repeats every 16 frames, through H.264", "every16.mp4")
          .Source("testsrc2=size=96x54:rate=25,loop=loop=-1:size=16")
          .Encode("-frames:v 90 -pix_fmt yuv420p -c:v libx264")
          .Period(16)
          .BestSeamPerStepAtMost(0.25),
      LoopRow("a pendulum: only whole swings loop", "pendulum.mkv")
          .Source(kPendulum)
          .Encode("-frames:v 100 -c:v ffv1")
          .Period(20)
          .WholePeriodsOnly()
          .BestSeamPerStepAtMost(0.0),
      LoopRow("a pendulum as a Pingpong turns where it stops", "pendulum.mkv")
          .Source(kPendulum)
          .Encode("-frames:v 60 -c:v ffv1")
          .Args({"--type", "pingpong"})
          .TurnsEvery(10)
          .BestSeamPerStepAtMost(0.0)
          .RendersTheScene(),
      LoopRow("a cut in the middle", "cut.mkv").Source(cut).Encode("-c:v ffv1").Args({"--top", "40"}).CutAt(50),
      // Frames 3, 6 and 7 of 25 fps are dropped, their times left empty: 12
      // frames over 15 slots of the nominal rate.
      LoopRow("a variable rate counted as a render counts it", "vfr.mp4")
          .Encode(
              "-frames:v 12 -vf select='not(eq(n\\,3)+eq(n\\,6)+eq(n\\,7))' -vsync vfr -pix_fmt yuv420p -c:v libx264")
          .Frames(15)
          .Warns("vfr.mp4: its frame rate is variable"),
      LoopRow("the built-in clip, its frames' stamps read back", "")
          .Args({"--set", "source.width=64", "--set", "source.height=36", "--set", "source.duration=1"})
          .Frames(30)
          .RendersTheScene(),
  };
}

class FindLoopTest : public ::testing::TestWithParam<LoopClip> {};

// What every run's outputs hold, whatever the clip: each candidate's
// numbers agree with each other, ranked by seam, no two near, within the
// lengths searched; the table lists them; the files are there.
void CheckTheFindings(const json& loops, const std::string& table, const fs::path& out) {
  const json& clip = loops["clip"];
  const double fps = clip["fps"].is_number() ? clip["fps"].get<double>() : 0.0;
  ASSERT_GT(fps, 0.0);
  const json& all = loops["candidates"];
  ASSERT_FALSE(all.empty());
  const double step = loops["typical_step"];
  ASSERT_GT(step, 0.0);
  for (std::size_t i = 0; i < all.size(); ++i) {
    const json& c = all[i];
    SCOPED_TRACE("rank " + std::to_string(i + 1));
    const int64_t a = c["start_frame"], b = c["end_frame"];
    EXPECT_EQ(c["rank"], i + 1);
    EXPECT_EQ(c["length_frames"], b - a);
    EXPECT_NEAR(c["start_seconds"].get<double>(), static_cast<double>(a) / fps, 1e-12);
    EXPECT_NEAR(c["end_seconds"].get<double>(), static_cast<double>(b) / fps, 1e-12);
    EXPECT_NEAR(c["seam_per_step"].get<double>(), c["seam"].get<double>() / step, 2e-4);
    EXPECT_GE(b - a, loops["lengths"]["shortest_frames"].get<int64_t>());
    EXPECT_LE(b - a, loops["lengths"]["longest_frames"].get<int64_t>());
    EXPECT_LE(b, clip["frames"].get<int64_t>() - 1) << "the frame after the loop is there to compare";
    if (i > 0) {
      EXPECT_GE(c["seam"].get<double>(), all[i - 1]["seam"].get<double>());
    }
    for (std::size_t j = 0; j < i; ++j) {
      const bool near = std::llabs(all[j]["start_frame"].get<int64_t>() - a) <= kNear &&
                        std::llabs(all[j]["end_frame"].get<int64_t>() - b) <= kNear;
      EXPECT_FALSE(near) << "near rank " << j + 1;
    }
    char row[64];
    std::snprintf(row, sizeof row, "%4zu %6lld %6lld", i + 1, static_cast<long long>(a), static_cast<long long>(b));
    EXPECT_NE(table.find(row), std::string::npos) << table;
    EXPECT_TRUE(fs::exists(out / ("seam_" + std::to_string(i + 1) + ".png")));
  }
  for (const char* name : {"loops.json", "loop.json", "similarity.png", "zelvan-render-manifest.json"}) {
    EXPECT_TRUE(fs::exists(out / name)) << name;
  }
}

// The source frames a loop's scene must show, composition frame by frame:
// a Cycle [a, b) a .. b - 1 twice; a Pingpong a .. b - 1, then back to a + 1.
std::vector<int64_t> Expected(const json& best, bool pingpong) {
  const int64_t a = best["start_frame"], b = best["end_frame"], n = b - a;
  std::vector<int64_t> frames;
  if (!pingpong) {
    for (int64_t k = 0; k < 2 * n; ++k) frames.push_back(a + k % n);
    return frames;
  }
  for (int64_t f = a; f < b; ++f) frames.push_back(f);
  for (int64_t f = b - 2; f > a; --f) frames.push_back(f);
  return frames;
}

// Renders loop.json into its own folder and checks every frame the report
// names, and for the built-in clip the frame's stamp in its pixels.
void CheckTheScene(const TempDir& tmp, const json& loops) {
  const fs::path out = tmp / "render";
  const testing::ToolRun r = RunTool({(tmp / "out" / "loop.json").string(), "--out", out.string(), "-q"}, tmp.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "") << "no seam that repeats or skips a frame";
  const json report = ReadJson(out / "report.json");
  const std::vector<int64_t> want = Expected(loops["candidates"][0], loops["type"] == "pingpong");
  ASSERT_EQ(report["frames"].size(), want.size());
  for (std::size_t k = 0; k < want.size(); ++k) {
    const json& f = report["frames"][k];
    EXPECT_EQ(f["source_frame"], want[k]) << "composition frame " << k;
    if (loops["clip"]["path"] != "builtin") continue;
    int w = 0, h = 0;
    const std::vector<float> rgba = ReadImage((out / f["file"].get<std::string>()).string(), &w, &h);
    pixels::PixelWorld img(w, h, pixels::Depth::kFloat);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const float* p =
            &rgba[(static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)) * 4];
        img.set(x, y, pixels::Color{p[3], p[0], p[1], p[2]});
      }
    }
    EXPECT_EQ(pixels::ReadFrameStamp(*img.world()).frame, want[k]) << "composition frame " << k;
  }
}

TEST_P(FindLoopTest, TheLoopsAreThoseTheClipWasMadeWith) {
  const LoopClip& c = GetParam();
  TempDir tmp("loop");
  std::vector<std::string> args = {"--find-loop", "--out", (tmp / "out").string()};
  if (!c.file.empty()) args.insert(args.end(), {"--source", MakeClip(tmp, c.file, c.encode, c.source).string()});
  args.insert(args.end(), c.args.begin(), c.args.end());
  const testing::ToolRun run = RunTool(args, tmp.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  if (c.warns.empty()) {
    EXPECT_EQ(run.err, "");
  } else {
    EXPECT_NE(run.err.find(c.warns), std::string::npos) << run.err;
  }
  const json loops = ReadJson(tmp / "out" / "loops.json");
  CheckTheFindings(loops, run.out, tmp / "out");
  const json& all = loops["candidates"];
  const json& best = all[0];
  const int64_t a = best["start_frame"], b = best["end_frame"];
  if (c.frames >= 0) {
    EXPECT_EQ(loops["clip"]["frames"], c.frames);
  }
  if (c.period > 0) {
    EXPECT_EQ((b - a) % c.period, 0) << a << " to " << b;
  }
  if (c.best_per_step >= 0.0) {
    EXPECT_LE(best["seam_per_step"].get<double>(), c.best_per_step);
  }
  if (c.turns_every > 0) {
    EXPECT_EQ(a % c.turns_every, 0) << "turns at " << a;
    EXPECT_EQ((b - 1) % c.turns_every, 0) << "turns at " << b - 1;
  }
  for (const json& other : all) {
    const int64_t s = other["start_frame"], e = other["end_frame"];
    const double per_step = other["seam_per_step"];
    if (c.whole_periods_only && (e - s) % c.period != 0) {
      EXPECT_GT(per_step, 1.0) << s << " to " << e;
    }
    if (c.cut >= 0 && s < c.cut && e > c.cut) {
      EXPECT_GT(per_step, 1.0) << s << " to " << e << " spans the cut";
    }
  }
  if (c.cut >= 0) {
    EXPECT_FALSE(a < c.cut && b > c.cut) << "the best loop spans the cut";
  }
  if (c.render) CheckTheScene(tmp, loops);
}

std::string LoopName(const ::testing::TestParamInfo<LoopClip>& info) {
  std::string name;
  for (const char ch : info.param.name) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Clips, FindLoopTest, ::testing::ValuesIn(LoopClips()), LoopName);

// A command --find-loop refuses, and what it says, built row by row:
// Refusal("name").Args({...}).Clip("still.mkv", ...).Says("...").
struct LoopRefusal {
  std::string name;
  std::vector<std::string> args;
  std::string file, source = "testsrc2=size=96x54:rate=25", encode;  // a clip, given as --source
  std::string says;
  int exit_code = 2;
  std::optional<rlim_t> file_size_limit;

  LoopRefusal& Args(std::vector<std::string> a) {
    args = std::move(a);
    return *this;
  }
  LoopRefusal& Clip(std::string f, std::string e, std::string s = "testsrc2=size=96x54:rate=25") {
    file = std::move(f);
    encode = std::move(e);
    source = std::move(s);
    return *this;
  }
  LoopRefusal& Says(std::string s) {
    says = std::move(s);
    return *this;
  }
  LoopRefusal& Exits(int code) {
    exit_code = code;
    return *this;
  }
  LoopRefusal& FileSizeLimit(rlim_t bytes) {
    file_size_limit = bytes;
    return *this;
  }
};
LoopRefusal Refusal(std::string name) {
  LoopRefusal r;
  r.name = std::move(name);
  return r;
}

TEST(FindLoop, WhatItRefusesItSaysAndWritesNothing) {
  const LoopRefusal rows[] = {
      Refusal("a still")
          .Args({"--find-loop"})
          .Clip("still.mkv", "-frames:v 20 -c:v ffv1", "color=c=gray:size=96x54:rate=25")
          .Says("still.mkv: shows the same picture in every frame"),
      Refusal("a 2-frame clip")
          .Args({"--find-loop"})
          .Clip("two.mkv", "-frames:v 2 -c:v ffv1")
          .Says("two.mkv: holds 2 frames: a Cycle needs at least 3"),
      // 20 frames at 25 fps: the longest Cycle is 19 frames, 1 s is 25.
      Refusal("a clip shorter than --min")
          .Args({"--find-loop", "--min", "1s"})
          .Clip("short.mkv", "-frames:v 20 -c:v ffv1")
          .Says("its longest Cycle is 19 frames, shorter than --min 1s (25 frames)"),
      Refusal("a single image").Args({"--find-loop"}).Clip("one.png", "-frames:v 1").Says("one.png: is a single image"),
      Refusal("--min above --max")
          .Args({"--find-loop", "--min", "2s", "--max", "1s"})
          .Says("--min 2s: is above --max 1s (60 frames against 30 frames)"),
      Refusal("--max below two frames").Args({"--find-loop", "--max", "1f"}).Says("--max 1f: is shorter than 2 frames"),
      Refusal("a length without its unit").Args({"--find-loop", "--min", "2"}).Says("--min 2: needs a unit"),
      Refusal("--top 0").Args({"--find-loop", "--top", "0"}).Says("--top 0: expects a whole number from 1"),
      Refusal("--min without --find-loop").Args({"--min", "2s"}).Says("--min: is an option of --find-loop"),
      Refusal("a movie as --out").Args({"--find-loop", "--out", "loops.mp4"}).Says("loops.mp4: names a movie"),
      Refusal("--play-once").Args({"--find-loop", "--play-once"}).Says("--play-once: is for a render"),
      Refusal("a file-size limit")
          .Args({"--find-loop"})
          .FileSizeLimit(1000)
          .Exits(5)
          .Says("loops.json: cannot be written: file too large"),
  };
  for (const LoopRefusal& r : rows) {
    SCOPED_TRACE(r.name);
    TempDir tmp("refusal");
    std::vector<std::string> args = {"--out", (tmp / "out").string()};
    if (!r.file.empty()) args.insert(args.end(), {"--source", MakeClip(tmp, r.file, r.encode, r.source).string()});
    for (const std::string& a : r.args) args.push_back(a == "loops.mp4" ? (tmp / a).string() : a);
    const auto before = Listing(tmp.path());
    const testing::ToolRun run = RunTool(args, tmp.path(), r.file_size_limit);
    EXPECT_EQ(run.exit_code, r.exit_code) << run.err;
    EXPECT_NE(run.err.find(r.says), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Fix:"), std::string::npos) << run.err;
    EXPECT_EQ(Listing(tmp.path()), before) << "nothing written";
  }
}

}  // namespace
}  // namespace zelvan::render
