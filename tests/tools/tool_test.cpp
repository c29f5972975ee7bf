// zelvan-render end to end: small scenes through the real plug-in in the
// simulated host, the report checked against the loop-timing and placement
// rules, the frames against the source frames the report names.
#include <gtest/gtest.h>

#include <OpenImageIO/imageio.h>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>

#include "Clip.h"
#include "DeepChannels.h"
#include "FfmpegClip.h"
#include "FootageSource.h"
#include "FrameWriter.h"
#include "ImageFiles.h"
#include "Movie.h"
#include "MovieEncoder.h"
#include "OutputFolder.h"
#include "Params.h"
#include "PixelWorld.h"
#include "RunTool.h"
#include "TimingOracle.h"

namespace zelvan::render {
namespace {

using nlohmann::json;
using testing::Listing;
using testing::MakeClip;
using testing::ReadJson;
using testing::RunTool;
using testing::TempDir;
namespace fs = std::filesystem;

A_Time TimeOf(const json& j) { return A_Time{j[0].get<A_long>(), j[1].get<A_u_long>()}; }
double Sec(const A_Time& t) { return static_cast<double>(t.value) / static_cast<double>(t.scale); }

pixels::PixelWorld LoadFrame(const fs::path& file) {
  int w = 0, h = 0;
  const std::vector<float> rgba = ReadImage(file.string(), &w, &h);
  pixels::PixelWorld world(w, h, pixels::Depth::kFloat);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const float* p = &rgba[(std::size_t(y) * std::size_t(w) + std::size_t(x)) * 4];
      world.set(x, y, pixels::Color{p[3], p[0], p[1], p[2]});
    }
  return world;
}

// The composition time the plug-in should ask for, from the values the
// report says the host handed over.
A_Time ExpectedTime(const json& params, const json& source, A_u_long time_scale, double fps) {
  oracle::Loop l;
  l.pingpong = params["type"] == kLoopPingpong;
  l.degrees = oracle::FromFixed(params["time_fixed"].get<int64_t>());
  l.waiting = oracle::FractionFromPercentFixed(params["waiting_fixed"].get<int64_t>());
  l.easing_type = params["easing_type"];
  l.easing_mode = params["easing_mode"];
  l.seconds = params["range_type"] == kRangeSecond;
  l.start = l.seconds ? params["start_sec"].get<double>() : oracle::FractionFromPercentFixed(params["start_pct_fixed"]);
  l.end = l.seconds ? params["end_sec"].get<double>() : oracle::FractionFromPercentFixed(params["end_pct_fixed"]);
  auto time = [](const json& t) { return oracle::Time{t[0].get<int64_t>(), t[1].get<uint32_t>()}; };
  const oracle::Time t = oracle::SourceTime(l, time(source["in_point"]), time(source["duration"]), fps, time_scale);
  return A_Time{static_cast<A_long>(t.value), t.scale};
}

double RateOf(const json& fps) {
  if (fps.is_number()) return fps.get<double>();
  const std::string s = fps.get<std::string>();
  const auto slash = s.find('/');
  return std::stod(s.substr(0, slash)) / std::stod(s.substr(slash + 1));
}

struct Summary {
  int shown = 0;        // frames that showed a source frame
  int passed = 0;       // frames that passed the input through
};

// Every rule a report must follow, frame by frame, and every frame file
// against the source frame the report names.
void CheckFrames(const fs::path& dir, const json& report, Summary& sum) {
  const json& scene = report["scene"];
  const json& source = report["source"];
  const A_u_long scale = report["time_scale"];
  const double fps = RateOf(scene["comp"]["fps"]);
  const double src_fps = RateOf(source["fps"]);
  const int ds = scene["comp"]["downsample"];
  const A_long ow = oracle::DownsampledSize(scene["comp"]["width"], ds);
  const A_long oh = oracle::DownsampledSize(scene["comp"]["height"], ds);
  const A_long lw = oracle::DownsampledSize(source["width"], ds);
  const A_long lh = oracle::DownsampledSize(source["height"], ds);
  const double in = Sec(TimeOf(source["in_point"]));
  const double end = in + Sec(TimeOf(source["duration"]));
  EXPECT_EQ(report["frames"].size(), scene["comp"]["frames"].get<std::size_t>());
  for (const json& f : report["frames"]) {
    SCOPED_TRACE("frame " + f["frame"].dump());
    const int k = f["frame"];
    EXPECT_EQ(TimeOf(f["current_time"]).value, static_cast<A_long>(std::lround(k * scale / fps)));
    EXPECT_EQ(f["error"], 0);
    const pixels::PixelWorld img = LoadFrame(dir / f["file"].get<std::string>());
    ASSERT_EQ(img.width(), ow);
    ASSERT_EQ(img.height(), oh);
    if (!scene["params"]["layer"].get<bool>()) {
      EXPECT_TRUE(f["layer_time"].is_null());
      EXPECT_TRUE(f["source_frame"].is_null());
      EXPECT_TRUE(f["copy"].is_null());
      EXPECT_EQ(pixels::ReadFrameStamp(*img.world()).frame, -1) << "the input, no source frame";
      ++sum.passed;
      continue;
    }
    const A_Time want = ExpectedTime(f["params"], source, scale, fps);
    const A_Time got = TimeOf(f["layer_time"]);
    EXPECT_EQ(got.value, want.value);
    EXPECT_EQ(got.scale, want.scale);
    const double t = Sec(got);
    if (t < in || t >= end) {
      EXPECT_TRUE(f["source_frame"].is_null()) << "outside the source layer at " << t;
      EXPECT_TRUE(f["copy"].is_null()) << "passes the input through whole";
      EXPECT_EQ(pixels::ReadFrameStamp(*img.world()).frame, -1) << "the input, no source frame";
      ++sum.passed;
      continue;
    }
    const int64_t clip_frame = oracle::ClipFrameAt(t - in, fps, src_fps);
    ASSERT_FALSE(f["source_frame"].is_null());
    EXPECT_EQ(f["source_frame"].get<int64_t>(), std::min(clip_frame, source["frames"].get<int64_t>() - 1));
    const oracle::Placement rects = oracle::Place(f["params"]["mode"], lw, lh, ow, oh);
    EXPECT_EQ(f["copy"]["src"], json({rects.src.left, rects.src.top, rects.src.right, rects.src.bottom}));
    EXPECT_EQ(f["copy"]["dst"], json({rects.dst.left, rects.dst.top, rects.dst.right, rects.dst.bottom}));
    // The pixels inside the destination carry the stamp of the frame named.
    PF_LRect dst{rects.dst.left, rects.dst.top, rects.dst.right, rects.dst.bottom};
    const pixels::StampReading read = pixels::ReadFrameStamp(*img.world(), &dst);
    EXPECT_EQ(read.frame, f["source_frame"].get<int>()) << "votes " << read.votes << "/" << read.samples;
    ++sum.shown;
  }
}

Summary CheckRender(const fs::path& dir, const json& report) {
  Summary sum;
  CheckFrames(dir, report, sum);
  return sum;
}

json Render(const TempDir& tmp, const std::vector<std::string>& args, testing::ToolRun* run = nullptr) {
  std::vector<std::string> all = {"--out", (tmp / "out").string(), "--quiet"};
  all.insert(all.end(), args.begin(), args.end());
  const testing::ToolRun r = RunTool(all, tmp.path());
  if (run != nullptr) *run = r;
  EXPECT_EQ(r.exit_code, 0) << r.err;
  if (r.exit_code != 0) return json();
  return ReadJson(tmp / "out" / "report.json");
}

// A scene rendered into a folder, checked frame by frame against the oracle
// (CheckFrames), and what else its report and its files must show; built row
// by row: SceneRender("name").Args({...}).Shows(12)...
struct SceneRender {
  std::string name;
  std::vector<std::string> args;
  int shown = -1;   // frames that show a source frame; -1: some
  int passed = -1;  // frames that pass the input through; -1: any
  std::vector<std::string> files;      // besides the report, each must be there
  std::vector<std::pair<std::string, json>> holds;  // report.json at a JSON pointer
  std::string warns;                   // what the run says on standard error

  SceneRender& Args(std::vector<std::string> a) { args = std::move(a); return *this; }
  SceneRender& Shows(int n) { shown = n; return *this; }
  SceneRender& Passes(int n) { passed = n; return *this; }
  SceneRender& Files(std::vector<std::string> names) { files = std::move(names); return *this; }
  SceneRender& Holds(std::string pointer, json value) { holds.emplace_back(std::move(pointer), std::move(value)); return *this; }
  SceneRender& Warns(std::string text) { warns = std::move(text); return *this; }
};
SceneRender RenderRow(std::string name) {
  SceneRender r;
  r.name = std::move(name);
  return r;
}
void PrintTo(const SceneRender& c, std::ostream* os) { *os << c.name; }

std::vector<SceneRender> SceneRenders() {
  const std::vector<std::string> small = {"--set", "source.width=32", "--set", "source.height=18"};
  auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  return {
      RenderRow("Pingpong, Whole, quad easing and a hold")
          .Args(with({"--size", "64x36", "--frames", "12", "--set", "source.duration=1", "--set",
                      "params.time={\"rate\": 720}", "--type", "pingpong", "--mode", "whole", "--easing", "quad",
                      "--waiting", "10"}, small))
          .Shows(12)
          .Files({"contact_sheet.png", "preview.gif", "timing_chart.svg", "frame_0011.png"})
          .Holds("/scene/params/easing", "quad")
          .Holds("/frames/0/params/waiting_fixed", 10 * 65536)
          .Holds("/frames/5/params/time_fixed", 120 * 65536),  // 720 degrees a second at 30 fps
      RenderRow("Cycle, a range in seconds, keyframed time, NTSC rate, 16 bits")
          .Args({"--size", "64x36", "--frames", "8", "--fps", "30000/1001", "--depth", "16", "--set",
                 "source.width=48", "--set", "source.height=36", "--set", "source.duration=2", "--type", "cycle",
                 "--mode", "no-margin", "--set", "params.range=second", "--set", "params.start=0.2", "--set",
                 "params.end=1.5", "--set", "params.time={\"keys\": [[0, 0], [0.1, 200], [0.3, 400]]}", "--easing",
                 "sine", "--easing-mode", "out", "--waiting", "0"})
          .Shows(8)
          .Holds("/time_scale", 30000)
          .Holds("/frames/1/current_time", json({1001, 30000}))
          .Holds("/frames/0/file", "frame_0000.png")
          .Holds("/frames/0/params/start_sec", 0.2),
      RenderRow("float, Center, a late in-point: times past the layer pass the input through")
          .Args({"--size", "64x36", "--frames", "6", "--depth", "32", "--set", "source.width=80", "--set",
                 "source.height=50", "--set", "source.in=0.1", "--set", "source.duration=0.5", "--set",
                 "params.time={\"rate\": 300}", "--type", "cycle", "--mode", "center", "--easing", "linear",
                 "--waiting", "0", "--set", "params.range=second", "--set", "params.end=10"})
          .Files({"frame_0005.exr"})
          .Warns("outside the source layer"),
      RenderRow("no layer chosen: the input whole, at half resolution")
          .Args({"--size", "64x36", "--frames", "3", "--downsample", "2", "--set", "params.layer=false"})
          .Shows(0)
          .Passes(3),
      RenderRow("Whole at half resolution")
          .Args({"--size", "64x36", "--frames", "4", "--downsample", "2", "--set", "source.width=32", "--set",
                 "source.height=32", "--mode", "whole", "--set", "params.time=90"})
          .Shows(4),
      // 64 x 37 at 1/3 is 21 x 12 (21.3 and 12.3 rounded half up), the source's
      // 96 x 54 is 32 x 18; 258 x 150 at 1/4 is 65 x 38 (64.5 and 37.5, the
      // halves up), 320 x 180 is 80 x 45; 384 x 256 is 96 x 64.
      RenderRow("Whole at a third, odd height")
          .Args({"--size", "64x37", "--frames", "4", "--downsample", "3", "--set", "source.width=96", "--set",
                 "source.height=54", "--mode", "whole", "--type", "cycle", "--easing", "linear"})
          .Shows(4)
          .Files({"frame_0003.png", "contact_sheet.png"}),
      RenderRow("No Margin at a quarter, odd width, 16 bits")
          .Args({"--size", "258x150", "--frames", "4", "--downsample", "4", "--depth", "16", "--set",
                 "source.width=320", "--set", "source.height=180", "--mode", "no-margin", "--type", "cycle"})
          .Shows(4),
      RenderRow("Fit to Layer at a quarter, even sizes, float")
          .Args({"--size", "384x256", "--frames", "3", "--downsample", "4", "--depth", "32", "--mode", "fit"})
          .Shows(3),
  };
}

class SceneRendersTest : public ::testing::TestWithParam<SceneRender> {};

// Each scene renders as the oracle says frame by frame (CheckFrames: times,
// source frames, placements and pixels, at the rendered size), with the
// files, report values and warnings of its row; every output is made as the
// user's umask says, and a frame that passes its input through shows the
// solid layer, no source frame.
TEST_P(SceneRendersTest, FrameByFrame) {
  const SceneRender& c = GetParam();
  TempDir tmp("scene");
  testing::ToolRun run;
  const json report = Render(tmp, c.args, &run);
  ASSERT_FALSE(report.is_null());
  const Summary sum = CheckRender(tmp / "out", report);
  if (c.shown >= 0) {
    EXPECT_EQ(sum.shown, c.shown);
  } else {
    EXPECT_GT(sum.shown, 0);
  }
  if (c.passed >= 0) {
    EXPECT_EQ(sum.passed, c.passed);
  } else if (c.shown >= 0) {
    EXPECT_EQ(sum.passed, 0);
  }
  for (const std::string& name : c.files) EXPECT_TRUE(fs::exists(tmp / "out" / name)) << name;
  for (const auto& [pointer, value] : c.holds) EXPECT_EQ(report.at(json::json_pointer(pointer)), value) << pointer;
  if (c.warns.empty()) {
    EXPECT_EQ(run.err, "");
  } else {
    EXPECT_NE(run.err.find(c.warns), std::string::npos) << run.err;
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  for (const std::string& name : Listing(tmp / "out")) {
    struct stat st {};
    ASSERT_EQ(::stat((tmp / "out" / name).c_str(), &st), 0) << name;
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << name;
  }
}

std::string SceneRenderName(const ::testing::TestParamInfo<SceneRender>& info) {
  std::string name;
  for (const char ch : info.param.name) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Scenes, SceneRendersTest, ::testing::ValuesIn(SceneRenders()), SceneRenderName);

TEST(RenderTool, ImageSequenceFootage) {
  TempDir tmp("sequence");
  fs::create_directories(tmp / "shots");
  for (int i = 0; i < 6; ++i) {
    pixels::PixelWorld w(64, 36, pixels::Depth::k8);
    pixels::PaintFrameStamp(*w.world(), i);
    char name[32];
    std::snprintf(name, sizeof name, "run.%04d.png", i + 1);
    WriteImage((tmp / "shots" / name).string(), 64, 36, WorldToRgba(*w.world()), FrameFormat::Png8);
  }
  const std::string scene = (tmp / "scene.json").string();
  std::ofstream(scene) << R"({"comp": {"width": 64, "height": 36, "frames": 10},
    "source": {"path": "shots/run.%04d.png"},
    "params": {"type": "pingpong", "time": {"rate": 600}, "waiting": 0, "easing": "linear", "mode": "fit"}})";
  const json report = Render(tmp, {scene});
  ASSERT_FALSE(report.is_null());
  EXPECT_EQ(report["source"]["frames"], 6);
  EXPECT_EQ(report["source"]["duration"], json({6, 30}));
  EXPECT_EQ(CheckRender(tmp / "out", report).shown, 10);
}

// The image library is loaded where an image is read or written, never for a
// movie made from a movie: with its dependencies it is most of the tool's
// start-up time and memory. The dynamic loader's own record of the files it
// opened (LD_DEBUG=files) says which.
struct LibraryUse {
  const char* name;
  std::vector<std::string> args;  // CLIP, STILL and OUT stand for files in the scratch folder
  bool loads = true;
};
LibraryUse Use(const char* name, std::vector<std::string> args) { return LibraryUse{name, std::move(args)}; }
LibraryUse WithoutImages(LibraryUse u) { return u.loads = false, u; }

TEST(RenderTool, TheImageLibraryLoadsOnlyWhereImagesAre) {
  TempDir tmp("image-library");
  const fs::path clip = MakeClip(tmp, "clip.mp4", "-frames:v 3 -pix_fmt yuv420p -c:v libx264", "testsrc2=size=64x36:rate=25");
  pixels::PixelWorld still(64, 36, pixels::Depth::k8);
  WriteImage((tmp / "still.png").string(), 64, 36, WorldToRgba(*still.world()), FrameFormat::Png8);
  const LibraryUse uses[] = {
      WithoutImages(Use("a movie made from a movie", {"--source", "CLIP", "--play-once", "--out", "OUT/loop.mp4"})),
      Use("frames made from a movie", {"--source", "CLIP", "--play-once", "--no-previews", "--out", "OUT/"}),
      Use("a movie made from a picture", {"--source", "STILL", "--frames", "2", "--out", "OUT/loop.mp4"}),
  };
  for (const LibraryUse& u : uses) {
    SCOPED_TRACE(u.name);
    const fs::path out = tmp / "out", record = tmp / "loaded";
    fs::remove_all(out);
    fs::create_directories(out);
    fs::create_directories(record);
    std::vector<std::string> args = {"--quiet", "--size", "64x36"};
    for (const std::string& a : u.args) {
      args.push_back(a == "CLIP" ? clip.string() : a == "STILL" ? (tmp / "still.png").string()
                     : a.rfind("OUT", 0) == 0 ? out.string() + a.substr(3) : a);
    }
    // The loader reads these as the tool starts; this process has started already.
    ::setenv("LD_DEBUG", "files", 1);
    ::setenv("LD_DEBUG_OUTPUT", (record / "files").c_str(), 1);
    const testing::ToolRun r = RunTool(args, tmp.path());
    ::unsetenv("LD_DEBUG");
    ::unsetenv("LD_DEBUG_OUTPUT");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::string opened;
    for (const std::string& name : Listing(record)) opened += testing::Slurp(record / name);
    fs::remove_all(record);
    ASSERT_NE(opened.find("libavcodec"), std::string::npos) << "the loader's record is read";
    EXPECT_EQ(opened.find("libOpenImageIO.so") != std::string::npos, u.loads);
  }
}

// What a folder holds, name by name with the bytes.
std::map<std::string, std::string> Contents(const fs::path& dir) {
  std::map<std::string, std::string> out;
  for (const std::string& name : Listing(dir)) out[name] = testing::Slurp(dir / name);
  return out;
}

TEST(RenderTool, OutputFolderIsReusedAndOlderFramesReplaced) {
  TempDir tmp("reuse");
  ASSERT_FALSE(Render(tmp, {"--size", "64x36", "--frames", "5"}).is_null());
  std::ofstream(tmp / "out" / "keep.txt") << "not ours";
  const std::string old_frame = testing::Slurp(tmp / "out" / "frame_0004.png");
  ASSERT_FALSE(Render(tmp, {"--size", "64x36", "--frames", "3", "--mode", "center"}).is_null());
  // The earlier run's frames 3 and 4 stay: this run removes only what it writes.
  EXPECT_EQ(Listing(tmp / "out"), (std::set<std::string>{"contact_sheet.png", "frame_0000.png", "frame_0001.png",
                                                          "frame_0002.png", "frame_0003.png", "frame_0004.png",
                                                          "keep.txt", "preview.gif", "report.json",
                                                          "timing_chart.svg", "zelvan-render-manifest.json"}));
  EXPECT_EQ(testing::Slurp(tmp / "out" / "frame_0004.png"), old_frame);
  EXPECT_EQ(ReadJson(tmp / "out" / "report.json")["frames"].size(), 3u);
  // Still listed as ours: a longer run replaces them without --overwrite.
  ASSERT_FALSE(Render(tmp, {"--size", "64x36", "--frames", "5", "--mode", "fit"}).is_null());
  EXPECT_NE(testing::Slurp(tmp / "out" / "frame_0004.png"), old_frame);
  EXPECT_EQ(testing::Slurp(tmp / "out" / "keep.txt"), "not ours");
}

// Files in the output folder that this tool did not write: footage named
// like its frames, a user's file of a frame's name, one of its own frames
// changed since (rewritten, or edited in place to the same size). Each
// survives unless --overwrite; the footage always.
TEST(RenderTool, FilesItDidNotWriteSurvive) {
  struct Case {
    std::string name;
    std::vector<std::string> files;  // put in the folder before the run
    bool our_run_first;              // a run of ours first, then files[0] is rewritten
    std::vector<std::string> extra;  // more arguments
    int exit_code;
    const char* says;                // what a refusal says of files[0]
    bool edit_in_place = false;      // files[0], of our run, gets other bytes and a later time, same size
  };
  const std::vector<Case> cases = {
      {"footage frame_0100 and on, numbered past the renders", {"frame_0100.png", "frame_0101.png", "frame_0102.png"},
       false, {"--source", "@/frame_%04d.png"}, 0, ""},
      {"footage frame_0001 and on, where the renders go", {"frame_0001.png", "frame_0002.png"}, false,
       {"--source", "@/frame_%04d.png"}, 2, "is footage this run reads"},
      {"footage frame_0001 and on, with --overwrite", {"frame_0001.png", "frame_0002.png"}, false,
       {"--source", "@/frame_%04d.png", "--overwrite"}, 2, "is footage this run reads"},
      {"a user's file of a frame's name", {"frame_0002.png"}, false, {}, 2, "exists and zelvan-render did not write it"},
      {"a frame of ours edited since", {"frame_0000.png"}, true, {}, 2, "changed since zelvan-render wrote it"},
      {"a frame of ours edited since, the same size", {"frame_0001.png"}, true, {}, 2,
       "changed since zelvan-render wrote it", true},
      {"a user's file, --overwrite", {"frame_0002.png"}, false, {"-y"}, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tmp("survive");
    const fs::path out = tmp / "out";
    if (c.our_run_first) {
      ASSERT_FALSE(Render(tmp, {"--size", "64x36", "--frames", "3"}).is_null());
    }
    fs::create_directories(out);
    for (std::size_t i = 0; i < c.files.size() && c.edit_in_place; ++i) {
      const fs::path f = out / c.files[i];
      const auto written = fs::last_write_time(f);
      std::string bytes = testing::Slurp(f);
      bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x55);
      std::ofstream(f, std::ios::binary | std::ios::trunc) << bytes;
      fs::last_write_time(f, written + std::chrono::seconds(1));
    }
    for (std::size_t i = 0; i < c.files.size() && !c.edit_in_place; ++i) {
      pixels::PixelWorld w(64, 36, pixels::Depth::k8);
      pixels::PaintFrameStamp(*w.world(), 40 + static_cast<int>(i));
      WriteImage((out / c.files[i]).string(), 64, 36, WorldToRgba(*w.world()), FrameFormat::Png8);
    }
    const auto before = Contents(out);
    std::vector<std::string> args = {"--out", out.string(), "--quiet", "--frames", "3", "--size", "64x36"};
    for (std::string a : c.extra) {
      if (a.rfind("@/", 0) == 0) a = (out / a.substr(2)).string();
      args.push_back(a);
    }
    const testing::ToolRun r = RunTool(args, tmp.path());
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    const auto after = Contents(out);
    for (const std::string& f : c.files) {
      const bool replaced = c.exit_code == 0 && !c.extra.empty() && c.extra[0] == "-y";
      EXPECT_EQ(after.at(f) == before.at(f), !replaced) << f;
    }
    if (c.exit_code != 0) {
      EXPECT_EQ(after, before) << "a refused run leaves the folder as it was";
      EXPECT_NE(r.err.find((out / c.files.front()).string()), std::string::npos) << r.err;
      EXPECT_NE(r.err.find("Fix:"), std::string::npos) << r.err;
      EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
  }
}

// A symbolic link where the run writes, of a frame's name in the folder or as
// the movie, is a file in the way like any other, whatever it points to:
// refused without --overwrite (the link left as it was), and with it the link
// itself is replaced by the file the run writes. What it points to is never
// written through: a file's bytes and a folder's files stay, a link to
// nothing does not make its target, and a link to a manifest of the tool's
// is not taken for one.
struct LinkInTheWay {
  enum class Target { kFile, kFolder, kNothing };

  std::string name;
  std::string place;  // the link's name in the folder
  bool movie = false;  // the link is --out itself
  Target target = Target::kFile;
  std::string holds = "the user's own bytes";  // a file target's
  bool overwrite = false;
  std::string says;  // what the refusal says after the link's path; empty: the run succeeds

  LinkInTheWay& AsTheMovie() { movie = true; return *this; }
  LinkInTheWay& To(Target t) { target = t; return *this; }
  LinkInTheWay& Holding(std::string bytes) { holds = std::move(bytes); return *this; }
  LinkInTheWay& Overwrite() { overwrite = true; return *this; }
  LinkInTheWay& Says(std::string s) { says = std::move(s); return *this; }
};
LinkInTheWay LinkRow(std::string name, std::string place) {
  LinkInTheWay c;
  c.name = std::move(name);
  c.place = std::move(place);
  return c;
}

// Whether the bytes begin as a file of that extension does: PNG's signature,
// an MP4's ftyp box, Matroska's EBML header.
bool LooksLike(const std::string& bytes, const std::string& extension) {
  if (extension == ".png") return bytes.rfind("\x89PNG\r\n\x1a\n", 0) == 0;
  if (extension == ".mp4") return bytes.size() > 8 && bytes.substr(4, 4) == "ftyp";
  if (extension == ".mkv") return bytes.rfind("\x1a\x45\xdf\xa3", 0) == 0;
  return false;
}

TEST(RenderTool, ALinkInTheWayIsReplacedNeverWrittenThrough) {
  using Target = LinkInTheWay::Target;
  const std::string ours = R"({"written_by": "zelvan-render", "files": []})";
  const LinkInTheWay cases[] = {
      LinkRow("a link to a file, of a frame's name", "frame_0001.png").Says("exists and zelvan-render did not write it"),
      LinkRow("a link to a file, of a frame's name, -y", "frame_0001.png").Overwrite(),
      LinkRow("a link to a folder, of a frame's name", "frame_0001.png")
          .To(Target::kFolder).Says("exists and zelvan-render did not write it"),
      LinkRow("a link to nothing, of a frame's name, -y", "frame_0002.png").To(Target::kNothing).Overwrite(),
      LinkRow("a link to a manifest of the tool's, of the manifest's name", "zelvan-render-manifest.json")
          .Holding(ours).Says("exists and zelvan-render did not write it"),
      LinkRow("a link to a file as the movie", "loop.mp4").AsTheMovie().Says("exists"),
      LinkRow("a link to a file as the movie, -y", "loop.mp4").AsTheMovie().Overwrite(),
      LinkRow("a link to a folder as the movie", "loop.mkv").AsTheMovie().To(Target::kFolder).Says("exists"),
      LinkRow("a link to a folder as the movie, -y", "loop.mkv").AsTheMovie().To(Target::kFolder).Overwrite(),
  };
  for (const LinkInTheWay& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tmp("link");
    const fs::path out = tmp / "out", link = out / c.place, target = tmp / "target";
    fs::create_directories(out);
    if (c.target == Target::kFile) std::ofstream(target, std::ios::binary) << c.holds;
    if (c.target == Target::kFolder) {
      fs::create_directories(target);
      std::ofstream(target / "kept.txt") << "mine";
    }
    fs::create_symlink(target, link);
    std::vector<std::string> args = {"--out", c.movie ? link.string() : out.string(), "--quiet", "--frames", "3",
                                     "--size", "64x36"};
    if (c.overwrite) args.push_back("-y");
    const testing::ToolRun r = RunTool(args, tmp.path());
    EXPECT_EQ(r.exit_code, c.says.empty() ? 0 : 2) << r.err;

    switch (c.target) {
      case Target::kFile:
        EXPECT_EQ(testing::Slurp(target), c.holds) << "the link's file as it was";
        break;
      case Target::kFolder:
        EXPECT_EQ(Contents(target), (std::map<std::string, std::string>{{"kept.txt", "mine"}}));
        break;
      case Target::kNothing:
        EXPECT_FALSE(fs::exists(fs::symlink_status(target))) << "nothing made there";
        break;
    }
    if (!c.says.empty()) {
      EXPECT_NE(r.err.find(link.string() + ": " + c.says + ". Fix:"), std::string::npos) << r.err;
      EXPECT_EQ(Listing(out), std::set<std::string>{c.place}) << "nothing written";
      ASSERT_TRUE(fs::is_symlink(link));
      EXPECT_EQ(fs::read_symlink(link), target) << "the link as it was";
    } else {
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(link))) << "the link itself replaced";
      EXPECT_TRUE(LooksLike(testing::Slurp(link), link.extension().string())) << "by the run's own file";
    }
  }
}

// Waits until a run into `out` renders: its staging folder holds a frame
// (the folder is claimed and locked by then), or a movie's hidden file is
// there (made just before the first frame renders).
bool WaitUntilRendering(const fs::path& out) {
  for (int i = 0; i < 4000; ++i) {
    for (const std::string& n : Listing(out)) {
      if (n.rfind(".zelvan-render-staging.", 0) == 0 && !Listing(out / n).empty()) return true;
      if (n.rfind(".zelvan-render", 0) != 0 && n.find(".zelvan-render.") != std::string::npos) return true;
    }
    usleep(5000);
  }
  return false;
}

// Ctrl-C and SIGTERM mid-run: the staging folder goes, the folder is as it
// was (a new folder is not left behind), the exit status says which. A movie
// stopped so leaves no file, and an earlier movie it was to replace stays;
// the message says which was left.
TEST(RenderTool, InterruptedRunLeavesTheFolderAsItWas) {
  for (const int sig : {SIGINT, SIGTERM}) {
    for (const bool existing : {true, false}) {
      for (const char* movie : {"", "loop.mp4", "loop.webm", "loop.gif"}) {
        SCOPED_TRACE(std::string(sig == SIGINT ? "SIGINT" : "SIGTERM") + (existing ? " into a used folder" : "") +
                     " " + movie);
        TempDir tmp("interrupt");
        const fs::path out = tmp / "out";
        const std::string target = *movie != 0 ? (out / movie).string() : out.string();
        if (existing) {
          testing::ToolRun first;
          ASSERT_FALSE(Render(tmp, {"--size", "64x36", "--frames", "2"}, &first).is_null());
          std::ofstream(out / "notes.txt") << "mine";
          if (*movie != 0) {
            ASSERT_EQ(RunTool({"--out", target, "-q", "--size", "64x36", "--frames", "2"}, tmp.path()).exit_code, 0);
          }
        }
        const auto before = Contents(out);
        testing::ToolProcess run({"--out", target, "-y", "--quiet", "--size", "64x36", "--frames", "20000", "--set",
                                  "params.time=90"},
                                 tmp.path());
        EXPECT_TRUE(WaitUntilRendering(out));
        usleep(200000);
        run.Signal(sig);
        const testing::ToolRun r = run.Wait();
        ASSERT_NE(r.exit_code, -1) << "ended by the signal itself, not by the tool";
        EXPECT_EQ(r.exit_code, 128 + sig);
        // A movie's run speaks of the movie, a folder's of the folder.
        EXPECT_NE(r.err.find(*movie != 0 ? ". No movie is written\n" : ". The output folder is left as it was\n"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(fs::exists(out), existing);
        EXPECT_EQ(Contents(out), before);
      }
    }
  }
}

// While a run renders, its folder is its own: a second run into it stops at
// once, naming the first; a file the user writes or changes there meanwhile
// is not replaced (the first run stops, the folder as it was but for that
// file), nor is a movie of the name the run writes. A run that holds on goes
// on to finish.
TEST(RenderTool, AFolderInUseIsNotRaced) {
  struct Case {
    const char* name;
    bool earlier_run;  // the folder holds a run of ours first
    enum { kSecondRun, kWriteFile, kEditFrame } meanwhile;
    int exit_code;     // the first run's
    std::string says;  // what the stopped run says
    const char* file = "report.json";  // what kWriteFile writes
    const char* movie = "";            // the first run writes this movie in the folder
  };
  const Case cases[] = {
      {"a second run into the folder", false, Case::kSecondRun, 0, "another zelvan-render run (process "},
      {"report.json written meanwhile", false, Case::kWriteFile, 2,
       "report.json: appeared while this run was rendering"},
      {"a frame of the earlier run edited meanwhile", true, Case::kEditFrame, 2,
       "frame_0001.png: changed while this run was rendering"},
      {"a movie written meanwhile", false, Case::kWriteFile, 2, "loop.mp4: appeared while this run was rendering",
       "loop.mp4", "loop.mp4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tmp("inuse");
    const fs::path out = tmp / "out";
    if (c.earlier_run) {
      ASSERT_FALSE(Render(tmp, {"--size", "64x36", "--frames", "3"}).is_null());
    }
    const std::string target = *c.movie != 0 ? (out / c.movie).string() : out.string();
    const std::vector<std::string> args = {"--out", target, "--quiet", "--size", "64x36", "--frames", "600"};
    testing::ToolProcess first(args, tmp.path());
    ASSERT_TRUE(WaitUntilRendering(out));
    std::string says;
    if (c.meanwhile == Case::kSecondRun) {
      const auto before = Contents(out);
      const testing::ToolRun second = RunTool({"--out", out.string(), "--quiet", "--frames", "2"}, tmp.path());
      EXPECT_EQ(second.exit_code, 2) << second.err;
      says = second.err;
      EXPECT_NE(second.err.find("(process " + std::to_string(first.pid()) + ")"), std::string::npos) << second.err;
      EXPECT_NE(second.err.find("Fix:"), std::string::npos) << second.err;
      EXPECT_EQ(Contents(out), before) << "the second run wrote nothing";
    } else if (c.meanwhile == Case::kWriteFile) {
      std::ofstream(out / c.file) << "mine";
    } else {
      std::ofstream(out / "frame_0001.png", std::ios::binary | std::ios::app) << "edited";
    }
    const auto meanwhile = Contents(out);
    const testing::ToolRun r = first.Wait();
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    if (c.exit_code == 0) {
      EXPECT_EQ(ReadJson(out / "report.json")["frames"].size(), 600u) << "the first run's own frames only";
      EXPECT_FALSE(fs::exists(out / OutputFolder::kLock)) << "the lock goes with the run";
    } else {
      says = r.err;
      std::map<std::string, std::string> left = meanwhile;
      for (auto it = left.begin(); it != left.end();) {
        it = it->first.find(".zelvan-render") != std::string::npos ? left.erase(it) : std::next(it);
      }
      EXPECT_EQ(Contents(out), left) << "the folder as it was, the user's file kept, the staging folder and lock gone";
      EXPECT_NE(r.err.find("Fix:"), std::string::npos) << r.err;
    }
    EXPECT_NE(says.find(c.says), std::string::npos) << says;
  }
}

// Makes a clip with the ffmpeg program from a generated source; returns its path.
// FFmpeg's own decode of every frame, as its converter shows it by default
// (turned upright), one PNG file each, in order.
std::vector<fs::path> FfmpegPictures(const fs::path& clip, const std::string& options, const std::string& input = "") {
  const fs::path dir = clip.string() + ".ffmpeg";
  fs::create_directories(dir);
  const std::string cmd = "ffmpeg -v error -y " + input + " -i " + testing::Quote(clip.string()) + " " + options + " " +
                          testing::Quote((dir / "%05d.png").string()) + " </dev/null";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  std::vector<fs::path> files;
  for (const std::string& name : Listing(dir)) files.push_back(dir / name);  // numbered: sorted is in order
  return files;
}

// A frame as the host's world at `depth` holds it, premultiplied: 8 bits
// over 255 and 16 bits over 32768 as whole numbers, float as stored. `file`
// is a frame the tool wrote as EXR (which holds the world's values), or one
// of FFmpeg's PNG files, premultiplied on read by the image library as any
// image file is.
std::vector<float> WorldValues(const fs::path& file, int depth, int* width, int* height) {
  std::vector<float> v = ReadImage(file.string(), width, height);
  const bool exr = file.extension() == ".exr";
  for (float& x : v) {
    if (depth == 8) {
      x = std::round(x * 255.0f);
    } else if (depth == 16) {
      x = exr ? std::round(x * 32768.0f) : To15(static_cast<uint16_t>(std::lround(x * 65535.0f)));
    }
  }
  return v;
}

// Where two frames first differ, and in how many values; empty when equal.
std::string Difference(const std::vector<float>& got, const std::vector<float>& want, int width) {
  if (got.size() != want.size()) return "sizes differ";
  std::size_t n = 0, first = 0;
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (got[i] != want[i] && n++ == 0) first = i;
  }
  if (n == 0) return "";
  const std::size_t px = first / 4;
  return std::to_string(n) + " values differ, the first at x " + std::to_string(px % static_cast<std::size_t>(width)) +
         " y " + std::to_string(px / static_cast<std::size_t>(width)) + " channel " + "RGBA"[first % 4] + ": " +
         std::to_string(got[first]) + " instead of " + std::to_string(want[first]);
}

// The standard output of a command (the ffmpeg or ffprobe program), which must succeed.
std::string Capture(const std::string& cmd) {
  std::string out;
  FILE* p = ::popen((cmd + " </dev/null").c_str(), "r");
  if (p == nullptr) {
    ADD_FAILURE() << cmd;
    return out;
  }
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  EXPECT_EQ(::pclose(p), 0) << cmd;
  return out;
}

// One clip made with the ffmpeg program and the way the tool renders it.
struct ClipCase {
  ClipCase(std::string name_, std::string source_, std::string encode_, std::string file_, int frames_ = 2,
           int rate_ = 25, int depth_ = 8)
      : name(std::move(name_)), source(std::move(source_)), encode(std::move(encode_)), file(std::move(file_)),
        frames(frames_), rate(rate_), depth(depth_) {}
  std::string name;
  std::string source;  // the generated source (a lavfi graph)
  std::string encode;  // ffmpeg options that make the clip: frames, pixel format, codec
  std::string file;    // its name (the container)
  int frames;          // frames at the clip's rate, as FFmpeg decodes them
  int rate;            // the clip's rate
  int depth;           // the composition's
  std::string remux;    // ffmpeg options of a stream copy after encoding (display rotation)
  std::string copy_into;  // the file of that copy, when another container; else "shown-" and the file
  std::string decode;   // ffmpeg options of the decode the frames are compared with
  int comp_rate = 0;    // the composition's rate, when not the clip's
  int downsample = 1;   // the composition's resolution: the clip is sampled down by nearest pixel
  bool there_and_back = false;  // forwards to the last frame and back to the first, else forwards once
  std::vector<std::string> args;  // more options for the tool
  json source_facts = json::object();  // fields report.json's "source" must hold
  std::string warning;  // what the run must warn

  bool quiet = false;   // the run must warn of nothing

  ClipCase& Remux(std::string options) { remux = std::move(options); return *this; }
  ClipCase& Facts(json facts) { source_facts = std::move(facts); return *this; }
  ClipCase& Warns(std::string text) { warning = std::move(text); return *this; }
  ClipCase& From(std::string graph) { source = std::move(graph); return *this; }
  ClipCase& Encode(std::string options) { encode = std::move(options); return *this; }
  ClipCase& Frames(int n) { frames = n; return *this; }
  ClipCase& Quiet() { quiet = true; return *this; }
  // Copied stream by stream into another container, as `ffmpeg -i clip.mp4 -c copy clip.ts`.
  ClipCase& CopyInto(std::string other) { copy_into = std::move(other); return *this; }
  // Forwards to the last frame and back: the frames decoded on the way to
  // one are kept for the next steps back.
  ClipCase& ThereAndBack() { there_and_back = true; return *this; }
  // Forwards and back with no cache: every step back seeks to the keyframe
  // before the frame.
  ClipCase& WalkBack() {
    args = {"--cache-mb", "0"};
    return ThereAndBack();
  }
  ClipCase& Depth(int bits) { depth = bits; return *this; }
};

// A row by its name and file, the rest by the setters above:
// ClipRow("name", "clip.ts").Encode("-frames:v 24 -c:v libx264").Frames(24).WalkBack()
ClipCase ClipRow(std::string name, std::string file) {
  return ClipCase(std::move(name), "testsrc2=size=96x54:rate=25", "", std::move(file));
}

std::vector<ClipCase> ClipCases() {
  const std::string x264 = "-pix_fmt yuv420p -c:v libx264";
  // A colour gradient over an alpha ramp from 0 to 255 and beyond.
  const std::string alpha = "testsrc2=size=66x36:rate=25,format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='X*4'";
  ClipCase back{"x264 with B-frames, forwards and back past the cache", "testsrc2=size=96x54:rate=25",
                "-frames:v 120 " + x264 + " -bf 3 -g 12", "take#1.mp4", 120};
  back.there_and_back = true;
  back.args = {"--cache-mb", "1"};
  std::vector<ClipCase> cases = {
      back,
      {"square 1080x1080", "testsrc2=size=1080x1080:rate=25", "-frames:v 2 " + x264, "square.mp4"},
      {"vertical 1080x1920", "testsrc2=size=1080x1920:rate=25", "-frames:v 2 " + x264, "vertical.mp4"},
      {"854x480", "testsrc2=size=854x480:rate=25", "-frames:v 2 " + x264, "wide.mp4"},
      {"x264 4:2:2 1080 wide", "testsrc2=size=1080x32:rate=25", "-frames:v 2 -pix_fmt yuv422p -c:v libx264",
       "x264-422.mp4"},
      {"MJPEG yuvj422p", "testsrc2=size=330x32:rate=25", "-frames:v 2 -pix_fmt yuvj422p -c:v mjpeg", "mjpeg.mov"},
      {"x264 10-bit at 16 bits", "testsrc2=size=330x32:rate=25", "-frames:v 2 -pix_fmt yuv420p10le -c:v libx264",
       "x264-10bit.mp4", 2, 25, 16},
      {"ProRes 4444 with alpha at 16 bits", alpha, "-frames:v 2 -c:v prores_ks -profile:v 4444 -pix_fmt yuva444p10le",
       "prores4444.mov", 2, 25, 16},
      {"ProRes 4444 with alpha at 32 bits", alpha, "-frames:v 2 -c:v prores_ks -profile:v 4444 -pix_fmt yuva444p10le",
       "prores4444.mov", 2, 25, 32},
      // RGB stored: no matrix, full range, whatever the stream leaves unsaid.
      ClipCase{"QuickTime RLE with alpha at 8 bits", alpha, "-frames:v 2 -c:v qtrle -pix_fmt argb", "qtrle.mov"}
          .Facts({{"matrix", "gbr"}, {"range", "pc"}, {"bits", 8}}),
      {"PNG in MOV with alpha at 8 bits", alpha, "-frames:v 2 -c:v png -pix_fmt rgba", "png.mov"},
      {"PNG in MOV with alpha at 32 bits", alpha, "-frames:v 2 -c:v png -pix_fmt rgba64be", "png16.mov", 2, 25, 32},
  };
  // At 96x54 every frame of the test source differs from the next.
  const std::string source = "testsrc2=size=96x54:rate=25";
  for (const int degrees : {90, 180, 270}) {
    ClipCase c{"turned " + std::to_string(degrees) + " degrees", source, "-frames:v 3 " + x264, "turned.mp4", 3};
    c.remux = "-metadata:s:v rotate=" + std::to_string(360 - degrees);
    c.source_facts = {{"width", degrees == 180 ? 96 : 54}, {"height", degrees == 180 ? 54 : 96}};
    cases.push_back(c);
  }
  ClipCase half = cases.back();
  half.name = "turned 270 degrees at half resolution";
  half.downsample = 2;
  cases.push_back(half);
  ClipCase slower{"24 fps clip in a 30 fps composition", "testsrc2=size=96x54:rate=24", "-frames:v 12 " + x264,
                  "24fps.mp4", 12, 24};
  slower.comp_rate = 30;
  cases.push_back(slower);
  // Frames 3, 6 and 7 of 25 fps are missing, their times left empty; the
  // reference picks frames by time as FFmpeg's fps filter does.
  ClipCase vfr{"variable rate", source,
               "-frames:v 12 -vf select='not(eq(n\\,3)+eq(n\\,6)+eq(n\\,7))' -vsync vfr " + x264, "vfr.mp4", 15};
  vfr.decode = "-vf fps=25";
  vfr.source_facts = {{"variable_rate", true}, {"fps", 25}, {"frames", 15}};
  vfr.warning = "vfr.mp4: its frame rate is variable";
  cases.push_back(vfr);
  ClipCase sar{"pixels twice as wide as high", source, "-frames:v 2 -vf setsar=2 " + x264, "sar.mp4"};
  sar.source_facts = {{"pixel_aspect", 2}, {"variable_rate", false}};
  sar.warning = "sar.mp4: its pixels are not square (pixel aspect 2:1)";
  cases.push_back(sar);
  // Stored pixels twice as wide, turned a quarter: shown, they are twice as high.
  cases.push_back(ClipCase{"turned 90 degrees, pixels twice as wide", source, "-frames:v 2 -vf setsar=2 " + x264,
                           "sar-turned.mp4"}
                      .Remux("-metadata:s:v rotate=270")
                      .Facts({{"pixel_aspect", "1/2"}, {"width", 54}, {"height", 96}})
                      .Warns("(pixel aspect 1:2); they are shown square, not resampled, so the picture looks wider"));
  // Containers as cameras, editors and broadcasters write them, each clip
  // two groups of pictures walked forwards and back.
  const std::string h264 = "-frames:v 24 " + x264 + " -bf 3 -g 12";
  const std::string mpeg2 = "-frames:v 24 -c:v mpeg2video -bf 2 -g 12";
  const std::vector<ClipCase> containers = {
      ClipRow("H.264 copied from MP4 into MPEG-TS", "clip.mp4").Encode(h264).CopyInto("clip.ts").Frames(24)
          .WalkBack().Quiet(),
      // 2^33 ticks of 90 kHz are 95443.7 s: these times start far from zero,
      // and the next ones pass the clock's wrap halfway through the clip.
      ClipRow("H.264 in M2TS, times far from zero", "clip.m2ts")
          .Encode(h264 + " -output_ts_offset 86000").Frames(24).WalkBack().Quiet(),
      ClipRow("H.264 in MTS, the clock wraps", "clip.mts")
          .Encode(h264 + " -output_ts_offset 95441.8").Frames(24).WalkBack().Quiet(),
      ClipRow("MPEG-2 in MPEG-TS", "clip.ts").Encode(mpeg2).Frames(24).WalkBack().Quiet(),
      ClipRow("H.265 in MPEG-TS", "hevc.ts").Encode("-frames:v 24 -c:v libx265 -x265-params log-level=none -g 12").Frames(24).ThereAndBack().Quiet(),
      ClipRow("MPEG-2 in MPEG-PS, constant rate", "clip.mpg")
          .Encode(mpeg2).Frames(24).ThereAndBack().Quiet().Facts({{"variable_rate", false}, {"fps", 25}}),
      ClipRow("MPEG-2 in VOB", "clip.vob").Encode(mpeg2).Frames(24).WalkBack().Quiet(),
      // AVI keeps no presentation times, and counts this copy at 50 fps.
      ClipRow("H.264 with B-frames copied from MP4 into AVI, numbered as decoded", "clip.mp4")
          .Encode(h264).CopyInto("clip.avi").Frames(24).WalkBack().Facts({{"fps", 25}})
          .Warns("clip.avi: its frames carry no presentation times"),
      ClipRow("MPEG-4 Part 2 with B-frames in AVI", "mpeg4.avi")
          .Encode("-frames:v 24 -c:v mpeg4 -bf 2 -g 12").Frames(24).WalkBack().Quiet(),
      ClipRow("MJPEG in AVI", "mjpeg.avi").Encode("-frames:v 3 -pix_fmt yuvj422p -c:v mjpeg").Frames(3).Quiet(),
      // DNxHR takes nothing smaller than 256x120.
      ClipRow("DNxHR in MXF", "dnxhr.mxf")
          .From("testsrc2=size=256x120:rate=25").Encode("-frames:v 3 -c:v dnxhd -profile:v dnxhr_lb -pix_fmt yuv422p")
          .Frames(3).Quiet(),
      ClipRow("XDCAM MPEG-2 4:2:2 in MXF", "xdcam.mxf")
          .Encode("-frames:v 12 -c:v mpeg2video -pix_fmt yuv422p -bf 2 -g 6").Frames(12).WalkBack().Quiet(),
      ClipRow("H.263 in 3GP", "clip.3gp").From("testsrc2=size=128x96:rate=25").Encode("-frames:v 3 -c:v h263")
          .Frames(3).Quiet(),
      ClipRow("H.264 with B-frames in FLV", "clip.flv").Encode(h264).Frames(24).WalkBack().Quiet(),
      ClipRow("VP9 in WebM", "clip.webm").Encode("-frames:v 24 -c:v libvpx-vp9 -g 12").Frames(24).WalkBack().Quiet(),
  };
  cases.insert(cases.end(), containers.begin(), containers.end());
  // Colour as the stream declares it (or not), converted as FFmpeg converts it;
  // each clip's own matrix made from the test source's RGB, its tags named as
  // ffprobe names them.
  const auto tags = [](const std::string& primaries, const std::string& transfer, const std::string& matrix) {
    return " -color_primaries " + primaries + " -color_trc " + transfer + " -colorspace " + matrix;
  };
  const auto colour = [](json primaries, json transfer, json matrix, json range, int bits) {
    return json{{"primaries", primaries}, {"transfer", transfer}, {"matrix", matrix}, {"range", range}, {"bits", bits}};
  };
  const std::string bt2020 = "-frames:v 2 -vf scale=out_color_matrix=bt2020 -pix_fmt yuv420p10le -c:v libx264";
  cases.push_back(ClipCase{"BT.601 SD tagged so", "testsrc2=size=720x480:rate=25",
                           "-frames:v 2 -vf scale=out_color_matrix=bt601 " + x264 +
                               tags("smpte170m", "smpte170m", "smpte170m"),
                           "sd601.mp4"}
                      .Facts(colour("smpte170m", "smpte170m", "smpte170m", "tv", 8)));
  cases.push_back(ClipCase{"SD untagged", "testsrc2=size=720x480:rate=25", "-frames:v 2 " + x264, "sd.mp4"}
                      .Facts(colour(nullptr, nullptr, nullptr, nullptr, 8)));
  cases.push_back(ClipCase{"BT.709 full range", source,
                           "-frames:v 2 -vf scale=out_color_matrix=bt709:out_range=full " + x264 +
                               tags("bt709", "bt709", "bt709") + " -color_range pc",
                           "full709.mp4"}
                      .Facts(colour("bt709", "bt709", "bt709", "pc", 8)));
  cases.push_back(ClipCase{"BT.2020 10-bit at 16 bits", source, bt2020 + tags("bt2020", "bt2020-10", "bt2020nc"),
                           "bt2020.mp4"}
                      .Depth(16)
                      .Facts(colour("bt2020", "bt2020-10", "bt2020nc", "tv", 10)));
  // HDR: the values as stored, as FFmpeg's converter gives them too.
  cases.push_back(ClipCase{"PQ shown as stored", source, bt2020 + tags("bt2020", "smpte2084", "bt2020nc"), "pq.mp4"}
                      .Depth(16)
                      .Facts(colour("bt2020", "smpte2084", "bt2020nc", "tv", 10))
                      .Warns("pq.mp4: its transfer is PQ (HDR, smpte2084), which a render cannot show: PQ's values "
                             "are shown as they are stored, so the picture looks flat and dim"));
  cases.push_back(ClipCase{"HLG shown as stored", source, bt2020 + tags("bt2020", "arib-std-b67", "bt2020nc"),
                           "hlg.mp4"}
                      .Depth(16)
                      .Facts(colour("bt2020", "arib-std-b67", "bt2020nc", "tv", 10))
                      .Warns("hlg.mp4: its transfer is HLG (HDR, arib-std-b67), which a render cannot show"));
  // Every width from 322 to 352: each remainder by 16 and 32 that 4:2:0
  // allows, even widths through x264, odd ones through FFV1.
  for (int w = 322; w <= 352; ++w) {
    const std::string size = std::to_string(w) + ":8";
    cases.push_back({"4:2:0 " + std::to_string(w) + " wide", "testsrc2=size=352x8:rate=25,scale=" + size + ",format=yuv420p",
                     w % 2 == 0 ? "-frames:v 2 " + x264 : "-frames:v 2 -c:v ffv1", w % 2 == 0 ? "w.mp4" : "w.mkv"});
  }
  return cases;
}

void PrintTo(const ClipCase& c, std::ostream* os) { *os << c.name; }

class MovieFramesEqualFfmpegsDecode : public ::testing::TestWithParam<ClipCase> {};

// Each clip's frames, frame by frame, equal FFmpeg's own decode of the same
// source frame, which the test works out from the time the plug-in asked
// for (never from what the report says was shown). The composition takes
// the clip's size and rate unless the case sets a rate; the frames are
// compared as the world holds them (written as EXR), premultiplied.
TEST_P(MovieFramesEqualFfmpegsDecode, FrameByFrame) {
  const ClipCase& c = GetParam();
  TempDir tmp("movie");
  fs::path clip = MakeClip(tmp, c.file, c.encode, c.source);
  if (!c.remux.empty() || !c.copy_into.empty()) {
    const fs::path made = clip;
    clip = tmp / (c.copy_into.empty() ? "shown-" + c.file : c.copy_into);
    const std::string cmd = "ffmpeg -v error -y -i " + testing::Quote(made.string()) + " -c copy " + c.remux + " " +
                            testing::Quote(clip.string()) + " </dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }
  const std::vector<fs::path> ref = FfmpegPictures(clip, c.decode + " -pix_fmt " + (c.depth == 8 ? "rgba" : "rgba64be"));
  ASSERT_EQ(ref.size(), static_cast<std::size_t>(c.frames));
  const int comp_rate = c.comp_rate > 0 ? c.comp_rate : c.rate;
  // Forwards: the first half-turn of a linear Pingpong spans the source.
  const int n = c.there_and_back ? 2 * c.frames - 1 : c.frames * comp_rate / c.rate;
  const double key_end = static_cast<double>(c.there_and_back ? 2 * (c.frames - 1) : n - 1) / comp_rate;
  char time[96];
  std::snprintf(time, sizeof time, "params.time={\"keys\": [[0, 0], [%.17g, %d]]}", key_end, c.there_and_back ? 720 : 360);
  std::vector<std::string> args = {"--source", clip.string(), "--frames", std::to_string(n), "--depth",
                                   std::to_string(c.depth), "--format", "exr", "--type", "pingpong", "--easing",
                                   "linear", "--waiting", "0", "--set", time};
  if (c.comp_rate > 0) args.insert(args.end(), {"--fps", std::to_string(c.comp_rate)});
  if (c.downsample > 1) args.insert(args.end(), {"--downsample", std::to_string(c.downsample)});
  args.insert(args.end(), c.args.begin(), c.args.end());
  testing::ToolRun run;
  const json report = Render(tmp, args, &run);
  ASSERT_FALSE(report.is_null());
  if (!c.warning.empty()) {
    const std::size_t first = run.err.find(c.warning);
    EXPECT_NE(first, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(c.warning, first + 1), std::string::npos) << "said once: " << run.err;
  }
  for (const auto& [key, value] : c.source_facts.items()) {
    EXPECT_EQ(report["source"].value(key, json("absent")), value) << key;
  }
  if (c.quiet) {
    EXPECT_EQ(run.err, "") << "nothing to warn of";
  }
  // The display rotation as ffprobe shows it, 0 without one.
  const std::string probed = Capture("ffprobe -v error -select_streams v -show_entries stream_side_data=rotation -of "
                                     "csv=p=0 " + testing::Quote(clip.string()));
  EXPECT_EQ(report["source"]["rotation"], std::atoi(probed.c_str())) << probed;

  int rw = 0, rh = 0;
  (void)ReadImage(ref.front().string(), &rw, &rh);
  EXPECT_EQ(report["scene"]["comp"]["width"], rw);
  EXPECT_EQ(report["scene"]["comp"]["height"], rh);
  EXPECT_EQ(report["scene"]["comp"]["fps"], comp_rate);
  EXPECT_EQ(report["source"]["frames"], c.frames);
  std::set<int64_t> shown;
  for (const json& f : report["frames"]) {
    SCOPED_TRACE("composition frame " + f["frame"].dump());
    ASSERT_FALSE(f["layer_time"].is_null());
    // The host's layer frame at the composition's rate, then the clip's frame at that moment.
    const A_Time t = TimeOf(f["layer_time"]);
    const auto s = std::min<int64_t>(oracle::ClipFrameAt(Sec(t), comp_rate, c.rate), c.frames - 1);
    EXPECT_EQ(f["source_frame"], s);
    shown.insert(s);
    int w = 0, h = 0, fw = 0, fh = 0;
    const std::vector<float> got = WorldValues(tmp / "out" / f["file"].get<std::string>(), c.depth, &w, &h);
    const std::vector<float> full = WorldValues(ref[static_cast<std::size_t>(s)], c.depth, &fw, &fh);
    ASSERT_EQ(w, oracle::DownsampledSize(fw, c.downsample));
    ASSERT_EQ(h, oracle::DownsampledSize(fh, c.downsample));
    // At a lower resolution the host hands the layer over sampled down by nearest pixel.
    std::vector<float> want(got.size());
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const std::size_t from = (static_cast<std::size_t>(y * fh / h) * static_cast<std::size_t>(fw) +
                                  static_cast<std::size_t>(x * fw / w)) * 4;
        std::copy_n(&full[from], 4, &want[(static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)) * 4]);
      }
    }
    const std::string diff = Difference(got, want, w);
    EXPECT_TRUE(diff.empty()) << "source frame " << s << ": " << diff;
  }
  EXPECT_EQ(shown.size(), static_cast<std::size_t>(c.frames)) << "every frame, the last one included";
  if (c.there_and_back) {
    EXPECT_EQ(report["frames"][c.frames - 1]["source_frame"], c.frames - 1);
    EXPECT_EQ(report["frames"][n - 1]["source_frame"], 0);
  }
}

std::string CaseName(const ::testing::TestParamInfo<ClipCase>& info) {
  std::string name;
  for (const char ch : info.param.name) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Clips, MovieFramesEqualFfmpegsDecode, ::testing::ValuesIn(ClipCases()), CaseName);

// Peak signal-to-noise ratio in dB of two RGBA frames of values 0 to 1 over
// their first `channels` channels; infinite when they are equal.
double Psnr(const std::vector<float>& got, const std::vector<float>& want, int channels) {
  double sum = 0.0;
  std::size_t n = 0;
  for (std::size_t i = 0; i + 3 < want.size() && i + 3 < got.size(); i += 4) {
    for (int c = 0; c < channels; ++c) {
      const std::size_t at = i + static_cast<std::size_t>(c);
      const double d = static_cast<double>(got[at]) - want[at];
      sum += d * d;
      ++n;
    }
  }
  return sum == 0.0 ? INFINITY : 10.0 * std::log10(static_cast<double>(n) / sum);
}

// A scene written as a movie, and what the movie must hold, built row by row:
// MovieRow("name", "loop.mkv").Depth(16).Codec("ffv1", "gbrap16le")...
struct MovieOutput {
  // The render's source: a clip with an alpha ramp (in every frame, or from
  // the second on), a 16-bit still of fine gradients with alpha (sRGB), or an
  // opaque clip, untagged or PQ (HDR).
  enum class Source { kAlphaRamp, kAlphaLater, kGradient, kOpaque, kPq };

  std::string name;
  std::string file;  // the movie's file name: its extension picks the container
  int depth = 8;     // the render's
  Source source = Source::kAlphaRamp;
  std::string sound;  // the source's sound, by FFmpeg's encoder (over an opaque clip); empty: none
  bool copy_sound = false;  // --audio copy
  std::vector<std::string> args;        // more of the scene
  std::vector<std::string> movie_args;  // options of the movie alone
  std::string codec;    // as ffprobe names the stream
  std::string decoded;  // the pixel format FFmpeg decodes it to
  std::string profile;  // as ffprobe names it; empty: not checked
  std::string tag;      // the codec's tag in the container; empty: not checked
  std::string decoder;  // FFmpeg's decoder to compare with; empty: its own
  std::string decoded_by_decoder;  // the pixel format that decoder gives
  bool alpha_mode = false;  // a WebM's stream says it holds alpha
  bool over_black = false;  // the kind has no alpha: the render shows over black
  std::string rate = "25/1";  // the composition's, as ffprobe gives it
  double min_psnr = 0;  // against the PNG frames; 0: equal exactly
  std::string holds;    // bytes the movie holds (x264's record of its settings)
  int coded_width = 0;  // with padding; 0: the frames' size
  int coded_height = 0;
  // The colour tags the stream must carry, as ffprobe names them; empty: not checked.
  std::map<std::string, std::string> tags;

  MovieOutput& Depth(int d) { depth = d; return *this; }
  MovieOutput& From(Source s) { source = s; return *this; }
  MovieOutput& Scene(std::vector<std::string> a) { args = std::move(a); return *this; }
  MovieOutput& MovieArgs(std::vector<std::string> a) { movie_args = std::move(a); return *this; }
  MovieOutput& Codec(std::string c, std::string d) { codec = std::move(c); decoded = std::move(d); return *this; }
  MovieOutput& Profile(std::string p) { profile = std::move(p); return *this; }
  MovieOutput& Tag(std::string t) { tag = std::move(t); return *this; }
  MovieOutput& DecodedBy(std::string d, std::string pixels) {
    decoder = std::move(d);
    decoded_by_decoder = std::move(pixels);
    return *this;
  }
  MovieOutput& AlphaMode() { alpha_mode = true; return *this; }
  MovieOutput& OverBlack() { over_black = true; return *this; }
  // A source with half a second of sound beside its pictures, copied or not.
  MovieOutput& Sound(std::string encoder, bool copied) {
    sound = std::move(encoder);
    copy_sound = copied;
    source = Source::kOpaque;
    return *this;
  }
  MovieOutput& Rate(std::string r) { rate = std::move(r); return *this; }
  MovieOutput& Psnr(double db) { min_psnr = db; return *this; }
  MovieOutput& Holds(std::string bytes) { holds = std::move(bytes); return *this; }
  MovieOutput& Padded(int w, int h) { coded_width = w; coded_height = h; return *this; }
  MovieOutput& Tagged(std::string primaries, std::string transfer, std::string matrix, std::string range) {
    tags = {{"color_primaries", std::move(primaries)}, {"color_transfer", std::move(transfer)},
            {"color_space", std::move(matrix)}, {"color_range", std::move(range)}};
    return *this;
  }
  bool alpha() const { return source == Source::kAlphaRamp || source == Source::kAlphaLater || source == Source::kGradient; }
  // Every frame of an intra-only codec is a keyframe, so that any frame can
  // be cut or sought.
  bool intra() const { return codec == "ffv1" || codec == "prores"; }
};
MovieOutput MovieRow(std::string name, std::string file) {
  MovieOutput c;
  c.name = std::move(name);
  c.file = std::move(file);
  return c;
}

void PrintTo(const MovieOutput& c, std::ostream* os) { *os << c.name; }

std::vector<MovieOutput> MovieOutputs() {
  using Source = MovieOutput::Source;
  const std::vector<std::string> ntsc = {"--fps", "30000/1001"};
  return {
      MovieRow("FFV1 8-bit with alpha", "loop.mkv").Codec("ffv1", "bgra"),
      MovieRow("FFV1 16-bit with alpha", "loop.mkv").Depth(16).Codec("ffv1", "gbrap16le"),
      MovieRow("FFV1 float as 16-bit, upper-case name, NTSC rate", "LOOP.MKV")
          .Depth(32).Scene(ntsc).Codec("ffv1", "gbrap16le").Rate("30000/1001"),
      // 4:2:0 halves the colour of the test source's sharp edges: about 30 dB.
      MovieRow("H.264 8-bit with alpha, over black, NTSC rate", "loop.mp4")
          .Scene(ntsc).Codec("h264", "yuv420p").OverBlack().Rate("30000/1001").Psnr(27),
      MovieRow("H.264 16-bit with alpha, odd size padded", "loop.Mp4")
          .Depth(16).Scene({"--size", "65x35"}).Codec("h264", "yuv420p").OverBlack().Psnr(27).Padded(66, 36),
      // The movie's primaries and transfer are its source's (unknown for an
      // untagged clip), its matrix and range its own conversion's.
      MovieRow("H.264 16-bit opaque", "loop.mp4")
          .Depth(16).From(Source::kOpaque).Codec("h264", "yuv420p").OverBlack().Psnr(27).Tagged("unknown", "unknown", "bt709", "tv"),
      MovieRow("H.264 float opaque", "loop.mp4").Depth(32).From(Source::kOpaque).Codec("h264", "yuv420p").OverBlack().Psnr(27),
      MovieRow("H.264 gradients at the default --crf 18", "loop.mp4")
          .From(Source::kGradient).Codec("h264", "yuv420p").OverBlack().Profile("High").Tag("avc1").Rate("30/1").Psnr(40).Holds("crf=18.0")
          .Tagged("bt709", "iec61966-2-1", "bt709", "tv"),
      MovieRow("H.264 from PQ, tagged PQ", "loop.mp4")
          .From(Source::kPq).Codec("h264", "yuv420p").OverBlack().Psnr(27).Tagged("bt2020", "smpte2084", "bt709", "tv"),
      MovieRow("ProRes 4444 16-bit from PQ, tagged PQ", "loop.mov")
          .Depth(16).From(Source::kPq).MovieArgs({"--prores", "4444"}).Codec("prores", "yuva444p12le").Psnr(60)
          .Tagged("bt2020", "smpte2084", "bt709", "tv"),
      MovieRow("FFV1 from PQ, RGB tagged PQ", "loop.mkv")
          .From(Source::kPq).Codec("ffv1", "bgra").Tagged("bt2020", "smpte2084", "unknown", "unknown"),
      // x265 at crf 0 is not lossless (x264's would be, in a profile few
      // players take, which the command line refuses).
      MovieRow("H.265 gradients at --crf 0", "loop.mp4")
          .Depth(16).From(Source::kGradient).MovieArgs({"--codec", "h265", "--crf", "0"}).Codec("hevc", "yuv420p")
          .OverBlack().Profile("Main").Tag("hvc1").Rate("30/1").Psnr(48).Holds("crf=0.0"),
      MovieRow("ProRes 4444 8-bit with alpha, NTSC rate", "loop.mov")
          .Scene(ntsc).Codec("prores", "yuva444p12le").Profile("4444").Tag("ap4h").Rate("30000/1001").Psnr(48),
      MovieRow("ProRes 4444 8-bit taller than the rows converted at a time", "loop.mov")
          .Scene({"--size", "66x150"}).Codec("prores", "yuva444p12le").Psnr(48),
      // At a lower resolution the movie has the frames' size, which the host
      // rounds half up: 64 x 37 at 1/3 is 21 x 12 (21.3, 12.3), which an .mp4
      // pads to 22 x 12; 65 x 38 at 1/4 is 16 x 10 (16.25, 9.5).
      MovieRow("FFV1 16-bit at a third, odd width", "loop.mkv")
          .Depth(16).Scene({"--size", "64x37", "--downsample", "3"}).Codec("ffv1", "gbrap16le"),
      MovieRow("FFV1 8-bit at a quarter", "loop.mkv").Scene({"--size", "65x38", "--downsample", "4"}).Codec("ffv1", "bgra"),
      // Its hidden name while it is written is cut to fit the file system's 255 bytes.
      MovieRow("FFV1 8-bit under a name of 245 bytes", std::string(241, 'l') + ".mkv").Codec("ffv1", "bgra"),
      // So small, nearly every pixel of the test source is beside an edge
      // whose colour 4:2:0 halves: about 21.5 dB.
      MovieRow("H.264 at a third, odd width padded", "loop.mp4")
          .Scene({"--size", "64x37", "--downsample", "3"}).Codec("h264", "yuv420p").OverBlack().Psnr(20).Padded(22, 12),
      MovieRow("H.264 at a quarter", "loop.mp4")
          .Scene({"--size", "65x38", "--downsample", "4"}).Codec("h264", "yuv420p").OverBlack().Psnr(20),
      MovieRow("ProRes 4444 at a third, odd width", "loop.mov")
          .Scene({"--size", "64x37", "--downsample", "3"}).Codec("prores", "yuva444p12le").Psnr(40),
      MovieRow("ProRes 4444 16-bit at a quarter", "loop.mov")
          .Depth(16).Scene({"--size", "65x38", "--downsample", "4"}).Codec("prores", "yuva444p12le").Psnr(40),
      // Through 8 bits these two would give 59 and 57 dB.
      MovieRow("ProRes 4444 16-bit with alpha", "loop.mov").Depth(16).Codec("prores", "yuva444p12le").Psnr(61),
      MovieRow("ProRes 4444 16-bit gradients", "loop.mov")
          .Depth(16).From(Source::kGradient).Codec("prores", "yuva444p12le").Rate("30/1").Psnr(61),
      // The other kinds, each once: H.265 tagged hvc1; VP9 with alpha where
      // the first frame has it (libvpx's decoder gives it back, FFmpeg's own
      // drops it), without where it has none, over black for a later frame
      // with alpha; each ProRes profile; the GIF over black.
      MovieRow("H.265 8-bit with alpha, over black, odd size padded, a name of 245 bytes", std::string(241, 'h') + ".mp4")
          .Scene({"--size", "65x35"}).MovieArgs({"--codec", "h265"}).Codec("hevc", "yuv420p").OverBlack()
          .Profile("Main").Tag("hvc1").Psnr(27).Padded(66, 36),
      MovieRow("VP9 8-bit with alpha", "loop.webm")
          .Codec("vp9", "yuv420p").Profile("Profile 0").AlphaMode().DecodedBy("libvpx-vp9", "yuva420p").Psnr(28),
      MovieRow("VP9 float with alpha, odd size", "loop.webm")
          .Depth(32).Scene({"--size", "65x35"}).Codec("vp9", "yuv420p").Profile("Profile 0").AlphaMode()
          .DecodedBy("libvpx-vp9", "yuva420p").Psnr(28),
      MovieRow("VP9 16-bit opaque", "loop.webm")
          .Depth(16).From(Source::kOpaque).Codec("vp9", "yuv420p").Profile("Profile 0")
          .DecodedBy("libvpx-vp9", "yuv420p").Psnr(27),
      MovieRow("VP9 8-bit, alpha from the second frame on, over black", "loop.webm")
          .From(Source::kAlphaLater).Scene({"--play-once"}).Codec("vp9", "yuv420p").OverBlack().DecodedBy("libvpx-vp9", "yuv420p").Psnr(27),
      MovieRow("ProRes 4444 XQ float with alpha", "loop.mov")
          .Depth(32).MovieArgs({"--prores", "4444xq"}).Codec("prores", "yuva444p12le").Profile("XQ").Tag("ap4x")
          .Psnr(48),
      MovieRow("ProRes 422 HQ 16-bit opaque, the default without alpha", "loop.mov")
          .Depth(16).From(Source::kOpaque).Codec("prores", "yuv422p10le").Profile("HQ").Tag("apch").Psnr(31),
      MovieRow("ProRes 422 8-bit with alpha, over black", "loop.mov")
          .MovieArgs({"--prores", "422"}).Codec("prores", "yuv422p10le").OverBlack().Profile("Standard").Tag("apcn")
          .Psnr(30),
      MovieRow("ProRes 422 LT at a third, odd width", "loop.mov")
          .From(Source::kOpaque).Scene({"--size", "64x37", "--downsample", "3"}).MovieArgs({"--prores", "422lt"})
          .Codec("prores", "yuv422p10le").Profile("LT").Tag("apcs").Psnr(20),
      MovieRow("ProRes 422 Proxy float opaque", "loop.mov")
          .Depth(32).From(Source::kOpaque).MovieArgs({"--prores", "proxy"}).Codec("prores", "yuv422p10le")
          .Profile("Proxy").Tag("apco").Psnr(19),
      MovieRow("GIF 8-bit with alpha, over black, a name of 245 bytes", std::string(241, 'g') + ".gif")
          .Codec("gif", "bgra").OverBlack().Psnr(25),
      // The source's sound, copied where --play-once and --audio copy ask for
      // it, else noted as left out.
      MovieRow("H.264 with the source's AAC sound copied", "loop.mp4")
          .Sound("aac", true).Scene({"--play-once"}).MovieArgs({"--audio", "copy"}).Codec("h264", "yuv420p")
          .OverBlack().Psnr(27),
      MovieRow("VP9 with the source's Opus sound copied", "loop.webm")
          .Sound("libopus", true).Scene({"--play-once"}).MovieArgs({"--audio", "copy"}).Codec("vp9", "yuv420p")
          .DecodedBy("libvpx-vp9", "yuv420p").Psnr(27),
      MovieRow("ProRes 422 HQ of a source with sound, left out", "loop.mov")
          .Sound("aac", false).Codec("prores", "yuv422p10le").Psnr(31),
      MovieRow("GIF 16-bit opaque at an NTSC rate", "loop.gif")
          .Depth(16).From(Source::kOpaque).Scene(ntsc).Codec("gif", "bgra").OverBlack().Rate("30000/1001").Psnr(25),
  };
}

class MovieOutputEqualsTheFrames : public ::testing::TestWithParam<MovieOutput> {};

// The same scene rendered to PNG frames and to a movie: the movie is of its
// kind's codec, profile, pixels and tag (an .mp4 with its index first), holds
// as many frames at the composition's rate, each at its exact time
// (Matroska's and WebM's to the millisecond, a GIF's to the hundredth), of
// the frames' size (H.264 and H.265 padded to even), and FFmpeg decodes the
// PNG frames from it: FFV1 exactly, the others within a PSNR bound, compared
// premultiplied (a kind without alpha over black). The movie replaces a file
// of its name with -y and leaves nothing else behind.
TEST_P(MovieOutputEqualsTheFrames, FrameByFrame) {
  const MovieOutput& c = GetParam();
  TempDir tmp("movieout");
  fs::path source;
  if (c.source == MovieOutput::Source::kGradient) {
    // Steps of a sixth of an 8-bit step across, alpha from 1 down to 0.5.
    const int w = 200, h = 16;
    std::vector<float> rgba;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const float a = 1.0f - 0.5f * static_cast<float>(y) / (h - 1);
        const float u = static_cast<float>(x) / (w - 1);
        rgba.insert(rgba.end(), {(0.30f + 0.15f * u) * a, (0.60f - 0.12f * u) * a, (0.20f + 0.10f * u) * a, a});
      }
    }
    source = tmp / "gradient.png";
    WriteImage(source.string(), w, h, rgba, FrameFormat::Png16);
  } else if (c.source == MovieOutput::Source::kOpaque && !c.sound.empty()) {
    source = MakeClip(tmp, "sound.mkv",
                      "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=0.5 -pix_fmt yuv420p -c:v libx264 "
                      "-c:a " + c.sound,
                      "testsrc2=size=66x36:rate=25:duration=0.16");
  } else if (c.source == MovieOutput::Source::kOpaque) {
    source = MakeClip(tmp, "opaque.mp4", "-frames:v 4 -pix_fmt yuv420p -c:v libx264", "testsrc2=size=66x36:rate=25");
  } else if (c.source == MovieOutput::Source::kPq) {
    source = MakeClip(tmp, "pq.mp4",
                      "-frames:v 4 -vf scale=out_color_matrix=bt2020 -pix_fmt yuv420p10le -c:v libx264 "
                      "-color_primaries bt2020 -color_trc smpte2084 -colorspace bt2020nc",
                      "testsrc2=size=66x36:rate=25");
  } else if (c.source == MovieOutput::Source::kAlphaLater) {
    source = MakeClip(tmp, "later.mov", "-frames:v 4 -c:v png -pix_fmt rgba64be",
                      "testsrc2=size=66x36:rate=25,format=rgba64le,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':"
                      "a='if(N,X*1000,65535)'");
  } else {
    source = MakeClip(tmp, "alpha.mov", "-frames:v 4 -c:v png -pix_fmt rgba64be",
                      "testsrc2=size=66x36:rate=25,format=rgba64le,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='X*1000'");
  }
  std::vector<std::string> scene = {"--quiet", "--source", source.string(), "--frames", "4", "--depth",
                                    std::to_string(c.depth), "--mode", "whole"};
  scene.insert(scene.end(), c.args.begin(), c.args.end());
  std::vector<std::string> frames_args = {"--out", (tmp / "frames").string(), "--no-previews", "--format",
                                          c.depth == 8 ? "png8" : "png16"};
  frames_args.insert(frames_args.end(), scene.begin(), scene.end());
  const testing::ToolRun frames_run = RunTool(frames_args, tmp.path());
  ASSERT_EQ(frames_run.exit_code, 0) << frames_run.err;

  fs::create_directories(tmp / "movie");
  const fs::path movie = tmp / "movie" / c.file;
  std::ofstream(movie) << "an older file of that name";
  std::vector<std::string> movie_args = {"--out", movie.string(), "-y"};
  movie_args.insert(movie_args.end(), scene.begin(), scene.end());
  movie_args.insert(movie_args.end(), c.movie_args.begin(), c.movie_args.end());
  const testing::ToolRun run = RunTool(movie_args, tmp.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(Listing(tmp / "movie"), std::set<std::string>{c.file}) << "the movie alone, no hidden file left";
  EXPECT_EQ(run.err.find("alpha below 1") != std::string::npos, c.over_black && c.alpha())
      << "a movie without alpha of a render with alpha says so, of an opaque render not: " << run.err;
  EXPECT_EQ(run.err.find(" has sound (") != std::string::npos, !c.sound.empty() && !c.copy_sound)
      << "a source's sound left out is noted: " << run.err;
  if (c.copy_sound) {
    // The sound ends with the pictures (4 frames at 25 fps), within one of
    // its packets: half a second of it is cut there.
    const json sound = json::parse(Capture("ffprobe -v error -select_streams a:0 -show_entries "
                                           "packet=pts_time,duration_time -of json " + testing::Quote(movie.string())));
    ASSERT_FALSE(sound["packets"].empty()) << "the sound copied";
    const json& last = sound["packets"].back();
    const double end = std::stod(last["pts_time"].get<std::string>()) + std::stod(last["duration_time"].get<std::string>());
    EXPECT_NEAR(end, 4.0 / 25, std::stod(last["duration_time"].get<std::string>())) << "where the sound ends";
  }

  const json probe = json::parse(Capture(
      "ffprobe -v error -select_streams v:0 -count_frames -show_entries "
      "stream=codec_name,profile,codec_tag_string,pix_fmt,r_frame_rate,avg_frame_rate,time_base,nb_read_frames,"
      "color_primaries,color_transfer,color_space,color_range:stream_tags=alpha_mode:frame=best_effort_timestamp,"
      "key_frame "
      "-of json " + testing::Quote(movie.string())));
  const json& stream = probe["streams"][0];
  EXPECT_EQ(stream["codec_name"], c.codec);
  EXPECT_EQ(stream["pix_fmt"], c.decoded);
  if (!c.profile.empty()) {
    EXPECT_EQ(stream["profile"], c.profile);
  }
  if (!c.tag.empty()) {
    EXPECT_EQ(stream["codec_tag_string"], c.tag);
  }
  EXPECT_EQ(stream.value("tags", json::object()).value("alpha_mode", ""), c.alpha_mode ? "1" : "");
  // A GIF's delays are hundredths: its rate is FFmpeg's guess from them.
  const bool gif = c.codec == "gif";
  if (!gif) {
    EXPECT_EQ(stream["r_frame_rate"], c.rate);
    EXPECT_EQ(stream["avg_frame_rate"], c.rate);
  }
  EXPECT_EQ(stream["nb_read_frames"], "4");
  if (fs::path(c.file).extension() == ".mp4") {
    // The index before the data, so that a browser plays it as it loads.
    const std::string bytes = testing::Slurp(movie);
    std::vector<std::string> boxes;
    for (std::size_t at = 0; at + 8 <= bytes.size();) {
      const auto size = static_cast<std::size_t>(static_cast<unsigned char>(bytes[at]) << 24 |
                                                 static_cast<unsigned char>(bytes[at + 1]) << 16 |
                                                 static_cast<unsigned char>(bytes[at + 2]) << 8 |
                                                 static_cast<unsigned char>(bytes[at + 3]));
      boxes.push_back(bytes.substr(at + 4, 4));
      if (size < 8) break;
      at += size;
    }
    EXPECT_EQ(boxes, (std::vector<std::string>{"ftyp", "moov", "free", "mdat"}));
  }
  for (const auto& [tag, value] : c.tags) EXPECT_EQ(stream.value(tag, std::string("unknown")), value) << tag;
  // Frame k at k / rate: exactly where the time base holds it, else rounded to it.
  const auto slash = [](const std::string& s, int part) {
    const auto at = s.find('/');
    return std::stoll(part == 0 ? s.substr(0, at) : s.substr(at + 1));
  };
  const std::string tb = stream["time_base"];
  const long long rate_num = slash(c.rate, 0), rate_den = slash(c.rate, 1);
  const long long tb_num = slash(tb, 0), tb_den = slash(tb, 1);
  // Matroska and WebM keep milliseconds, a GIF hundredths.
  const bool millisecond = c.codec == "ffv1" || c.codec == "vp9";
  const bool rounded = millisecond || gif;
  ASSERT_EQ(probe["frames"].size(), 4u);
  for (long long k = 0; k < 4; ++k) {
    const json& frame = probe["frames"][static_cast<std::size_t>(k)];
    if (c.intra()) {
      EXPECT_EQ(frame["key_frame"], 1) << "frame " << k << " of an intra-only codec is a keyframe";
    }
    const long long ts = frame["best_effort_timestamp"];
    const long long want = k * tb_den * rate_den, unit = tb_num * rate_num;
    if (rounded) {
      EXPECT_EQ(tb, millisecond ? "1/1000" : "1/100");
      EXPECT_EQ(ts, (2 * want + unit) / (2 * unit)) << "frame " << k;
    } else {
      EXPECT_EQ(ts * unit, want) << "frame " << k << " at " << ts << " x " << tb;
    }
  }

  // Without the movie's transfer tag: FFmpeg would write it into the PNG
  // files as a gamma, which the image library applies when it premultiplies.
  const std::string decoder = c.decoder.empty() ? "" : "-c:v " + c.decoder;
  if (!c.decoder.empty()) {
    const std::string info = Capture("ffmpeg -v info " + decoder + " -i " + testing::Quote(movie.string()) +
                                     " -frames:v 1 -vf showinfo -f null - 2>&1");
    EXPECT_NE(info.find(" fmt:" + c.decoded_by_decoder + " "), std::string::npos) << info;
  }
  const std::vector<fs::path> decoded = FfmpegPictures(
      movie, std::string("-vf setparams=color_primaries=unknown:color_trc=unknown -pix_fmt ") +
                 (c.depth == 8 ? "rgba" : "rgba64be"), decoder);
  ASSERT_EQ(decoded.size(), 4u);
  double worst = INFINITY;
  for (std::size_t k = 0; k < decoded.size(); ++k) {
    SCOPED_TRACE("frame " + std::to_string(k));
    char name[32];
    std::snprintf(name, sizeof name, "frame_%04zu.png", k);
    int w = 0, h = 0, dw = 0, dh = 0;
    const std::vector<float> want = ReadImage((tmp / "frames" / name).string(), &w, &h);
    std::vector<float> got = ReadImage(decoded[k].string(), &dw, &dh);
    EXPECT_EQ(dw, c.coded_width > 0 ? c.coded_width : w);
    EXPECT_EQ(dh, c.coded_height > 0 ? c.coded_height : h);
    ASSERT_GE(dw, w);
    ASSERT_GE(dh, h);
    // The padding of an .mp4 is cut off.
    std::vector<float> shown;
    for (int y = 0; y < h; ++y) {
      const auto row = got.begin() + static_cast<std::ptrdiff_t>(y) * dw * 4;
      shown.insert(shown.end(), row, row + static_cast<std::ptrdiff_t>(w) * 4);
    }
    if (c.min_psnr == 0) {
      const std::string diff = Difference(shown, want, w);
      EXPECT_TRUE(diff.empty()) << diff;
    }
    worst = std::min(worst, Psnr(shown, want, c.over_black ? 3 : 4));
  }
  if (c.min_psnr > 0) {
    EXPECT_GE(worst, c.min_psnr);
  }
  // The padding's luma is black, within the codec's noise (exactly so in
  // RenderTool.AnOddSizedMp4KeepsItsEdgesColour); the colour it shares with
  // the picture's edge in 4:2:0 is the edge's own.
  if (c.coded_width > 0 || c.coded_height > 0) {
    for (const fs::path& luma : FfmpegPictures(movie, "-pix_fmt gray")) {
      int lw = 0, lh = 0, w = 0, h = 0;
      const std::vector<float> y = ReadImage(luma.string(), &lw, &lh);
      (void)ReadImage((tmp / "frames" / "frame_0000.png").string(), &w, &h);
      for (int row = 0; row < lh; ++row) {
        for (int x = row < h ? w : 0; x < lw; ++x) {
          EXPECT_LE(y[(static_cast<std::size_t>(row) * static_cast<std::size_t>(lw) + static_cast<std::size_t>(x)) * 4],
                    0.05f)
              << luma.filename() << " x " << x << " y " << row;
        }
      }
    }
  }
  if (!c.holds.empty()) {
    EXPECT_NE(testing::Slurp(movie).find(c.holds), std::string::npos) << c.holds;
  }
}

std::string MovieOutputName(const ::testing::TestParamInfo<MovieOutput>& info) {
  std::string name;
  for (const char ch : info.param.name) name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(RenderToolContainers, MovieOutputEqualsTheFrames, ::testing::ValuesIn(MovieOutputs()),
                         MovieOutputName);

// An .mp4 of odd size is padded to even with black luma; the 4:2:0 colour
// that a padding row or column shares with the picture's edge is the edge's
// own, not its mean with black. A blue picture whose last row (or column) is
// pure red, written lossless: BT.709 in video levels gives red luma 63 and
// chroma U 102, V 240 (16 + 219 x 0.2126; 128 - 224 x 0.2126 / 1.8556;
// 128 + 224 x 0.7874 / 1.5748), the padding luma 16.
struct OddEdge {
  std::string name;
  int width, height;
  bool red_row;  // else the last column is red
};

TEST(RenderTool, AnOddSizedMp4KeepsItsEdgesColour) {
  const OddEdge cases[] = {{"odd height, the last row red", 64, 35, true},
                           {"odd width, the last column red", 65, 36, false}};
  for (const OddEdge& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tmp("oddedge");
    // The encoder at x264's lossless qp 0 (the command line keeps --crf 0
    // from .mp4s), so that the planes come back exactly as converted.
    pixels::PixelWorld world(c.width, c.height, pixels::Depth::k8);
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        const bool red = c.red_row ? y == c.height - 1 : x == c.width - 1;
        reinterpret_cast<PF_Pixel8*>(world.row(y))[x] =
            PF_Pixel8{255, static_cast<A_u_char>(red ? 255 : 0), 0, static_cast<A_u_char>(red ? 0 : 255)};
      }
    }
    const fs::path movie = tmp / "edge.mp4";
    {
      MovieSettings settings{MovieKind::kH264, c.width, c.height, 8, Rational{25, 1}, 1};
      settings.crf = 0;
      MovieEncoder mp4(movie.string(), "edge.mp4", settings);
      mp4.Add(*world.world());
      mp4.Finish();
    }
    const std::string yuv =
        Capture("ffmpeg -v error -i " + testing::Quote(movie.string()) + " -f rawvideo -pix_fmt yuv420p -");
    const int w = c.width + c.width % 2, h = c.height + c.height % 2;
    ASSERT_EQ(yuv.size(), static_cast<std::size_t>(w * h * 3 / 2));
    auto luma = [&](int x, int y) { return static_cast<unsigned char>(yuv[static_cast<std::size_t>(y * w + x)]); };
    auto chroma = [&](int plane, int cx, int cy) {
      return static_cast<unsigned char>(yuv[static_cast<std::size_t>(w * h + plane * (w / 2) * (h / 2) + cy * (w / 2) + cx)]);
    };
    const int edges = c.red_row ? w / 2 : h / 2;  // chroma samples along the red edge
    for (int i = 0; i < edges; ++i) {
      const int cx = c.red_row ? i : w / 2 - 1, cy = c.red_row ? h / 2 - 1 : i;
      EXPECT_EQ(chroma(0, cx, cy), 102) << "U at " << cx << ", " << cy;
      EXPECT_EQ(chroma(1, cx, cy), 240) << "V at " << cx << ", " << cy;
    }
    for (int i = 0; i < (c.red_row ? w : h); ++i) {
      const int x = c.red_row ? i : w - 2, y = c.red_row ? h - 2 : i;
      EXPECT_EQ(luma(x, y), 63) << "red luma at " << x << ", " << y;
      EXPECT_EQ(luma(c.red_row ? x : w - 1, c.red_row ? h - 1 : y), 16) << "padding luma";
    }
  }
}

// The decoded pictures a movie keeps stay within the budget in bytes while a
// Pingpong walks back and forth over stretches longer than it holds: each
// 96x54 picture in 4:2:0 holds at least 96 x 54 x 1.5 bytes.
TEST(Footage, TheMovieCacheStaysWithinItsBudgetInBytes) {
  TempDir tmp("cache");
  const fs::path clip = MakeClip(tmp, "walk.mp4", "-frames:v 60 -pix_fmt yuv420p -c:v libx264 -bf 3 -g 30");
  Movie movie(FootageSource::File(clip.string()));
  ASSERT_EQ(movie.frames(), 60);
  const std::size_t picture = 96 * 54 * 3 / 2;
  const std::size_t budget = 8 * picture;
  movie.SetCacheBudget(budget);
  pixels::PixelWorld world(96, 54, pixels::Depth::k8);
  std::size_t most = 0;
  for (int turn = 0; turn < 4; ++turn) {
    for (int i = 0; i < 59; ++i) {
      const int k = turn % 2 == 0 ? i : 59 - i;
      movie.Paint(k, *world.world());
      EXPECT_LE(movie.cached_bytes(), budget) << "frame " << k;
      EXPECT_LE(movie.cached_pictures() * picture, budget) << "frame " << k << ": the bytes it counts are all it holds";
      most = std::max(most, movie.cached_pictures());
    }
  }
  EXPECT_GT(most, 1u) << "walking back, it keeps what the budget holds";
}

// The fix the variable-rate warning prints, run as printed on the table's
// variable-rate clip, makes a clip of a constant rate that reads without the
// warning: its 12 frames spread over 15 slots of 25 fps.
TEST(Footage, TheVariableRateWarningsFixReadsWithoutIt) {
  const std::vector<ClipCase> rows = ClipCases();
  const auto vfr = std::find_if(rows.begin(), rows.end(), [](const ClipCase& c) { return c.name == "variable rate"; });
  ASSERT_NE(vfr, rows.end());
  TempDir tmp("vfrfix");
  const fs::path clip = MakeClip(tmp, vfr->file, vfr->encode, vfr->source);
  testing::ToolRun run;
  ASSERT_FALSE(Render(tmp, {"--source", clip.string(), "--play-once", "--no-previews"}, &run).is_null());
  const std::size_t at = run.err.find("e.g. ffmpeg -i IN ");
  ASSERT_NE(at, std::string::npos) << run.err;
  std::string command = run.err.substr(at + 5, run.err.find('\n', at) - at - 5);
  ASSERT_EQ(command.substr(command.size() - 4), " OUT") << command;
  const fs::path fixed = tmp / "constant.mp4";
  command = "ffmpeg -i " + testing::Quote(clip.string()) + command.substr(std::string("ffmpeg -i IN").size(),
                                                                        command.size() - 4 - 12) +
            " " + testing::Quote(fixed.string()) + " </dev/null 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const json report = Render(tmp, {"--source", fixed.string(), "--play-once", "--no-previews"}, &run);
  ASSERT_FALSE(report.is_null());
  EXPECT_EQ(run.err, "") << "no warning";
  EXPECT_EQ(report["source"]["variable_rate"], false);
  EXPECT_EQ(report["source"]["fps"], 25);
  EXPECT_EQ(report["source"]["frames"], 15);
}

// Image footage keeps its alpha at every depth: a straight-alpha PNG or TIFF
// is premultiplied on read as the image library does it (colour x alpha /
// the maximum, truncated), an EXR (premultiplied already) is taken as it is.
// The values are worked out by hand from the straight ones written. Its
// colour is what the format says: a PNG sRGB unless it says otherwise, an
// EXR linear, a TIFF nothing; RGB in full range, of the bits it stores.
struct ImageFile {
  std::string name;
  std::string file;
  OIIO::TypeDesc type;
  std::vector<float> straight;  // R, G, B, A as the file stores them, over the type's maximum
  pixels::Depth depth = pixels::Depth::k8;
  pixels::Color shown;          // the world's pixel: A, R, G, B over the world's maximum
  json colour;                  // primaries, transfer and bits, as FFmpeg names them

  ImageFile& Stores(std::vector<float> rgba) { straight = std::move(rgba); return *this; }
  ImageFile& Shown(pixels::Depth d, pixels::Color argb) { depth = d; shown = argb; return *this; }
  ImageFile& Space(json primaries, json transfer, int bits) {
    colour = {{"primaries", primaries}, {"transfer", transfer}, {"bits", bits}};
    return *this;
  }
};
ImageFile ImageRow(std::string name, std::string file, OIIO::TypeDesc type) {
  return ImageFile{std::move(name), std::move(file), type, {}, pixels::Depth::k8, {}, json()};
}

// FFmpeg's name of a colour value, null when unspecified.
template <class Value>
json ColourName(Value v, const char* (*name)(Value), Value unspecified) {
  return v == unspecified ? json(nullptr) : json(name(v));
}

TEST(Footage, ImageFilesKeepTheirAlphaAndSayTheirColour) {
  const ImageFile cases[] = {
      // 200 x 128 / 255 = 100.4, 100 x 128 / 255 = 50.2, 50 x 128 / 255 = 25.1.
      ImageRow("8-bit PNG", "a.png", OIIO::TypeDesc::UINT8)
          .Stores({200, 100, 50, 128}).Shown(pixels::Depth::k8, {128, 100, 50, 25})
          .Space("bt709", "iec61966-2-1", 8),
      ImageRow("8-bit TIFF", "a.tif", OIIO::TypeDesc::UINT8)
          .Stores({200, 100, 50, 128}).Shown(pixels::Depth::k8, {128, 100, 50, 25})
          .Space(nullptr, nullptr, 8),
      // 40000 x 30000 / 65535 = 18310.8, then over 65535 into the host's 0 to
      // 32768, to nearest: 9155.6; likewise 15000.2 for alpha, 4578.1, 2289.0.
      ImageRow("16-bit PNG", "a16.png", OIIO::TypeDesc::UINT16)
          .Stores({40000, 20000, 10000, 30000}).Shown(pixels::Depth::k16, {15000, 9155, 4578, 2289})
          .Space("bt709", "iec61966-2-1", 16),
      ImageRow("float EXR", "a.exr", OIIO::TypeDesc::FLOAT)
          .Stores({0.25f, 0.125f, 0.0625f, 0.5f}).Shown(pixels::Depth::kFloat, {0.5f, 0.25f, 0.125f, 0.0625f})
          .Space("bt709", "linear", 32),
  };
  for (const ImageFile& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tmp("imagealpha");
    const std::string file = (tmp / c.file).string();
    {
      OIIO::ImageSpec spec(2, 1, 4, c.type);
      spec.attribute("oiio:UnassociatedAlpha", c.type != OIIO::TypeDesc::FLOAT ? 1 : 0);
      std::vector<float> values;
      for (int x = 0; x < 2; ++x) {
        const float most = c.type == OIIO::TypeDesc::UINT8 ? 255.0f : c.type == OIIO::TypeDesc::UINT16 ? 65535.0f : 1.0f;
        for (const float v : c.straight) values.push_back(v / most);
      }
      auto out = OIIO::ImageOutput::create(file);
      ASSERT_TRUE(out && out->open(file, spec) && out->write_image(OIIO::TypeDesc::FLOAT, values.data()) && out->close())
          << OIIO::geterror();
    }
    std::unique_ptr<Clip> clip = Clip::Footage(file, ProbeFootage(file));
    const Colour colour = clip->colour();
    EXPECT_EQ(ColourName(colour.primaries, av_color_primaries_name, AVCOL_PRI_UNSPECIFIED), c.colour["primaries"]);
    EXPECT_EQ(ColourName(colour.transfer, av_color_transfer_name, AVCOL_TRC_UNSPECIFIED), c.colour["transfer"]);
    EXPECT_EQ(colour.bits, c.colour["bits"]);
    EXPECT_EQ(std::string(av_color_space_name(colour.matrix)), "gbr") << "RGB";
    EXPECT_EQ(std::string(av_color_range_name(colour.range)), "pc") << "full range";
    pixels::PixelWorld world(2, 1, c.depth);
    clip->Paint(*world.world(), 0);
    // The world's own values, unscaled.
    pixels::Color got{};
    if (c.depth == pixels::Depth::k8) {
      const PF_Pixel8 p = reinterpret_cast<const PF_Pixel8*>(world.row(0))[1];
      got = pixels::Color{float(p.alpha), float(p.red), float(p.green), float(p.blue)};
    } else if (c.depth == pixels::Depth::k16) {
      const PF_Pixel16 p = reinterpret_cast<const PF_Pixel16*>(world.row(0))[1];
      got = pixels::Color{float(p.alpha), float(p.red), float(p.green), float(p.blue)};
    } else {
      const PF_PixelFloat p = reinterpret_cast<const PF_PixelFloat*>(world.row(0))[1];
      got = pixels::Color{p.alpha, p.red, p.green, p.blue};
    }
    EXPECT_EQ(got.alpha, c.shown.alpha);
    EXPECT_EQ(got.red, c.shown.red);
    EXPECT_EQ(got.green, c.shown.green);
    EXPECT_EQ(got.blue, c.shown.blue);
  }
}

// A pixel as the host holds it (premultiplied) and as a PNG frame and an FFV1
// .mkv store it (straight): the maximum x colour / alpha to the nearest,
// halves up, worked out by hand; colour above its alpha clamps. At 16 bits
// each of the host's levels (0 to 32768) is first a file's (x 65535 / 32768,
// to the nearest: 8193 is 16386, 20000 is 39999, 56 is 112, 30000 is 59999).
struct StraightPixel {
  std::string name;
  int depth = 8;
  std::array<uint16_t, 4> premultiplied{};  // alpha, red, green, blue
  std::array<uint16_t, 4> rgba{};           // as stored

  StraightPixel& Deep() {
    depth = 16;
    return *this;
  }
  StraightPixel& Holds(uint16_t a, uint16_t r, uint16_t g, uint16_t b) {
    premultiplied = {a, r, g, b};
    return *this;
  }
  StraightPixel& Stores(uint16_t r, uint16_t g, uint16_t b, uint16_t a) {
    rgba = {r, g, b, a};
    return *this;
  }
};
StraightPixel Pixel(std::string name) {
  StraightPixel c;
  c.name = std::move(name);
  return c;
}

TEST(Outputs, StraightColourIsRoundedToTheNearestLevel) {
  const StraightPixel cases[] = {
      Pixel("opaque").Holds(255, 100, 50, 25).Stores(100, 50, 25, 255),
      Pixel("transparent").Holds(0, 0, 0, 0).Stores(0, 0, 0, 0),
      Pixel("half: 199.2, 99.6, 49.8").Holds(128, 100, 50, 25).Stores(199, 100, 50, 128),
      Pixel("alpha 2: 127.5 up").Holds(2, 1, 1, 0).Stores(128, 128, 0, 2),
      Pixel("alpha 10: 178.5, 76.5, 25.5 up").Holds(10, 7, 3, 1).Stores(179, 77, 26, 10),
      Pixel("alpha 200: 191.25, 253.7, 1.3").Holds(200, 150, 199, 1).Stores(191, 254, 1, 200),
      Pixel("colour above alpha").Holds(100, 120, 0, 0).Stores(255, 0, 0, 100),
      Pixel("16 bits opaque").Deep().Holds(32768, 32768, 16384, 0).Stores(65535, 32768, 0, 65535),
      Pixel("16 bits transparent").Deep().Holds(0, 0, 0, 0).Stores(0, 0, 0, 0),
      Pixel("16 bits half: 16386 x 65535 / 32768 = 32771.49994 down, 16383.75 up")
          .Deep().Holds(16384, 8193, 4096, 0).Stores(32771, 16384, 0, 32768),
      Pixel("16 bits alpha 39999: 112 x 65535 / 39999 = 183.503 up, colour at and above alpha")
          .Deep().Holds(20000, 56, 20000, 30000).Stores(184, 65535, 65535, 39999),
  };
  for (const int depth : {8, 16}) {
    SCOPED_TRACE(std::to_string(depth) + " bits");
    std::vector<const StraightPixel*> rows;
    for (const StraightPixel& c : cases) {
      if (c.depth == depth) rows.push_back(&c);
    }
    const int n = static_cast<int>(rows.size());
    pixels::PixelWorld world(n, 1, depth == 8 ? pixels::Depth::k8 : pixels::Depth::k16);
    for (int x = 0; x < n; ++x) {
      const auto& p = rows[static_cast<std::size_t>(x)]->premultiplied;
      if (depth == 8) {
        reinterpret_cast<PF_Pixel8*>(world.row(0))[x] = PF_Pixel8{
            static_cast<A_u_char>(p[0]), static_cast<A_u_char>(p[1]), static_cast<A_u_char>(p[2]),
            static_cast<A_u_char>(p[3])};
      } else {
        reinterpret_cast<PF_Pixel16*>(world.row(0))[x] = PF_Pixel16{p[0], p[1], p[2], p[3]};
      }
    }
    TempDir tmp("straight");
    FrameImage png = ImageOf(*world.world(), depth == 8 ? FrameFormat::Png8 : FrameFormat::Png16);
    png.file = png.shown = (tmp / "frame.png").string();
    WriteFrameImage(png);
    {
      MovieEncoder mkv((tmp / "loop.mkv").string(), "loop.mkv",
                       MovieSettings{MovieKind::kFfv1, n, 1, depth, Rational{25, 1}, 1});
      mkv.Add(*world.world());
      mkv.Finish();
    }
    // The PNG's own values, as the image library reads them without
    // premultiplying; FFmpeg's decode of the movie, little-endian.
    const OIIO::TypeDesc type = depth == 8 ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16;
    std::string file(static_cast<std::size_t>(n) * 4 * type.size(), '\0');
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(png.file, &config);
    ASSERT_TRUE(in && in->read_image(0, 0, 0, 4, type, file.data())) << OIIO::geterror();
    const std::string movie = Capture("ffmpeg -v error -i " + testing::Quote((tmp / "loop.mkv").string()) +
                                      " -f rawvideo -pix_fmt " + (depth == 8 ? "rgba" : "rgba64le") + " -");
    ASSERT_EQ(movie.size(), file.size());
    auto value = [&](const std::string& bytes, std::size_t at) {
      const auto byte = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[i])); };
      return depth == 8 ? byte(at) : byte(2 * at) | byte(2 * at + 1) << 8;
    };
    for (int x = 0; x < n; ++x) {
      SCOPED_TRACE(rows[static_cast<std::size_t>(x)]->name);
      for (int ch = 0; ch < 4; ++ch) {
        const std::size_t at = static_cast<std::size_t>(x) * 4 + static_cast<std::size_t>(ch);
        const unsigned want = rows[static_cast<std::size_t>(x)]->rgba[static_cast<std::size_t>(ch)];
        EXPECT_EQ(value(file, at), want) << "PNG, channel " << "RGBA"[ch];
        EXPECT_EQ(value(movie, at), want) << ".mkv, channel " << "RGBA"[ch];
      }
    }
  }
}

// An .mkv holds its pixels exactly at every size down to one pixel (FFmpeg's
// FFV1 garbles frames it cuts into slices too small), at 8 and 16 bits: an
// opaque world whose pixels all differ, decoded by FFmpeg. A 16-bit level v of
// the host's 0 to 32768 is v x 65535 / 32768 in a file's 0 to 65535: the
// levels used, 0, 8192, 16384, 24576 and 32768, give 0, 16384, 32768, 49151
// and 65535 (49151.25 to the nearest).
struct TinyMovie {
  int width, height, depth;
};

TEST(Outputs, AnMkvOfAnySizeHoldsItsPixelsExactly) {
  const TinyMovie cases[] = {{1, 1, 8}, {7, 1, 8}, {1, 7, 8}, {2, 2, 8}, {2, 9, 8}, {9, 2, 8}, {3, 3, 8},
                             {1, 1, 16}, {2, 5, 16}, {3, 3, 16}};
  const uint16_t host16[] = {0, 8192, 16384, 24576, 32768};
  const uint16_t file16[] = {0, 16384, 32768, 49151, 65535};
  for (const TinyMovie& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " at " + std::to_string(c.depth) + " bits");
    TempDir tmp("tinymkv");
    const bool deep = c.depth == 16;
    pixels::PixelWorld world(c.width, c.height, deep ? pixels::Depth::k16 : pixels::Depth::k8);
    std::string want;
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        const int i = y * c.width + x;
        if (deep) {
          const int r = i % 5, g = (i / 5) % 5, b = (i / 25) % 5;
          reinterpret_cast<PF_Pixel16*>(world.row(y))[x] = PF_Pixel16{32768, host16[r], host16[g], host16[b]};
          for (const uint16_t v : {file16[r], file16[g], file16[b], uint16_t{65535}}) {
            want += static_cast<char>(v & 0xFF);
            want += static_cast<char>(v >> 8);
          }
        } else {
          const auto v = static_cast<unsigned char>(7 * i + 1);
          reinterpret_cast<PF_Pixel8*>(world.row(y))[x] = PF_Pixel8{255, v, static_cast<unsigned char>(255 - v), 9};
          want += {static_cast<char>(v), static_cast<char>(255 - v), char{9}, static_cast<char>(255)};
        }
      }
    }
    const fs::path file = tmp / "tiny.mkv";
    {
      MovieEncoder mkv(file.string(), "tiny.mkv", MovieSettings{MovieKind::kFfv1, c.width, c.height, c.depth, Rational{25, 1}, 1});
      mkv.Add(*world.world());
      mkv.Finish();
    }
    EXPECT_EQ(Capture("ffmpeg -v error -i " + testing::Quote(file.string()) + " -f rawvideo -pix_fmt " +
                      (deep ? "rgba64le" : "rgba") + " -"),
              want);
  }
}

// A frame that fails stops the run, its folder untouched, with an exit code
// that says who failed: a movie cut short (the frames past the cut name the
// file and the frame, exit 3) or the plug-in, here because the host refuses
// every copy (exit 4). With --keep-going every frame renders, the failures
// are marked and the run exits 6. A file that cannot be written (here past a
// file-size limit) stops the run whatever the options (exit 5), naming the
// file where the user would find it, with the cause and the fix; the folders
// made for the run go too. A movie that fails so leaves no file.
TEST(RenderTool, FailedFramesStopTheRunOrAreMarked) {
  TempDir tmp("truncated");
  const fs::path full = MakeClip(tmp, "full.mp4", "-frames:v 50 -pix_fmt yuv420p -c:v libx264 -bf 3 -g 12 -movflags +faststart");
  const std::string bytes = testing::Slurp(full);
  const fs::path cut = tmp / "cut.mp4";
  std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() * 2 / 3);
  const std::vector<std::string> loop = {"--frames", "50", "--type", "cycle", "--easing", "linear", "--waiting", "0",
                                         "--set", "params.time={\"rate\": 180}"};
  struct Case {
    const char* name;
    std::vector<std::string> args;
    bool keep_going;
    int exit_code;
    std::vector<std::string> messages;
    const char* failure;  // as report.json marks the failed frames
    bool all_fail;
    std::optional<rlim_t> file_size_limit;
    std::vector<std::string> never = {};  // what standard error must not hold

    // A footage frame that stops the run: Footage("name", args).Says({...}).Never({...})
    static Case Footage(const char* n, std::vector<std::string> a) { return Case{n, std::move(a), false, 3, {}, "footage", false, {}}; }
    Case& Says(std::vector<std::string> m) { messages = std::move(m); return *this; }
    Case& Never(std::vector<std::string> m) { never = std::move(m); return *this; }
  };
  // A sequence whose third frame's image data is damaged (not cut): the
  // image library fails on it while rendering.
  fs::create_directories(tmp / "shot");
  for (int i = 1; i <= 3; ++i) {
    pixels::PixelWorld w(64, 36, pixels::Depth::k8);
    pixels::PaintFrameStamp(*w.world(), i);
    WriteImage((tmp / "shot" / ("s." + std::to_string(i) + ".png")).string(), 64, 36, WorldToRgba(*w.world()),
               FrameFormat::Png8);
  }
  std::string png = testing::Slurp(tmp / "shot" / "s.3.png");
  png[png.find("IDAT") + 6] ^= 0x55;
  std::ofstream(tmp / "shot" / "s.3.png", std::ios::binary | std::ios::trunc) << png;
  const std::vector<std::string> footage = {"--source", cut.string()};
  const std::vector<std::string> refused = {"--refuse-call", "copy"};
  const std::string nested = (tmp / "out" / "nest" / "a").string();
  const std::vector<std::string> write = {"--out", nested};
  const std::vector<std::string> too_large = {nested + "/", ": cannot be written: file too large", "ulimit -f", "Fix:"};
  const std::vector<std::string> movie_footage = {"--source", cut.string(), "--out", nested + "/cut.mp4"};
  const std::vector<std::string> movie_write = {"--out", nested + "/loop.mkv"};
  const std::vector<std::string> gif_write = {"--out", nested + "/loop.gif"};
  const std::vector<std::string> h265_write = {"--out", nested + "/loop.mp4", "--codec", "h265"};
  const std::vector<std::string> webm_write = {"--out", nested + "/loop.webm"};
  const Case cases[] = {
      {"footage", footage, false, 3, {"cut.mp4: frame ", "cannot be read"}, "footage", false, {}},
      {"footage, --keep-going", footage, true, 6, {"cut.mp4: frame ", "cannot be read"}, "footage", false, {}},
      {"plug-in", refused, false, 4, {"the plug-in failed composition frame 0 with host error 515", "Fix:"}, "plug-in", true, {}},
      {"plug-in, --keep-going", refused, true, 6, {"the plug-in returned an error at frames 0"}, "plug-in", true, {}},
      {"a write past the file-size limit", write, false, 5, too_large, nullptr, false, 4096},
      {"a write past the file-size limit, --keep-going", write, true, 5, too_large, nullptr, false, 4096},
      {"footage, into a movie", movie_footage, false, 3,
       {"cut.mp4: frame ", "cannot be read", "render frames into a folder (--out DIR) with --keep-going"}, "footage",
       false, {}},
      {"a write past the file-size limit, into a movie", movie_write, false, 5,
       {nested + "/loop.mkv: cannot be written: file too large", "ulimit -f", "Fix:"}, nullptr, false, 4096},
      {"a write past the file-size limit, into a GIF", gif_write, false, 5,
       {nested + "/loop.gif: cannot be written: file too large", "ulimit -f", "Fix:"}, nullptr, false, 4096},
      {"a write past the file-size limit, into a WebM", webm_write, false, 5,
       {nested + "/loop.webm: cannot be written: file too large", "ulimit -f", "Fix:"}, nullptr, false, 4096},
      {"a write past the file-size limit, into an H.265 .mp4", h265_write, false, 5,
       {nested + "/loop.mp4: cannot be written: file too large", "ulimit -f", "Fix:"}, nullptr, false, 4096},
      // The library's own lines (libpng prints its errors) join ours, on one line.
      Case::Footage("a damaged picture in a sequence", {"--source", (tmp / "shot" / "s.#.png").string()})
          .Says({"s.3.png: frame 2 cannot be read (", "), at composition frame "})
          .Never({"libpng", "\nPNG", "error\n"}),
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"--out", (tmp / "out").string(), "--quiet"};
    args.insert(args.end(), loop.begin(), loop.end());
    args.insert(args.end(), c.args.begin(), c.args.end());
    if (c.keep_going) args.push_back("--keep-going");
    const testing::ToolRun r = RunTool(args, tmp.path(), c.file_size_limit);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    for (const std::string& m : c.messages) EXPECT_NE(r.err.find(m), std::string::npos) << m << "\n" << r.err;
    for (const std::string& m : c.never) EXPECT_EQ(r.err.find(m), std::string::npos) << m << "\n" << r.err;
    EXPECT_EQ(r.err.find(".zelvan-render-staging"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("variable"), std::string::npos) << "a clip cut short is not of a variable rate: " << r.err;
    const bool written = c.exit_code == 0 || c.exit_code == 6;
    EXPECT_EQ(fs::exists(tmp / "out"), written);
    if (!written) continue;
    const json report = ReadJson(tmp / "out" / "report.json");
    int failed = 0, shown = 0;
    for (const json& f : report["frames"]) {
      if (f["failure"] == c.failure) {
        ++failed;
        if (std::string(c.failure) == "footage") {
          EXPECT_NE(f["footage_error"]["message"].get<std::string>().find("cut.mp4: frame"), std::string::npos);
          EXPECT_EQ(f["error"], 512) << "the plug-in passed the host's code on";
        } else {
          EXPECT_EQ(f["error"], 515) << "the plug-in passed the host's code on";
        }
      } else {
        EXPECT_TRUE(f["failure"].is_null());
        ++shown;
      }
    }
    EXPECT_GT(failed, 0);
    EXPECT_EQ(shown == 0, c.all_fail);
    if (std::string(c.failure) == "footage") {
      // The 50 frames its index lists, at its constant 25 fps, though the
      // data stops after about 33 (and lacks B-frames stored after the cut).
      EXPECT_EQ(report["source"]["frames"], 50);
      EXPECT_EQ(report["source"]["fps"], 25);
      EXPECT_EQ(report["source"]["variable_rate"], false);
    }
    const std::string chart_mark = std::string(c.failure) == "footage" ? "footage error: " : "the plug-in returned error 515";
    EXPECT_NE(testing::Slurp(tmp / "out" / "timing_chart.svg").find(chart_mark), std::string::npos);
    EXPECT_EQ(r.err.find("outside the source layer"), std::string::npos) << "failures are not times outside";
    fs::remove_all(tmp / "out");
  }
  // Played once, the first frame past the data names where the data ends:
  // after the last frame FFmpeg decodes from it, in frames and in seconds.
  const std::string times = Capture("ffprobe -v error -show_entries frame=pts_time -of csv=p=0 " +
                                    testing::Quote(cut.string()) + " 2>/dev/null");
  const double last = std::stod(times.substr(times.rfind('\n', times.size() - 2) + 1));
  const long end_frame = std::lround(last * 25);
  char says[160];
  std::snprintf(says, sizeof says, ": frame %ld cannot be read (the file is cut short: its data ends after "
                "frame %ld, at %.2f s, of the 50 frames its index lists)", end_frame + 1, end_frame, last + 1.0 / 25);
  const testing::ToolRun once = RunTool({"--out", (tmp / "out").string(), "--quiet", "--source", cut.string(),
                                         "--play-once", "--keep-going", "--no-previews"}, tmp.path());
  EXPECT_EQ(once.exit_code, 6) << once.err;
  const json frames = ReadJson(tmp / "out" / "report.json")["frames"];
  EXPECT_EQ(frames[end_frame + 1]["footage_error"]["message"], cut.string() + says);
  EXPECT_TRUE(frames[end_frame]["failure"].is_null()) << "the last frame FFmpeg decodes, past a damaged packet, shows";
}

// --play-once: frame k of the composition shows source frame k, each once, in
// order, at the source's own rate, the composition as long as the source; a
// source that starts a second before the composition too (its times before
// zero round to their own frames, without a repeat at zero).
TEST(RenderTool, PlayOnceShowsEverySourceFrameOnceInOrder) {
  struct Case {
    std::string fps;
    std::string duration;  // seconds
    std::string in;        // the source's in-point, seconds
    std::size_t frames;
  };
  const Case cases[] = {
      {"24", "2", "0", 48},
      {"25", "2", "0", 50},
      {"\"30000/1001\"", "2.002", "0", 60},
      {"60", "2", "0", 120},
      {"30", "2", "-1", 60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fps + " fps, in-point " + c.in);
    TempDir tmp("playonce");
    testing::ToolRun run;
    const json report = Render(tmp, {"--size", "64x36", "--play-once", "--no-previews", "--set", "source.width=64", "--set",
                                     "source.height=36", "--set", "source.fps=" + c.fps, "--set",
                                     "source.duration=" + c.duration, "--set", "source.in=" + c.in},
                               &run);
    ASSERT_FALSE(report.is_null());
    EXPECT_EQ(RateOf(report["scene"]["comp"]["fps"]), RateOf(json::parse(c.fps)));
    EXPECT_EQ(RateOf(report["source"]["fps"]), RateOf(json::parse(c.fps)));
    EXPECT_EQ(report["source"]["frames"], c.frames);
    ASSERT_EQ(report["frames"].size(), c.frames);
    for (const json& f : report["frames"]) EXPECT_EQ(f["source_frame"], f["frame"]);
    EXPECT_EQ(CheckRender(tmp / "out", report).shown, static_cast<int>(c.frames)) << "the pixels carry those frames";
    EXPECT_EQ(run.err, "") << "no seam that repeats or skips, no time outside the source";
  }
}

// A command line the tool refuses before it writes anything: its arguments
// (after --out DIR), what the message must name, and the exit status (bad
// input, unless the output cannot be written).
struct BadInput {
  std::string name;
  std::vector<std::string> args;
  std::string says;
  int exit_code = 2;

  BadInput& Args(std::vector<std::string> a) {
    args = std::move(a);
    return *this;
  }
  BadInput& Says(std::string text) {
    says = std::move(text);
    return *this;
  }
  BadInput& Exits(int code) {
    exit_code = code;
    return *this;
  }
};
BadInput Refused(std::string name) {
  BadInput c;
  c.name = std::move(name);
  return c;
}

TEST(RenderTool, BadInputIsRefusedAndNothingIsWritten) {
  TempDir tmp("errors");
  std::ofstream(tmp / "broken.json") << "{ \"comp\": ";
  std::ofstream(tmp / "notaplugin.so") << "this is text";
  std::ofstream(tmp / "notanimage.png") << "not a png";
  std::ofstream(tmp / "huge.json") << R"({"comp": {"duration": 1e999}})";
  std::ofstream(tmp / "afile") << "a file";
  // Footage no reader can use: nothing in it, a movie cut before its index
  // (written last), sound alone.
  fs::create_directories(tmp / "footage");
  std::ofstream(tmp / "footage" / "empty.mp4").flush();
  const std::string whole = testing::Slurp(MakeClip(tmp, "footage/whole.mp4", "-frames:v 20 -pix_fmt yuv420p -c:v libx264"));
  std::ofstream(tmp / "footage" / "noindex.mp4", std::ios::binary) << whole.substr(0, whole.size() / 2);
  MakeClip(tmp, "footage/audio.m4a", "-t 0.2 -c:a aac", "sine=frequency=440");
  const std::string sound = MakeClip(tmp, "footage/sound.mp4", "-f lavfi -i sine -frames:v 2 -t 0.1 -c:a aac -pix_fmt yuv420p -c:v libx264",
                                     "testsrc2=size=64x36:rate=25").string();
  fs::create_directories(tmp / "footage" / "frames.mkv");
  // A movie its owner may not read, and a sequence whose third frame a copy cut short.
  std::ofstream(tmp / "footage" / "locked.mp4", std::ios::binary) << whole;
  fs::permissions(tmp / "footage" / "locked.mp4", fs::perms::none);
  fs::create_directories(tmp / "footage" / "shot");
  for (int i = 1; i <= 3; ++i) {
    pixels::PixelWorld w(64, 36, pixels::Depth::k8);
    const std::string name = (tmp / "footage" / "shot" / ("s." + std::to_string(i) + ".png")).string();
    WriteImage(name, 64, 36, WorldToRgba(*w.world()), FrameFormat::Png8);
    if (i == 3) fs::resize_file(name, fs::file_size(name) - 20);
  }
  const std::string movie = (tmp / "footage" / "whole.mp4").string();
  const std::string out = (tmp / "out").string();
  const BadInput cases[] = {
      Refused("a width of 0").Args({"--set", "comp.width=0"}).Says("comp.width"),
      Refused("a negative duration").Args({"--set", "comp.duration=-1"}).Says("comp.duration"),
      Refused("a rate of 0").Args({"--fps", "0"}).Says("comp.fps: must be at least 1/1000 frames per second"),
      Refused("too many frames").Args({"--frames", "999999"}).Says("comp.frames"),
      Refused("an unknown field").Args({"--set", "comp.colour=1"}).Says("comp.colour"),
      Refused("a mode not on the menu").Args({"--mode", "zoom"}).Says("params.mode"),
      Refused("an end past 100 percent").Args({"--set", "params.end=150"}).Says("params.end"),
      Refused("a start before 0 s")
          .Args({"--set", "params.range=second", "--set", "params.start=-0.5"})
          .Says("params.start"),
      Refused("a source width of 0").Args({"--set", "source.width=0"}).Says("source.width"),
      Refused("a missing sequence").Args({"--source", (tmp / "missing.%04d.png").string()}).Says("missing.%04d.png"),
      Refused("a missing movie").Args({"--source", (tmp / "missing.mov").string()}).Says("missing.mov"),
      Refused("an image that is not one")
          .Args({"--source", (tmp / "notanimage.png").string()})
          .Says("notanimage.png"),
      Refused("a plug-in that is not one").Args({"--plugin", (tmp / "notaplugin.so").string()}).Says("notaplugin.so"),
      Refused("a missing plug-in").Args({"--plugin", (tmp / "nothing-here.so").string()}).Says("nothing-here.so"),
      Refused("a scene of broken JSON").Args({(tmp / "broken.json").string()}).Says("broken.json"),
      Refused("a missing scene").Args({(tmp / "absent.json").string()}).Says("absent.json"),
      Refused("an unknown option").Args({"--whatever"}).Says("--whatever"),
      Refused("a folder as the scene")
          .Args({tmp.path().string()})
          .Says(tmp.path().filename().string() + ": is a folder"),
      Refused("a scene's number too large")
          .Args({(tmp / "huge.json").string()})
          .Says("huge.json: holds a number too large"),
      Refused("a number too large")
          .Args({"--set", "comp.duration=1e400"})
          .Says("comp.duration: the number 1e400 is too large"),
      Refused("a file as the folder").Args({"--out", (tmp / "afile").string()}).Says("afile: is a file, not a folder"),
      Refused("a file as the folder, its name ending in /")
          .Args({"--out", (tmp / "afile/").string()})
          .Says("afile/: " + (tmp / "afile").string() + " is a file, not a folder"),
      Refused("a file on the way to the folder")
          .Args({"--out", (tmp / "afile" / "nest" / "out").string()})
          .Says((tmp / "afile").string() + " is a file, not a folder"),
      Refused("a flag with a value").Args({"--frames=3", "--quiet=yes"}).Says("--quiet=yes: takes no value"),
      Refused("an empty movie")
          .Args({"--source", (tmp / "footage" / "empty.mp4").string()})
          .Says("empty.mp4: is an empty file"),
      Refused("a movie without its index")
          .Args({"--source", (tmp / "footage" / "noindex.mp4").string()})
          .Says("noindex.mp4: is a damaged movie (no index)"),
      Refused("sound alone")
          .Args({"--source", (tmp / "footage" / "audio.m4a").string()})
          .Says("audio.m4a: holds no video stream (audio only)"),
      Refused("a movie that may not be read")
          .Args({"--source", (tmp / "footage" / "locked.mp4").string()})
          .Says("locked.mp4: cannot be read: permission denied"),
      Refused("a sequence with a frame cut short")
          .Args({"--source", (tmp / "footage" / "shot" / "s.#.png").string()})
          .Says("s.3.png: frame 2 of the sequence: it is cut short"),
      Refused("a cache in words")
          .Args({"--cache-mb", "lots"})
          .Says("--cache-mb lots: expects a whole number of megabytes"),
      Refused("an option as a value")
          .Args({"--out", "--no-previews"})
          .Says("--out: needs a value, and --no-previews is an option"),
      Refused("the loop beside --play-once")
          .Args({"--play-once", "--type", "pingpong"})
          .Says("params.type: is set by --play-once"),
      Refused("an angle past the fixed point")
          .Args({"--set", "params.time=1e300"})
          .Says("params.time: reaches 1e+300 degrees at frame 0"),
      // Movies: one that is there, the footage itself, a folder of a movie's
      // name, a parent that is a file, the options of frames or of an .mp4.
      Refused("a movie that is there").Args({"--out", movie}).Says("whole.mp4: exists"),
      Refused("the footage as the movie")
          .Args({"--source", movie, "--out", movie, "-y"})
          .Says("whole.mp4: is footage this run reads"),
      Refused("a folder of a movie's name")
          .Args({"--out", (tmp / "footage" / "frames.mkv").string()})
          .Says("frames.mkv: is a folder"),
      Refused("a movie in a file")
          .Args({"--out", (tmp / "broken.json" / "loop.mp4").string()})
          .Says("broken.json is a file, not a folder"),
      Refused("a movie below a file")
          .Args({"--out", (tmp / "afile" / "nest" / "loop.mp4").string()})
          .Says((tmp / "afile").string() + " is a file, not a folder"),
      Refused("the footage as an H.265 movie")
          .Args({"--source", movie, "--out", movie, "-y", "--codec", "h265"})
          .Says("whole.mp4: is footage this run reads"),
      Refused("a crf past 51")
          .Args({"--out", (tmp / "loop.mp4").string(), "--crf", "52"})
          .Says("--crf 52: expects a whole number from 1 to 51 for H.264"),
      Refused("H.264's lossless crf 0")
          .Args({"--out", (tmp / "loop.mp4").string(), "--crf", "0"})
          .Says("--crf 0: makes H.264's lossless profile (High 4:4:4 Predictive), which many players"),
      Refused("a crf for a .mov")
          .Args({"--out", (tmp / "loop.mov").string(), "--crf", "20"})
          .Says("--crf: sets the quality of NAME.mp4 or NAME.webm only (NAME.mov is ProRes 4444 or ProRes 422 HQ)"),
      Refused("a ProRes profile for an .mp4")
          .Args({"--out", (tmp / "loop.mp4").string(), "--prores", "422"})
          .Says("--prores: picks the kind of a NAME.mov only"),
      Refused("--audio copy without --play-once")
          .Args({"--out", (tmp / "loop.mp4").string(), "--source", movie, "--audio", "copy"})
          .Says("--audio copy: needs --play-once"),
      Refused("--audio copy from footage without sound")
          .Args({"--out", (tmp / "loop.mp4").string(), "--source", movie, "--play-once", "--audio", "copy"})
          .Says("--audio copy: " + movie + " has no sound"),
      Refused("--audio copy of AAC into a .webm")
          .Args({"--out", (tmp / "loop.webm").string(), "--source", sound, "--play-once", "--audio", "copy"})
          .Says("loop.webm does not take " + sound + "'s aac sound. Fix: write NAME.mp4, NAME.mov or NAME.mkv, which take it"),
      Refused("--keep-going into a movie")
          .Args({"--out", (tmp / "loop.mp4").string(), "--keep-going"})
          .Says("--keep-going: marks failed frames in report.json"),
      // Names of files the tool does not write, with the movies it does.
      Refused("a crf for a GIF")
          .Args({"--out", (tmp / "loop.gif").string(), "--crf", "18"})
          .Says("--crf: sets the quality of NAME.mp4 or NAME.webm only (NAME.gif is GIF)"),
      Refused("a WebM of an unknown codec")
          .Args({"--out", (tmp / "loop.webm").string(), "--codec", "h265"})
          .Says("--codec: picks the kind of a NAME.mp4 only"),
      Refused("an MPEG").Args({"--out", (tmp / "loop.mpg").string()})
          .Says("loop.mpg: ends in .mpg, and the movies this tool writes are .mp4, .webm, .mov, .mkv or .gif"),
      Refused("an AVI").Args({"--out", (tmp / "loop.AVI").string()}).Says("loop.AVI: ends in .AVI, and the movies"),
      Refused("an image")
          .Args({"--out", (tmp / "still.png").string()})
          .Says("end the name in / for a folder of frames"),
      Refused("an image sequence")
          .Args({"--out", (tmp / "x.%04d.png").string()})
          .Says("name a movie NAME.mp4, NAME.webm, NAME.mov, NAME.mkv or NAME.gif, or end the name in / for a folder of "
                "frames: --out " +
                (tmp / "x.%04d.png/").string()),
      // An --out the file system will not make, as a write it refuses.
      Refused("a folder that cannot be made")
          .Args({"--out", "/proc/zelvan-render-test/out"})
          .Says("--out /proc/zelvan-render-test/out: cannot be created: ")
          .Exits(5),
      Refused("a movie's folder that cannot be made")
          .Args({"--out", "/proc/zelvan-render-test/loop.mp4"})
          .Says("--out /proc/zelvan-render-test/loop.mp4: cannot be created: ")
          .Exits(5),
  };
  for (const BadInput& c : cases) {
    std::vector<std::string> args = {"--out", out};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const testing::ToolRun r = RunTool(args, tmp.path());
    SCOPED_TRACE(c.name);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Fix:"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(tmp / "out")) << "nothing written";
    EXPECT_EQ(Listing(tmp.path()).size(), 6u) << "nothing written anywhere";
    EXPECT_EQ(Listing(tmp / "footage"), (std::set<std::string>{"audio.m4a", "empty.mp4", "frames.mkv", "locked.mp4",
                                                               "noindex.mp4", "shot", "sound.mp4", "whole.mp4"}));
    EXPECT_TRUE(testing::Slurp(movie) == whole) << "a movie that is there stays as it was";
    if (c.args.size() == 2 && c.args[1].find("/footage/") != std::string::npos) {
      EXPECT_EQ(r.err.find("PNG"), std::string::npos) << "a movie's fault suggests no image formats: " << r.err;
    }
  }
}

TEST(RenderTool, FailedRunLeavesThePreviousOutputAsItWas) {
  TempDir tmp("partial");
  fs::create_directories(tmp / "shots");
  for (int i = 0; i < 4; ++i) {
    pixels::PixelWorld w(64, 36, pixels::Depth::k8);
    pixels::PaintFrameStamp(*w.world(), i);
    WriteImage((tmp / "shots" / ("s." + std::to_string(i) + ".png")).string(), 64, 36, WorldToRgba(*w.world()),
               FrameFormat::Png8);
  }
  const std::vector<std::string> scene = {"--size", "64x36", "--frames", "8", "--source",
                                          (tmp / "shots" / "s.#.png").string(), "--type", "cycle", "--set",
                                          "params.time={\"rate\": 360}", "--easing", "linear", "--waiting", "0"};
  ASSERT_FALSE(Render(tmp, scene).is_null());
  const auto before = Listing(tmp / "out");
  const std::string report_before = testing::Slurp(tmp / "out" / "report.json");
  // A frame whose header reads but whose pixels do not: the run fails midway.
  const std::string png = testing::Slurp(tmp / "shots" / "s.3.png");
  std::ofstream(tmp / "shots" / "s.3.png", std::ios::binary | std::ios::trunc) << png.substr(0, 60);
  std::vector<std::string> args = {"--out", (tmp / "out").string(), "--quiet", "--frames", "6"};
  args.insert(args.end(), scene.begin(), scene.end());
  const testing::ToolRun r = RunTool(args, tmp.path());
  EXPECT_NE(r.exit_code, 0);
  EXPECT_NE(r.err.find("s.3.png"), std::string::npos) << r.err;
  EXPECT_EQ(Listing(tmp / "out"), before) << "no staging folder or partial file is left";
  EXPECT_EQ(testing::Slurp(tmp / "out" / "report.json"), report_before);
}

TEST(RenderTool, DiagnosticsNameTheFrames) {
  TempDir tmp("diag");
  testing::ToolRun run;
  // A Cycle of 10 frames a turn over a 10-frame source never shows its last
  // frame: the trimmed stretch ends one frame early.
  Render(tmp, {"--size", "64x36", "--frames", "12", "--set", "source.duration=0.3333333333", "--set", "source.width=64",
               "--set", "source.height=36", "--type", "cycle", "--set", "params.time={\"rate\": 1080}", "--easing",
               "linear", "--waiting", "0"},
         &run);
  EXPECT_NE(run.err.find("Cycle loop skips source frame"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("frames 9 and 10"), std::string::npos) << run.err;

  // A Pingpong whose turn falls between two frames shows the end frame twice.
  Render(tmp, {"--size", "64x36", "--frames", "20", "--set", "source.duration=0.3333333333", "--set",
               "source.width=64", "--set", "source.height=36", "--type", "pingpong", "--set",
               "params.time={\"rate\": 660}", "--easing", "linear", "--waiting", "0"},
         &run);
  EXPECT_NE(run.err.find("turn-around source frame 9 twice, at frames 16 and 17"), std::string::npos) << run.err;

  // Seconds past the source's end.
  Render(tmp, {"--size", "64x36", "--frames", "6", "--set", "source.duration=0.1", "--type", "cycle", "--set",
               "params.time={\"rate\": 360}", "--set", "params.range=second", "--set", "params.end=1", "--easing",
               "linear", "--waiting", "0"},
         &run);
  EXPECT_NE(run.err.find("outside the source layer"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("frames 3-5"), std::string::npos) << run.err;
}

// The tool's contract outputs for fixed inputs, byte for byte against their
// golden files: --help (the default plug-in's path written PLUGIN), the
// resolved defaults --dry-run prints, and the demo's report.json. When a
// change means to alter one, tests/tools/golden/README.md says how to make
// it again.
struct GoldenOutput {
  std::string golden;
  std::vector<std::string> args;
  std::string file;  // in the output folder; empty: standard output
};

TEST(RenderTool, ContractOutputsEqualTheirGoldenFiles) {
  TempDir tmp("golden");
  const std::string out = (tmp / "out").string();
  const std::string demo = (fs::path(ZELVAN_SOURCE_DIR) / "scenes" / "demo.json").string();
  const GoldenOutput cases[] = {
      {"help.txt", {"--help"}, ""},
      {"defaults.json", {"--dry-run"}, ""},
      {"demo-report.json", {demo, "--frames", "6", "--no-previews", "-q", "--out", out}, "report.json"},
  };
  for (const GoldenOutput& c : cases) {
    SCOPED_TRACE(c.golden);
    const testing::ToolRun r = RunTool(c.args, tmp.path());
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::string got = c.file.empty() ? r.out : testing::Slurp(fs::path(out) / c.file);
    for (std::size_t at; (at = got.find(ZELVAN_PLUGIN_FILE)) != std::string::npos;) {
      got.replace(at, std::string(ZELVAN_PLUGIN_FILE).size(), "PLUGIN");
    }
    EXPECT_EQ(got, testing::Slurp(fs::path(ZELVAN_SOURCE_DIR) / "tests" / "tools" / "golden" / c.golden));
  }
}

TEST(RenderTool, HelpAndDryRun) {
  TempDir tmp("help");
  testing::ToolRun r = RunTool({"--help"}, tmp.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("--set FIELD=VALUE"), std::string::npos);
  // The examples name files that exist.
  for (std::size_t at = r.out.find("scenes/"); at != std::string::npos; at = r.out.find("scenes/", at + 1)) {
    const std::string file = r.out.substr(at, r.out.find(' ', at) - at);
    EXPECT_TRUE(fs::exists(fs::path(ZELVAN_SOURCE_DIR) / file)) << file;
  }
  r = RunTool({"--version"}, tmp.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out.rfind("zelvan-render ", 0), 0u) << r.out;
  r = RunTool({"--dry-run", "--frames=4", "--mode=Fit to Layer", "--out", (tmp / "out").string()}, tmp.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(json::parse(r.out)["comp"]["frames"], 4);
  EXPECT_EQ(json::parse(r.out)["params"]["mode"], "fit");
  EXPECT_FALSE(fs::exists(tmp / "out"));
}

// --dry-run writes nothing and prints the resolved scene on standard output;
// on standard error it says what a movie would be (its codec, pixels and
// quality, as the recipe table and --help give them) and what --play-once
// will do to the source. Rows: the command line and what standard error says.
struct DryRun {
  std::string name;
  std::vector<std::string> args;
  std::string says;  // empty: nothing

  DryRun& Args(std::vector<std::string> a) {
    args = std::move(a);
    return *this;
  }
  DryRun& Says(std::string text) {
    says = std::move(text);
    return *this;
  }
};
DryRun DryRunRow(std::string name) {
  DryRun c;
  c.name = std::move(name);
  return c;
}

TEST(RenderTool, DryRunSaysWhatARunWouldWrite) {
  TempDir tmp("dryrun");
  const DryRun cases[] = {
      DryRunRow("frames").Args({"--out", "frames"}),
      // H.264's level by hand: 20 x 12 macroblocks, 7200 a second, within
      // level 1.3 (396 and 11880); 5 x 3 at 30000/1001 within level 1.
      DryRunRow("an .mp4")
          .Args({"--out", "loop.mp4"})
          .Says("zelvan-render: dry run: loop.mp4 would be a movie of 90 frames 320x180 at 30 fps, H.264 High, level "
                "1.3, yuv420p, no alpha, crf 18; plays anywhere: "),
      DryRunRow("an .mp4 of odd size at another quality")
          .Args({"--out", "loop.mp4", "--size", "65x35", "--crf", "23", "--fps", "29.97"})
          .Says("loop.mp4 would be a movie of 90 frames 65x35 at 30000/1001 fps, H.264 High, level 1, yuv420p, no "
                "alpha, crf 23, padded to 66x36; "),
      // 1920 x 1080 at 30 fps: past level 3.1's 983040 samples a picture,
      // within level 4's 2228224 and 66846720 a second.
      DryRunRow("an H.265 .mp4")
          .Args({"--out", "loop.mp4", "--codec", "h265", "--size", "1920x1080", "--frames", "2"})
          .Says("loop.mp4 would be a movie of 2 frames 1920x1080 at 30 fps, H.265 Main, level 4, yuv420p, no alpha, "
                "crf 20; plays in players"),
      DryRunRow("a 16-bit .mov at a third, whose first frame has alpha")
          .Args({"--out", "loop.MOV", "--depth", "16", "--downsample", "3"})
          .Says("loop.MOV would be a movie of 90 frames 107x60 at 30 fps, ProRes 4444, yuva444p10le, alpha (the "
                "first frame has alpha); for editing applications"),
      DryRunRow("a .mov whose first frame has none")
          .Args({"--out", "loop.mov", "--mode", "fit", "--frames", "3"})
          .Says("ProRes 422 HQ, yuv422p10le, no alpha (the first frame has none); for editing applications"),
      DryRunRow("a .mov of a ProRes profile picked")
          .Args({"--out", "loop.mov", "--prores", "proxy", "--frames", "3"})
          .Says("ProRes 422 Proxy, yuv422p10le, no alpha; for editing applications, as a light stand-in"),
      DryRunRow("a .webm whose first frame has alpha")
          .Args({"--out", "loop.webm", "--frames", "3"})
          .Says("VP9, yuva420p, alpha, crf 31 (the first frame has alpha); plays in web pages, with its alpha"),
      DryRunRow("a .webm whose first frame has none")
          .Args({"--out", "loop.webm", "--mode", "center", "--frames", "3"})
          .Says("VP9, yuv420p, no alpha, crf 31 (the first frame has none); plays in web pages"),
      DryRunRow("an .mkv")
          .Args({"--out", "loop.mkv", "--frames", "4"})
          .Says("4 frames 320x180 at 30 fps, FFV1 lossless, bgra, alpha; for the archive"),
      DryRunRow("a .gif")
          .Args({"--out", "loop.gif", "--frames", "4"})
          .Says("4 frames 320x180 at 30 fps, GIF, pal8, no alpha; plays anywhere an image shows"),
      DryRunRow("--play-once past the source")
          .Args({"--out", "frames", "--play-once", "--frames", "100", "--set", "source.fps=24"})
          .Says("zelvan-render: note: --play-once: the composition's 100 frames outlast the source's 2 s, so from "
                "composition frame 48 on the source starts again (a loop)\n"),
  };
  for (const DryRun& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"--dry-run"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const testing::ToolRun r = RunTool(args, tmp.path());
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(json::accept(r.out)) << "the scene alone on standard output: " << r.out;
    if (c.says.empty()) EXPECT_EQ(r.err, "");
    else EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(Listing(tmp.path()), std::set<std::string>{}) << "nothing written";
  }
}

}  // namespace
}  // namespace zelvan::render
