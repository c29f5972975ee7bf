// The render tool's scene model, command line and writers, without a host.
#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/pixdesc.h>
}

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <vector>

#include "Cli.h"
#include "Help.h"
#include "Diagnose.h"
#include "FrameRate.h"
#include "FfmpegSeek.h"
#include "ImageFile.h"
#include "ImageFiles.h"
#include "EncoderFrames.h"
#include "EncoderShape.h"
#include "MovieEncoder.h"
#include "MovieRecipe.h"
#include "OutputFile.h"
#include "OutputFolder.h"
#include "OutputNames.h"
#include "OutputPlace.h"
#include "PixelWorld.h"
#include "PlayOnce.h"
#include "PreviewGif.h"
#include "Previews.h"
#include "Report.h"
#include "RunTool.h"
#include "Scene.h"
#include "SceneFields.h"

namespace zelvan::render {
namespace {

using testing::TempDir;

Scene Resolve(std::initializer_list<std::string> sets) {
  Json j = Json::object();
  for (const auto& s : sets) ApplyOverride(j, s);
  return ResolveScene(j);
}

// The empty scene resolves to the demo, field by field as the golden file
// holds it (tests/tools/golden/defaults.json, which is what
// `zelvan-render --dry-run` prints: see tests/tools/golden/README.md).
TEST(Scene, DefaultsMakeThePingpongDemo) {
  const Scene s = Resolve({});
  EXPECT_EQ(s.resolved, Json::parse(testing::Slurp(ZELVAN_GOLDEN_DIR "/defaults.json")));
  EXPECT_EQ(s.comp.frames, 90);
  EXPECT_TRUE(s.source.builtin());
  EXPECT_EQ(s.params.code(kParamType), kLoopPingpong);
}

TEST(Scene, DottedOverridesReadJsonOrText) {
  const Scene s = Resolve({"comp.frames=4", "params.mode=no-margin", "params.time={\"keys\": [[0, 0], [1, 90]]}",
                           "comp.fps=\"30000/1001\"", "params.layer=false"});
  EXPECT_EQ(s.comp.frames, 4);
  EXPECT_EQ(s.params.code(kParamMode), kModeNoMargin);
  EXPECT_EQ(s.params.time.kind, TimeCurve::Kind::Keys);
  EXPECT_DOUBLE_EQ(s.params.time.at(0.5), 45.0);
  EXPECT_DOUBLE_EQ(s.params.time.at(5.0), 90.0);
  EXPECT_EQ(s.comp.fps.num, 30000);
  EXPECT_EQ(s.comp.fps.den, 1001);
  EXPECT_EQ(s.params[kParamLayer], 0.0) << "no layer";
  EXPECT_EQ(s.resolved["comp"]["fps"], "30000/1001");
  // The effect's own menu names read as the short ones.
  const std::vector<std::pair<std::string, A_long>> modes = {
      {"Center", kModeCenter},           {"Whole", kModeWhole},       {"No Margin", kModeNoMargin},
      {"Fit to Layer", kModeFitToLayer}, {"fit", kModeFitToLayer}, {"no_margin", kModeNoMargin}};
  for (const auto& [name, code] : modes) {
    EXPECT_EQ(Resolve({"params.mode=" + name}).params.code(kParamMode), code) << name;
  }
  EXPECT_EQ(Resolve({"params.easing_mode=InOut"}).params.code(kParamEasingMode), kEasingInOut);
}

TEST(Scene, FootageGivesTheCompositionItsSizeAndRate) {
  const Scene s = ResolveScene(Json{{"source", {{"path", "clip.mp4"}}}},
                               FootageFacts{int64_t{50}, Rational{25, 1}, 1280, 720});
  EXPECT_EQ(s.comp.width, 1280);
  EXPECT_EQ(s.comp.height, 720);
  EXPECT_EQ(s.comp.fps.text(), "25");
  EXPECT_DOUBLE_EQ(*s.source.duration, 2.0);
  const Scene told = ResolveScene(Json{{"comp", {{"width", 64}, {"fps", 30}}}, {"source", {{"path", "clip.mp4"}}}},
                                  FootageFacts{int64_t{50}, Rational{25, 1}, 1280, 720});
  EXPECT_EQ(told.comp.width, 64);
  EXPECT_EQ(told.comp.height, 720);
  EXPECT_EQ(told.comp.fps.text(), "30");
}

// --play-once: the composition takes the source's rate and length unless the
// scene sets them, and the loop is a linear Cycle whose turn lasts the source.
// Rows from a scene, the footage it reads, the composition that results and
// the notes on what a composition the scene set does to the source.
struct PlayOnceCase {
  std::string name;
  Json scene = Json::object();
  std::optional<FootageFacts> footage;
  std::string fps;
  int frames = 0;
  std::vector<std::string> notes;

  PlayOnceCase& Set(const std::string& assignment) {
    ApplyOverride(scene, assignment);
    return *this;
  }
  PlayOnceCase& Movie(int64_t frames_held, Rational rate) {
    Set("source.path=clip.mp4");
    footage = FootageFacts{frames_held, rate, 96, 54};
    return *this;
  }
  PlayOnceCase& Makes(std::string rate, int count) {
    fps = std::move(rate);
    frames = count;
    return *this;
  }
  PlayOnceCase& Notes(std::string note) {
    notes.push_back(std::move(note));
    return *this;
  }
};
PlayOnceCase PlayOnce(std::string name) {
  PlayOnceCase c;
  c.name = std::move(name);
  return c;
}

TEST(Scene, PlayOnceFollowsTheSourceUnlessSet) {
  const PlayOnceCase cases[] = {
      PlayOnce("the built-in clip's 2 s at its 24 fps").Set("source.fps=24").Makes("24", 48),
      PlayOnce("comp.frames set").Set("source.fps=24").Set("comp.frames=10").Makes("24", 10),
      PlayOnce("comp.fps set")
          .Set("source.fps=24")
          .Set("comp.fps=48")
          .Makes("48", 96)
          .Notes("--play-once: the composition's 48 fps is faster than the source's 24, so source frames repeat"),
      PlayOnce("comp.duration set").Set("source.fps=24").Set("comp.duration=1").Makes("24", 24),
      PlayOnce("a movie of 120 frames at 25 fps").Movie(120, Rational{25, 1}).Makes("25", 120),
      PlayOnce("a movie of 7 frames at 30000/1001").Movie(7, Rational{30000, 1001}).Makes("30000/1001", 7),
      // 7 frames at 25 fps last 0.28 s, 8.4 frames at 30 fps: the last
      // source frame shows in a ninth.
      PlayOnce("a movie of 7 frames at 25 fps in a 30 fps composition")
          .Movie(7, Rational{25, 1})
          .Set("comp.fps=30")
          .Makes("30", 9)
          .Notes("--play-once: the composition's 30 fps is faster than the source's 25, so source frames repeat"),
      // 120 frames at 25 fps last 4.8 s, 115.2 frames at 24 fps.
      PlayOnce("a movie of 120 frames at 25 fps in a 24 fps composition")
          .Movie(120, Rational{25, 1})
          .Set("comp.fps=24")
          .Makes("24", 116)
          .Notes("--play-once: the composition's 24 fps is slower than the source's 25, so source frames are skipped"),
      PlayOnce("comp.frames past the source's 48")
          .Set("source.fps=24")
          .Set("comp.frames=50")
          .Makes("24", 50)
          .Notes("--play-once: the composition's 50 frames outlast the source's 2 s, so from composition frame 48 on "
                 "the source starts again (a loop)"),
      PlayOnce("comp.duration past the source's and at another rate")
          .Movie(7, Rational{30000, 1001})
          .Set("comp.duration=1")
          .Makes("30000/1001", 30)
          .Notes("--play-once: the composition's 30 frames outlast the source's 0.233567 s, so from composition "
                 "frame 7 on the source starts again (a loop)"),
      PlayOnce("the source's rate, as a decimal, in the composition")
          .Movie(7, Rational{30000, 1001})
          .Set("comp.fps=29.97")
          .Makes("30000/1001", 7),
  };
  for (const PlayOnceCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Scene s = ResolveScene(c.scene, c.footage, true);
    EXPECT_EQ(s.comp.fps.text(), c.fps);
    EXPECT_EQ(s.comp.frames, c.frames);
    EXPECT_EQ(s.params.code(kParamType), kLoopCycle);
    EXPECT_EQ(s.params.code(kParamEasingType), kEasingLinear);
    EXPECT_EQ(s.params[kParamWaitingTime], 0.0);
    EXPECT_EQ(s.params.code(kParamRangeType), kRangeSecond);
    EXPECT_EQ(s.params[kParamStartSeconds], 0.0);
    EXPECT_EQ(s.params[kParamEndSeconds], *s.source.duration);
    EXPECT_DOUBLE_EQ(s.params.time.at(*s.source.duration), 360.0) << "one turn lasts the source";
    EXPECT_EQ(PlayOnceNotes(s), c.notes);
  }
  EXPECT_THROW(ResolveScene(Json{{"source", {{"path", "still.png"}}}}, FootageFacts{std::nullopt, std::nullopt, 8, 8}, true),
               UsageError);
}

// --play-once makes the loop itself: every field of the loop is refused
// beside it, whatever its value (even the one --play-once would set); the
// composition, the placement and the output stay the user's.
TEST(Scene, PlayOnceRefusesEveryFieldOfTheLoop) {
  for (const char* loop : {"params.type=cycle", "params.time=90", "params.waiting=0", "params.range=second",
                           "params.start=0", "params.end=1", "params.easing=linear", "params.easing_mode=out"}) {
    SCOPED_TRACE(loop);
    Json j = Json::object();
    ApplyOverride(j, loop);
    try {
      ResolveScene(j, std::nullopt, true);
      ADD_FAILURE() << "taken beside --play-once";
    } catch (const UsageError& e) {
      const std::string field = std::string(loop).substr(0, std::string(loop).find('='));
      EXPECT_EQ(e.where(), field);
      EXPECT_NE(std::string(e.what()).find("is set by --play-once"), std::string::npos) << e.what();
    }
  }
  for (const char* other : {"params.mode=fit", "params.layer=false", "comp.fps=25", "comp.depth=16", "format=exr"}) {
    SCOPED_TRACE(other);
    Json j = Json::object();
    ApplyOverride(j, other);
    EXPECT_NO_THROW(ResolveScene(j, std::nullopt, true));
  }
}

TEST(Scene, FramesWinOverDurationAndDurationRounds) {
  EXPECT_EQ(Resolve({"comp.duration=1.5"}).comp.frames, 45);
  EXPECT_EQ(Resolve({"comp.duration=1.5", "comp.frames=7"}).comp.frames, 7);
  EXPECT_DOUBLE_EQ(Resolve({"comp.frames=15"}).comp.duration, 0.5);
}

// Rates as people type them, as JSON numbers or text, and the exact
// fraction each is, worked out by hand: a decimal is the fraction its digits
// spell, reduced, but for the NTSC rates as editors show them; a fraction is
// taken as written.
struct RateCase {
  std::string name;
  Json given;
  std::string fraction;

  RateCase& Given(Json value) {
    given = std::move(value);
    return *this;
  }
  RateCase& Is(std::string text) {
    fraction = std::move(text);
    return *this;
  }
};
RateCase Rate(std::string name) {
  RateCase c;
  c.name = std::move(name);
  return c;
}

TEST(Scene, RatesAreExactFractions) {
  const RateCase cases[] = {
      Rate("a whole number").Given(25).Is("25"),
      Rate("a whole number as text").Given("24").Is("24"),
      Rate("a whole number written with a point").Given(30.0).Is("30"),
      Rate("a fraction").Given("60000/1001").Is("60000/1001"),
      Rate("a fraction reduced").Given("50/2").Is("25"),
      Rate("23.976, NTSC 24").Given(23.976).Is("24000/1001"),
      Rate("29.97, NTSC 30").Given(29.97).Is("30000/1001"),
      Rate("59.94, NTSC 60").Given(59.94).Is("60000/1001"),
      Rate("29.97 as text").Given("29.97").Is("30000/1001"),
      Rate("29.970, a zero more").Given("29.970").Is("30000/1001"),
      Rate("2997/100, the fraction as written").Given("2997/100").Is("2997/100"),
      Rate("a decimal past the NTSC rate's digits").Given(23.9761).Is("239761/10000"),
      Rate("a half").Given(12.5).Is("25/2"),
      Rate("an exponent").Given("2.5e1").Is("25"),
      Rate("the highest").Given(1000).Is("1000"),
      Rate("the lowest as a decimal").Given(0.001).Is("1/1000"),
      Rate("the lowest as a fraction").Given("1/1000").Is("1/1000"),
      Rate("the lowest as a fraction not reduced").Given("100/100000").Is("1/1000"),
      Rate("a fine fraction").Given("99999/100000").Is("99999/100000"),
  };
  for (const RateCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ParseRate(c.given, "f").text(), c.fraction);
  }
}

TEST(Scene, SecondRangeDefaultsToTheSourceLength) {
  const Scene s = Resolve({"params.range=second", "source.duration=3"});
  EXPECT_DOUBLE_EQ(s.params[kParamStartSeconds], 0.0);
  EXPECT_DOUBLE_EQ(s.params[kParamEndSeconds], 3.0);
}

// A scene the tool refuses: its assignments, the field the error names
// first, a part of what it says is wrong and a part of the fix that follows
// (anything when none is given). The menus' fixes and the ranges' ends are
// written out by hand from --help.
struct BadValueCase {
  std::string name;
  std::vector<std::string> sets;
  std::string field;
  std::string says;
  std::string fix;

  BadValueCase& Set(std::string assignment) {
    sets.push_back(std::move(assignment));
    return *this;
  }
  BadValueCase& Names(std::string where) {
    field = std::move(where);
    return *this;
  }
  BadValueCase& Says(std::string text) {
    says = std::move(text);
    return *this;
  }
  BadValueCase& FixSays(std::string text) {
    fix = std::move(text);
    return *this;
  }
};
BadValueCase Bad(std::string name) {
  BadValueCase c;
  c.name = std::move(name);
  return c;
}

TEST(Scene, BadValuesNameTheFieldAndTheFix) {
  const BadValueCase cases[] = {
      Bad("a width of 0").Set("comp.width=0").Names("comp.width"),
      Bad("a negative height").Set("comp.height=-3").Names("comp.height"),
      Bad("a negative duration").Set("comp.duration=-1").Names("comp.duration"),
      Bad("a negative source duration").Set("source.duration=-2").Names("source.duration"),
      Bad("a rate of 0").Set("comp.fps=0").Names("comp.fps").Says("at least 1/1000 frames per second"),
      Bad("a source rate of 0/1").Set("source.fps=\"0/1\"").Names("source.fps").Says("at least 1/1000"),
      Bad("a rate over 0").Set("comp.fps=\"30/0\"").Names("comp.fps").Says("is not a frame rate"),
      Bad("a rate below the lowest, as a decimal")
          .Set("comp.fps=0.0009")
          .Names("comp.fps")
          .Says("must be at least 1/1000 frames per second, got 0.0009")
          .FixSays("give frames per second from 1/1000 to 1000"),
      Bad("a rate below the lowest, as a fraction")
          .Set("source.fps=\"1/1001\"")
          .Names("source.fps")
          .Says("must be at least 1/1000 frames per second")
          .FixSays("from 1/1000 to 1000"),
      Bad("a rate below the lowest, in a denominator a fraction may not have")
          .Set("comp.fps=\"1/100001\"")
          .Names("comp.fps")
          .Says("must be at least 1/1000 frames per second"),
      Bad("a negative rate").Set("comp.fps=-25").Names("comp.fps").Says("must be at least 1/1000"),
      Bad("a rate above the highest, as a decimal")
          .Set("comp.fps=1000.001")
          .Names("comp.fps")
          .Says("must be at most 1000 frames per second")
          .FixSays("from 1/1000 to 1000"),
      Bad("a rate above the highest, as a fraction")
          .Set("comp.fps=\"1000001/1000\"")
          .Names("comp.fps")
          .Says("must be at most 1000 frames per second"),
      Bad("a fraction finer than the host's time")
          .Set("comp.fps=\"1000001/1001\"")
          .Names("comp.fps")
          .Says("a numerator above 1000000 or a denominator above 100000")
          .FixSays("round it"),
      Bad("a fraction in steps finer than 1/100000")
          .Set("comp.fps=\"100002/100001\"")
          .Names("comp.fps")
          .Says("a numerator above 1000000 or a denominator above 100000"),
      Bad("a decimal finer than the host's time")
          .Set("comp.fps=29.970001")
          .Names("comp.fps")
          .Says("a numerator above 1000000 or a denominator above 100000"),
      Bad("a rate in words").Set("comp.fps=fast").Names("comp.fps").Says("is not a frame rate: \"fast\""),
      Bad("a rate with words after it").Set("comp.fps=\"30fps\"").Names("comp.fps").Says("is not a frame rate"),
      Bad("a million frames").Set("comp.frames=1000000").Names("comp.frames"),
      Bad("a duration of too many frames").Set("comp.duration=100000").Names("comp.duration"),
      Bad("a depth of 12").Set("comp.depth=12").Names("comp.depth"),
      Bad("a downsample of 5").Set("comp.downsample=5").Names("comp.downsample"),
      Bad("waiting past 100 percent")
          .Set("params.waiting=101")
          .Names("params.waiting")
          .FixSays("give a value from 0 to 100 percent"),
      Bad("an angle past the fixed point").Set("params.time={\"rate\": 1e6}").Names("params.time"),
      Bad("keys out of order").Set("params.time={\"keys\": [[1, 0], [0, 9]]}").Names("params.time.keys[1]"),
      Bad("a mode not on the menu")
          .Set("params.mode=wholes")
          .Names("params.mode")
          .FixSays("use one of \"center\", \"whole\", \"no-margin\", \"fit\""),
      Bad("a type not on the menu")
          .Set("params.type=bounce")
          .Names("params.type")
          .FixSays("use one of \"cycle\", \"pingpong\""),
      Bad("a range not on the menu")
          .Set("params.range=minutes")
          .Names("params.range")
          .FixSays("use one of \"percent\", \"second\""),
      Bad("an easing not on the menu")
          .Set("params.easing=elastic")
          .Names("params.easing")
          .FixSays("use one of \"linear\", \"quad\", \"cubic\", \"quart\", \"quint\", \"expo\", \"circ\", \"sine\", "
                   "\"bounce\""),
      Bad("an easing mode not on the menu")
          .Set("params.easing_mode=both")
          .Names("params.easing_mode")
          .FixSays("use one of \"in\", \"out\", \"inout\""),
      Bad("a start before 0 percent")
          .Set("params.start=-1")
          .Names("params.start")
          .FixSays("give a value from 0 to 100 percent"),
      Bad("an end past 100 percent")
          .Set("params.end=100.5")
          .Names("params.end")
          .FixSays("give a value from 0 to 100 percent"),
      Bad("a start before 0 seconds")
          .Set("params.range=second")
          .Set("params.start=-0.5")
          .Names("params.start")
          .FixSays("give a value from 0 to 1e+06 seconds"),
      Bad("an end past a million seconds")
          .Set("params.range=second")
          .Set("params.end=1000000.5")
          .Names("params.end")
          .FixSays("give a value from 0 to 1e+06 seconds"),
      Bad("a layer neither true nor false").Set("params.layer=1").Names("params.layer"),
      Bad("a format not on the menu").Set("format=tiff").Names("format"),
  };
  for (const BadValueCase& c : cases) {
    SCOPED_TRACE(c.name);
    Json j = Json::object();
    for (const std::string& assignment : c.sets) ApplyOverride(j, assignment);
    try {
      ResolveScene(j);
      ADD_FAILURE() << "taken";
    } catch (const UsageError& e) {
      const std::string what = e.what();
      EXPECT_EQ(e.where(), c.field);
      EXPECT_EQ(what.rfind(c.field + ": ", 0), 0u) << what;
      const std::size_t fix = what.find(". Fix: ");
      ASSERT_NE(fix, std::string::npos) << what;
      EXPECT_LT(what.find(c.says), fix) << what;
      EXPECT_GT(what.size(), fix + 7) << what;
      EXPECT_NE(what.find(c.fix, fix), std::string::npos) << what;
    }
  }
}

TEST(Scene, UnknownFieldsAreRefused) {
  Json j = Json::object();
  try {
    ApplyOverride(j, "comp.widht=5");
    FAIL() << "accepted an unknown field";
  } catch (const UsageError& e) {
    EXPECT_EQ(e.where(), "comp.widht");
    EXPECT_NE(std::string(e.what()).find("\"width\""), std::string::npos);
  }
  EXPECT_THROW(ApplyOverride(j, "cmop.width=5"), UsageError);
  EXPECT_THROW(ApplyOverride(j, "novalue"), UsageError);
  EXPECT_THROW(ResolveScene(Json{{"source", {{"path", "builtin"}, {"colour", 1}}}}), UsageError);
}

TEST(Cli, ShortcutsBecomeOverridesInOrder) {
  const Options o = ParseCommandLine({"s.json", "--frames", "4", "--size", "64x36", "--set", "comp.frames=6", "-q",
                                      "--out", "dir", "--mode", "fit"});
  EXPECT_EQ(o.scene_file, "s.json");
  EXPECT_EQ(o.out_dir, "dir");
  EXPECT_TRUE(o.quiet);
  EXPECT_EQ(o.overrides, (std::vector<std::string>{"comp.frames=4", "comp.width=64", "comp.height=36",
                                                   "comp.frames=6", "params.mode=fit"}));
  // --opt=value, and the effect's own menu names.
  const Options eq = ParseCommandLine({"--frames=4", "--set=comp.fps=25", "--mode=Fit to Layer", "-y", "--no-previews",
                                       "--keep-going", "--out=o"});
  EXPECT_EQ(eq.overrides, (std::vector<std::string>{"comp.frames=4", "comp.fps=25", "params.mode=Fit to Layer"}));
  EXPECT_TRUE(eq.overwrite && eq.no_previews && eq.keep_going);
  EXPECT_EQ(eq.out_dir, "o");
  EXPECT_THROW(ParseCommandLine({"--quiet=1"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"--bogus"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"--frames"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"--size", "64"}), UsageError);
  EXPECT_TRUE(ParseCommandLine({"--play-once"}).play_once);
  // A value that looks like an option is one, unless given with "=";
  // negative numbers and "-" are values.
  EXPECT_THROW(ParseCommandLine({"--out", "--no-previews"}), UsageError);
  EXPECT_THROW(ParseCommandLine({"-o", "-q"}), UsageError);
  EXPECT_EQ(ParseCommandLine({"--out=--no-previews"}).out_dir, "--no-previews");
  EXPECT_EQ(ParseCommandLine({"-o", "-"}).out_dir, "-");
  EXPECT_EQ(ParseCommandLine({"--waiting", "-5", "--set", "source.in=-1"}).overrides,
            (std::vector<std::string>{"params.waiting=-5", "source.in=-1"}));
  EXPECT_EQ(ParseCommandLine({"--set", "-.5"}).overrides, (std::vector<std::string>{"-.5"}));
  // A movie by its extension in any case; --crf within its kind's scale
  // (H.264 from 1 to 51, H.265 from 0, VP9 to 63), none for the others;
  // --codec and --prores for their own containers, by the names they take.
  const std::pair<const char*, const char*> movies[] = {
      {"a/loop.mp4", ".mp4"}, {"LOOP.MOV", ".mov"}, {"loop.Mkv", ".mkv"}, {"loop.WebM", ".webm"}, {"x/loop.gif", ".gif"}};
  for (const auto& [path, extension] : movies) {
    ASSERT_NE(MovieContainerOf(path), nullptr) << path;
    EXPECT_STREQ(MovieContainerOf(path)->extension, extension) << path;
  }
  for (const char* folder : {"loop", "loop.mp4/", ".mp4", "loop.mp4.d", "zelvan-render-out"}) {
    EXPECT_EQ(MovieContainerOf(folder), nullptr) << folder;
  }
  EXPECT_EQ(ParseCommandLine({"--out", "a.mp4"}).crf, std::nullopt);
  EXPECT_EQ(ParseCommandLine({"--out", "a.MP4", "--crf", "23"}).crf, 23);
  EXPECT_EQ(ParseCommandLine({"--crf=0", "--out", "a.mp4", "--codec", "h265"}).crf, 0);
  EXPECT_EQ(ParseCommandLine({"--out", "a.webm", "--crf", "63"}).crf, 63);
  EXPECT_EQ(ParseCommandLine({"--out", "a.mov", "--prores", "422lt"}).kind_picks.at("--prores"), "422lt");
  EXPECT_TRUE(ParseCommandLine({"--out", "a.mkv", "--play-once", "--audio", "copy"}).audio_copy);
  for (const std::vector<std::string>& refused :
       std::vector<std::vector<std::string>>{{"--out", "a.mp4", "--crf", "52"},
                                             {"--out", "a.mp4", "--crf", "-1"},
                                             {"--out", "a.mp4", "--crf", "18.5"},
                                             {"--out", "a.mp4", "--crf", "0"},
                                             {"--out", "a.webm", "--crf", "64"},
                                             {"--crf", "18"},
                                             {"--out", "a.mov", "--crf", "18"},
                                             {"--out", "a.gif", "--crf", "18"},
                                             {"--out", "a.mp4", "--codec", "vp9"},
                                             {"--out", "a.mov", "--codec", "h265"},
                                             {"--out", "a.mp4", "--prores", "4444"},
                                             {"--out", "a.mov", "--prores", "444"},
                                             {"--out", "a.mp4", "--audio", "copy"},
                                             {"--out", "a.gif", "--play-once", "--audio", "copy"},
                                             {"--out", "a", "--play-once", "--audio", "copy"},
                                             {"--out", "a.mkv", "--keep-going"}}) {
    EXPECT_THROW(ParseCommandLine(refused), UsageError) << refused[refused.size() - 2] << " " << refused.back();
  }
}

// Each shortcut sets its own field: rows of a command line and the
// overrides it makes, written out by hand from --help.
struct ShortcutCase {
  std::vector<std::string> args;
  std::vector<std::string> sets;
  ShortcutCase& Sets(std::vector<std::string> assignments) {
    sets = std::move(assignments);
    return *this;
  }
};
ShortcutCase Given(std::vector<std::string> args) { return ShortcutCase{std::move(args), {}}; }

TEST(Cli, EachShortcutSetsItsField) {
  const ShortcutCase cases[] = {
      Given({"--frames", "7"}).Sets({"comp.frames=7"}),
      Given({"--duration", "2"}).Sets({"comp.duration=2"}),
      Given({"--size", "64x36"}).Sets({"comp.width=64", "comp.height=36"}),
      Given({"--fps", "30000/1001"}).Sets({"comp.fps=30000/1001"}),
      Given({"--depth", "16"}).Sets({"comp.depth=16"}),
      Given({"--downsample", "3"}).Sets({"comp.downsample=3"}),
      Given({"--source", "clip.mp4"}).Sets({"source.path=clip.mp4"}),
      Given({"--mode", "No Margin"}).Sets({"params.mode=No Margin"}),
      Given({"--type", "cycle"}).Sets({"params.type=cycle"}),
      Given({"--easing", "bounce"}).Sets({"params.easing=bounce"}),
      Given({"--easing-mode", "out"}).Sets({"params.easing_mode=out"}),
      Given({"--waiting", "25"}).Sets({"params.waiting=25"}),
      Given({"--format", "exr"}).Sets({"format=exr"}),
  };
  for (const ShortcutCase& c : cases) {
    SCOPED_TRACE(c.args.front());
    EXPECT_EQ(ParseCommandLine(c.args).overrides, c.sets);
  }
}

// Both ends of every range --help states, and one step past each: a command
// line the tool takes whole (parsed and resolved) or refuses.
struct RangeCase {
  std::vector<std::string> args;
  bool taken = true;
};
RangeCase Takes(std::vector<std::string> args) { return RangeCase{std::move(args), true}; }
RangeCase Refuses(std::vector<std::string> args) { return RangeCase{std::move(args), false}; }

TEST(Cli, RangesTakeBothEndsAndNothingBeyond) {
  const RangeCase cases[] = {
      Takes({"--out", "a.mp4", "--crf", "1"}),
      Takes({"--out", "a.mp4", "--crf", "51"}),
      Refuses({"--out", "a.mp4", "--crf", "0"}),
      Refuses({"--out", "a.mp4", "--crf", "52"}),
      Refuses({"--out", "a.mp4", "--crf", "-1"}),
      Takes({"--out", "a.mp4", "--codec", "h265", "--crf", "0"}),
      Refuses({"--out", "a.mp4", "--codec", "h265", "--crf", "52"}),
      Takes({"--out", "a.webm", "--crf", "0"}),
      Takes({"--out", "a.webm", "--crf", "63"}),
      Refuses({"--out", "a.webm", "--crf", "64"}),
      Takes({"--downsample", "1"}),
      Takes({"--downsample", "4"}),
      Refuses({"--downsample", "0"}),
      Refuses({"--downsample", "5"}),
      Takes({"--depth", "8"}),
      Takes({"--depth", "32"}),
      Refuses({"--depth", "7"}),
      Refuses({"--depth", "33"}),
      Takes({"--waiting", "0"}),
      Takes({"--waiting", "100"}),
      Refuses({"--waiting", "-0.5"}),
      Refuses({"--waiting", "100.5"}),
      Takes({"--set", "params.start=0"}),
      Takes({"--set", "params.end=100"}),
      Refuses({"--set", "params.start=-1"}),
      Refuses({"--set", "params.end=101"}),
      Takes({"--set", "params.range=second", "--set", "params.start=0"}),
      Refuses({"--set", "params.range=second", "--set", "params.start=-0.5"}),
      Takes({"--set", "params.range=second", "--set", "params.end=1000000"}),
      Refuses({"--set", "params.range=second", "--set", "params.end=1000000.5"}),
      Takes({"--cache-mb", "0"}),
      Takes({"--cache-mb", "9999999"}),
      Refuses({"--cache-mb", "-1"}),
      Takes({"--fps", "1000"}),
      Refuses({"--fps", "1000.001"}),
      Refuses({"--fps", "1000001/1000"}),
      Takes({"--fps", "0.001"}),
      Takes({"--fps", "1/1000"}),
      Refuses({"--fps", "0.000999"}),
      Refuses({"--fps", "1/1001"}),
      Takes({"--set", "source.fps=0.001"}),
      Refuses({"--set", "source.fps=0.000999"}),
      Takes({"--size", "1x1"}),
      Takes({"--size", "8192x8192"}),
      Refuses({"--size", "0x1"}),
      Refuses({"--size", "8193x1"}),
      Takes({"--frames", "1"}),
      Takes({"--frames", "20000", "--set", "params.time=90"}),
      Refuses({"--frames", "0"}),
      Refuses({"--frames", "20001", "--set", "params.time=90"}),
  };
  for (const RangeCase& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += " " + a;
    SCOPED_TRACE(line);
    bool taken = true;
    try {
      ResolveScene(BuildScene(ParseCommandLine(c.args)));
    } catch (const UsageError& e) {
      taken = false;
      EXPECT_NE(std::string(e.what()).find("Fix:"), std::string::npos) << e.what();
    }
    EXPECT_EQ(taken, c.taken);
  }
}

TEST(Cli, HelpExplainsEveryOptionWithAnExample) {
  const std::string h = HelpText("/p/ZelvanClipCycle.so");
  for (const char* opt : {"--out", "--set", "--frames", "--duration", "--size", "--fps", "--depth", "--downsample",
                          "--source", "--mode", "--type", "--easing", "--easing-mode", "--waiting", "--format",
                          "--plugin", "--quiet", "--dry-run", "--help", "--play-once", "--keep-going", "--crf",
                          "NAME.mp4", "Examples:",
                          "/p/ZelvanClipCycle.so"}) {
    EXPECT_NE(h.find(opt), std::string::npos) << opt;
  }
  // Every scene field has its place under the scene fields' heading, by its
  // name ("source.width, .height" names the height once).
  const std::size_t fields = h.find("Scene fields");
  ASSERT_NE(fields, std::string::npos);
  for (const SceneField& f : SceneFields()) {
    const std::string name = *f.group == '\0' ? "  " + std::string(f.name) : "." + std::string(f.name);
    EXPECT_NE(h.find(name, fields), std::string::npos) << f.path();
  }
  // It fits a terminal of 80 columns.
  std::istringstream lines(h);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
}

// The manual's exit-status list (after "Exit status:" to the sentence's end,
// its items parted by ";", each led by its codes: "130 and 143 stopped by
// ...") gives every code of the table, each with its meaning's words, and
// no code the table lacks.
TEST(Cli, TheManualListsEveryExitStatus) {
  std::string manual = testing::Slurp(ZELVAN_MANUAL);
  std::replace(manual.begin(), manual.end(), '\n', ' ');
  const std::string lead = "Exit status:";
  const std::size_t at = manual.find(lead);
  ASSERT_NE(at, std::string::npos) << ZELVAN_MANUAL;
  const std::size_t end = manual.find(". ", at);
  std::istringstream list(manual.substr(at + lead.size(), end - at - lead.size()));
  std::map<int, std::string> said;  // each code, and the words of its item
  for (std::string item; std::getline(list, item, ';');) {
    std::istringstream words(item);
    std::vector<int> codes;
    std::string word, rest;
    while (words >> word) {
      if (!rest.empty() || (word.find_first_not_of("0123456789") != std::string::npos && word != "and" && word != "or")) {
        rest += word + " ";
      } else if (word != "and" && word != "or") {
        codes.push_back(std::stoi(word));
      }
    }
    for (int code : codes) said[code] = rest;
  }
  std::set<int> listed;
  for (const ExitRow& row : kExitStatuses) {
    SCOPED_TRACE(row.meaning);
    listed.insert(row.code);
    ASSERT_EQ(said.count(row.code), 1u) << "the manual's list has no " << row.code;
    std::istringstream meaning(row.meaning);
    for (std::string word; meaning >> word;) EXPECT_NE(said[row.code].find(word), std::string::npos) << word;
  }
  for (const auto& [code, words] : said) EXPECT_EQ(listed.count(code), 1u) << code << " " << words;
}

// The manual's section on movies names every kind of the recipe table: its
// container, the value of the option that picks it, its codec and encoder,
// and its pixels at each depth.
TEST(Cli, TheManualListsEveryMovieKind) {
  const std::string manual = testing::Slurp(ZELVAN_MANUAL);
  const std::size_t at = manual.find("## The loop as a movie");
  ASSERT_NE(at, std::string::npos) << ZELVAN_MANUAL;
  const std::string section = manual.substr(at, manual.find("\n## ", at + 1) - at);
  for (const MovieRecipe* r : MovieRecipes()) {
    SCOPED_TRACE(r->codec_name);
    EXPECT_NE(section.find(std::string("`") + r->extension), std::string::npos);
    if (r->choice != nullptr) {
      EXPECT_NE(section.find(std::string(r->choice) + "`"), std::string::npos);
    }
    EXPECT_NE(section.find(r->codec_name), std::string::npos);
    if (r->encoder != nullptr) {
      EXPECT_NE(section.find(r->encoder), std::string::npos);
    }
    for (const AVPixelFormat pixels : {r->pixels_8, r->pixels_deep}) {
      EXPECT_NE(section.find(av_get_pix_fmt_name(pixels)), std::string::npos) << av_get_pix_fmt_name(pixels);
    }
  }
}

// A synthetic render: a 10-frame source at 30 fps, 36 degrees a frame.
RenderRecord Synthetic(LoopType type, const std::vector<int64_t>& shown) {
  RenderRecord r;
  r.scene = ResolveScene(Json::object());
  r.time_scale = 30;
  r.comp_fps = 30.0;
  r.source.in_point = A_Time{0, 30};
  r.source.duration = A_Time{10, 30};
  r.source.fps = Rational{30, 1};
  r.source.frames = 10;
  for (std::size_t k = 0; k < shown.size(); ++k) {
    FrameRecord f;
    f.frame = static_cast<int>(k);
    f.params[kParamType] = type;
    f.params[kParamRangeType] = kRangePercent;
    f.params[kParamEndPercent] = UserToFixed(100.0);
    f.params[kParamTime] = UserToFixed(36.0 * static_cast<double>(k));
    f.layer_time = A_Time{static_cast<A_long>(shown[k]), 30};
    f.source_frame = shown[k];
    r.frames.push_back(f);
  }
  return r;
}

std::string AllWarnings(const RenderRecord& r) {
  std::string all;
  for (const auto& w : Diagnose(r)) all += w + "\n";
  return all;
}

TEST(Diagnose, CycleSeamThatRepeatsOrSkips) {
  EXPECT_EQ(AllWarnings(Synthetic(kLoopCycle, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1})), "") << "a clean seam";
  EXPECT_NE(AllWarnings(Synthetic(kLoopCycle, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 1}))
                .find("shows source frame 9 twice at the seam between frames 9 and 10"),
            std::string::npos);
  EXPECT_NE(AllWarnings(Synthetic(kLoopCycle, {0, 1, 2, 3, 4, 5, 6, 7, 7, 8, 1, 2}))
                .find("skips source frames 0, 9 at the seam between frames 9 and 10"),
            std::string::npos)
      << AllWarnings(Synthetic(kLoopCycle, {0, 1, 2, 3, 4, 5, 6, 7, 7, 8, 1, 2}));
}

TEST(Diagnose, PingpongTurnAroundShownTwice) {
  EXPECT_EQ(AllWarnings(Synthetic(kLoopPingpong, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 8, 7})), "");
  EXPECT_NE(AllWarnings(Synthetic(kLoopPingpong, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 8}))
                .find("turn-around source frame 9 twice, at frames 9 and 10"),
            std::string::npos);
}

TEST(Diagnose, TimesOutsideTheSourceLayer) {
  RenderRecord r = Synthetic(kLoopCycle, {0, 1, 2, 3});
  r.frames[2].layer_time = A_Time{12, 30};
  r.frames[2].source_frame.reset();
  r.frames[3].layer_time = A_Time{-1, 30};
  r.frames[3].source_frame.reset();
  EXPECT_NE(AllWarnings(r).find("outside the source layer"), std::string::npos);
  EXPECT_NE(AllWarnings(r).find("frames 2-3"), std::string::npos);
}

TEST(Report, FieldsAsListed) {
  RenderRecord r = Synthetic(kLoopCycle, {0, 1});
  r.frames[1].copy = CopyRects{PF_LRect{0, 0, 4, 3}, PF_LRect{1, 2, 3, 4}};
  r.frames[1].params[kParamStartSeconds] = 0.1;
  const Json j = ReportJson(r);
  std::vector<std::string> keys;
  for (auto it = j.begin(); it != j.end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"scene", "time_scale", "source", "frames"}));
  keys.clear();
  for (auto it = j["frames"][0].begin(); it != j["frames"][0].end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"frame", "current_time", "params", "layer_time", "source_frame", "copy",
                                            "error", "file", "failure", "footage_error"}));
  EXPECT_TRUE(j["frames"][0]["copy"].is_null());
  EXPECT_EQ(j["frames"][1]["copy"]["dst"], Json::array({1, 2, 3, 4}));
  // Doubles read back exactly.
  EXPECT_EQ(Json::parse(j.dump())["frames"][1]["params"]["start_sec"].get<double>(), 0.1);
  EXPECT_EQ(j["source"]["in_point"], Json::array({0, 30}));
}

// Each parameter under its own key, in the host's units: whole numbers but
// for the float sliders. The keys and values are written out by hand.
TEST(Report, ParamsUnderTheirKeys) {
  RenderRecord r = Synthetic(kLoopCycle, {0});
  HostParams& p = r.frames[0].params;
  p[kParamMode] = kModeFitToLayer;
  p[kParamType] = kLoopPingpong;
  p[kParamTime] = 90 * 65536;
  p[kParamWaitingTime] = 25 * 65536;
  p[kParamRangeType] = kRangeSecond;
  p[kParamStartPercent] = 10 * 65536;
  p[kParamEndPercent] = 60 * 65536;
  p[kParamStartSeconds] = 0.25;
  p[kParamEndSeconds] = 1.5;
  p[kParamEasingType] = kEasingSine;
  p[kParamEasingMode] = kEasingOut;
  EXPECT_EQ(ReportJson(r)["frames"][0]["params"].dump(),
            "{\"mode\":4,\"type\":2,\"time_fixed\":5898240,\"waiting_fixed\":1638400,\"range_type\":2,"
            "\"start_pct_fixed\":655360,\"end_pct_fixed\":3932160,\"start_sec\":0.25,\"end_sec\":1.5,"
            "\"easing_type\":8,\"easing_mode\":2}");
}

TEST(Report, FrameListsCollapseRuns) {
  EXPECT_EQ(FrameList({1, 2, 3, 7, 9, 10}), "1-3, 7, 9-10");
  EXPECT_EQ(FrameList({}), "");
}

TEST(Outputs, FramesRoundTripAtEveryFormat) {
  TempDir dir("formats");
  pixels::PixelWorld w(48, 40, pixels::Depth::kFloat);
  pixels::PaintFrameStamp(*w.world(), 1234);
  const std::vector<float> rgba = WorldToRgba(*w.world());
  for (FrameFormat f : {FrameFormat::Png8, FrameFormat::Png16, FrameFormat::Exr}) {
    const std::string file = (dir / (std::string("f") + std::to_string(int(f)) + Extension(f))).string();
    WriteImage(file, 48, 40, rgba, f);
    int rw = 0, rh = 0;
    const std::vector<float> back = ReadImage(file, &rw, &rh);
    ASSERT_EQ(rw, 48);
    ASSERT_EQ(rh, 40);
    pixels::PixelWorld r(rw, rh, pixels::Depth::kFloat);
    for (int y = 0; y < rh; ++y)
      for (int x = 0; x < rw; ++x) {
        const float* p = &back[(std::size_t(y) * std::size_t(rw) + std::size_t(x)) * 4];
        r.set(x, y, pixels::Color{p[3], p[0], p[1], p[2]});
      }
    EXPECT_EQ(pixels::ReadFrameStamp(*r.world()).frame, 1234) << Extension(f);
  }
}

TEST(Outputs, GifDelaysKeepTheTrueRate) {
  struct Case {
    int frames;
    double fps;
    std::vector<int> delays;
  };
  const std::vector<Case> cases = {
      {6, 30.0, {3, 4, 3, 3, 4, 3}},
      {4, 25.0, {4, 4, 4, 4}},
      {5, 24.0, {4, 4, 5, 4, 4}},
      {6, 60.0, {2, 3, 0, 2, 3, 0}},  // under 2 hundredths: dropped, its time to the frame before
      {3, 29.97, {3, 4, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.fps) + " fps");
    const std::vector<int> d = GifDelays(c.frames, c.fps);
    EXPECT_EQ(d, c.delays);
    int total = 0;
    for (int v : d) total += v;
    EXPECT_EQ(total, std::lround(100.0 * c.frames / c.fps));
  }
}

// A 32x18 frame as floats, to be stored as `stored`.
images::ImageOut FloatImage(const std::vector<float>& rgba, images::Channel stored) {
  images::ImageOut out;
  out.width = 32;
  out.height = 18;
  out.stored = stored;
  out.given = images::Channel::kFloat;
  out.pixels = rgba.data();
  return out;
}

// Every writer, into a device that is always full: the error names the file
// as the user would see it, the cause and the fix.
TEST(Outputs, WriteFailuresNameTheFileTheCauseAndTheFix) {
  pixels::PixelWorld frame(32, 18, pixels::Depth::k8);
  pixels::PaintFrameStamp(*frame.world(), 3);
  const std::vector<float> rgba = WorldToRgba(*frame.world());
  struct Case {
    std::string shown;
    std::function<void(const std::string& shown)> write;
  };
  auto movie = [&](MovieKind kind, const std::string& shown) {
    MovieSettings settings{kind, 32, 18, 8, Rational{30, 1}, 2};
    settings.crf = RecipeOf(kind).crf.fallback;
    MovieEncoder m("/dev/full", shown, settings);
    m.Add(*frame.world());
    m.Add(*frame.world());
    m.Finish();
  };
  const Case cases[] = {
      {"DIR/report.json",
       [](const std::string& shown) {
         OutputFile f("/dev/full", shown);
         f.Write(std::string(10, 'x'));
         f.Close();
       }},
      {"DIR/frame_0003.png",
       [&](const std::string& shown) {
         WriteImageFile("/dev/full", shown, FloatImage(rgba, images::Channel::kUint8));
       }},
      {"DIR/frame_0003.exr",
       [&](const std::string& shown) {
         WriteImageFile("/dev/full", shown, FloatImage(rgba, images::Channel::kFloat));
       }},
      {"DIR/preview.gif",
       [&](const std::string& shown) {
         Previews p("/dev/full", shown, 2, 32, 18, 30.0);
         p.Add(0, *frame.world(), false);
         p.Add(1, *frame.world(), false);
         p.Finish("/dev/null", "DIR/contact_sheet.png");
       }},
      {"DIR/loop.mp4", [&](const std::string& shown) { movie(MovieKind::kH264, shown); }},
      {"DIR/loop.mov", [&](const std::string& shown) { movie(MovieKind::kProRes4444, shown); }},
      {"DIR/loop.mkv", [&](const std::string& shown) { movie(MovieKind::kFfv1, shown); }},
      {"DIR/loop.webm", [&](const std::string& shown) { movie(MovieKind::kVp9Alpha, shown); }},
      {"DIR/loop.gif", [&](const std::string& shown) { movie(MovieKind::kGif, shown); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    try {
      c.write(c.shown);
      ADD_FAILURE() << "a failed write passed for success";
    } catch (const WriteError& e) {
      EXPECT_EQ(std::string(e.what()),
                c.shown + ": cannot be written: no space left on device. Fix: free space or choose another --out");
    }
  }
}

// The hidden name a movie is written under fits the file system's 255
// bytes with a process id of ten digits: a name too long keeps its first
// 220 bytes (not cutting a character) and "~" with the FNV-1a hash of the
// whole name, worked out apart (Python, over the name's UTF-8 bytes).
struct HiddenName {
  std::string name;
  std::string movie;
  std::string prefix;

  HiddenName& Of(std::string file) {
    movie = std::move(file);
    return *this;
  }
  HiddenName& Is(std::string hidden) {
    prefix = std::move(hidden);
    return *this;
  }
};
HiddenName Hidden(std::string name) {
  HiddenName c;
  c.name = std::move(name);
  return c;
}

std::string Repeated(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST(Outputs, HiddenNamesFitTheFileSystem) {
  const HiddenName cases[] = {
      Hidden("a short name").Of("loop.mp4").Is(".loop.mp4.zelvan-render."),
      Hidden("a name of 229 bytes, the longest kept whole")
          .Of(std::string(225, 'a') + ".mp4")
          .Is("." + std::string(225, 'a') + ".mp4.zelvan-render."),
      Hidden("a name of 230 bytes")
          .Of(std::string(226, 'a') + ".mp4")
          .Is("." + std::string(220, 'a') + "~d3248686.zelvan-render."),
      Hidden("a name of 245 bytes")
          .Of(std::string(241, 'l') + ".mp4")
          .Is("." + std::string(220, 'l') + "~d0a5e052.zelvan-render."),
      Hidden("a name of two-byte characters, cut before one")
          .Of("x" + Repeated("\xc3\xa9", 120) + ".mp4")
          .Is(".x" + Repeated("\xc3\xa9", 109) + "~76c44f76.zelvan-render."),
  };
  for (const HiddenName& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string prefix = names::MovieTempPrefix(c.movie);
    EXPECT_EQ(prefix, c.prefix);
    EXPECT_LE(prefix.size() + 10, 255u);
  }
}

// What runs killed outright left beside a movie or in a folder is named by
// the next run only when the process whose id it carries is gone: never
// the hidden file of a run still writing, nor this run's own, nor another
// movie's, whatever the length of the movie's name.
struct Leftover {
  std::string name;
  std::string movie = "loop.mp4";  // whose leftovers the run looks for
  std::string left = "loop.mp4";   // whose hidden file is there
  pid_t pid = 0;
  bool named = false;

  Leftover& Of(std::string file) {
    movie = left = std::move(file);
    return *this;
  }
  Leftover& LeftBy(std::string file) {
    left = std::move(file);
    return *this;
  }
  Leftover& Pid(pid_t id) {
    pid = id;
    return *this;
  }
  Leftover& Named() {
    named = true;
    return *this;
  }
  std::string file() const { return names::MovieTempPrefix(left) + std::to_string(pid); }
};
Leftover Left(std::string name) {
  Leftover c;
  c.name = std::move(name);
  return c;
}

TEST(Outputs, LeftoversAreThoseOfRunsThatAreGone) {
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ASSERT_GT(gone, 0);
  ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
  const std::string long_name = std::string(241, 'l') + ".mp4";
  const Leftover cases[] = {
      Left("a run that is gone").Pid(gone).Named(),
      Left("this run").Pid(::getpid()),
      Left("a run still going").Pid(::getppid()),
      Left("another movie's").LeftBy("other.mp4").Pid(gone),
      Left("a run that is gone, of a 245-byte name").Of(long_name).Pid(gone).Named(),
      Left("another movie's, of a 245-byte name").Of(long_name).LeftBy(std::string(241, 'l') + ".mov").Pid(gone),
  };
  for (const Leftover& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir("leftovers");
    std::ofstream(dir / c.file()) << "left";
    const std::string prefix = names::MovieTempPrefix(c.movie);
    const std::vector<std::string> named =
        LeftByKilledRuns(dir.path().string(), prefix, (dir / (prefix + "own")).string());
    EXPECT_EQ(named.size(), c.named ? 1u : 0u);
  }
}

TEST(Outputs, StagingWritesNothingUntilCommitted) {
  TempDir dir("staging");
  const auto out = dir / "out";
  {
    OutputFolder s(out.string(), false);
    s.WriteText("report.json", "{}");
    EXPECT_FALSE(std::filesystem::exists(out / "report.json"));
  }
  EXPECT_FALSE(std::filesystem::exists(out)) << "a folder made for a failed run is removed";
  std::filesystem::create_directories(out);
  { OutputFolder s((out / "nest" / "a" / "b").string(), false); }
  EXPECT_EQ(testing::Listing(out), std::set<std::string>{}) << "and the parents it made, only those";
  {
    OutputFolder held(out.string(), false);
    try {
      OutputFolder second(out.string(), false);
      ADD_FAILURE() << "a second run into a folder in use";
    } catch (const UsageError& e) {
      EXPECT_NE(std::string(e.what()).find("(process " + std::to_string(::getpid()) + ")"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(testing::Listing(out), std::set<std::string>{}) << "the lock goes with the run";

  std::filesystem::create_directories(out);
  { std::ofstream(out / "frame_0009.png") << "old"; }
  { std::ofstream(out / "notes.txt") << "mine"; }
  {
    OutputFolder s(out.string(), false);
    s.Claim({"frame_0000.png"}, {});
    s.WriteText("frame_0000.png", "new");
    s.Commit();
  }
  EXPECT_EQ(testing::Listing(out), (std::set<std::string>{"frame_0000.png", "frame_0009.png", "notes.txt",
                                                          OutputFolder::kManifest}))
      << "files this tool did not write in this run stay";
}

// FFmpeg's custom I/O seeks as the movie reader answers them (bytes in
// memory: nothing to read past their end) and as the movie writer does (a
// file grows where it is written), in 100 bytes with 40 behind: rows worked
// out by hand from the callback's rules.
struct SeekCase {
  std::string name;
  int whence = SEEK_SET;
  int64_t offset = 0;
  ffmpeg::PastTheEnd past_the_end = ffmpeg::PastTheEnd::kRefused;
  int64_t answer = 0;
  int64_t position = 0;  // where it stands after

  SeekCase& From(int origin, int64_t by) {
    whence = origin;
    offset = by;
    return *this;
  }
  SeekCase& Writing() {
    past_the_end = ffmpeg::PastTheEnd::kAllowed;
    return *this;
  }
  SeekCase& Gives(int64_t returned, int64_t stands_at) {
    answer = returned;
    position = stands_at;
    return *this;
  }
  SeekCase& Refused() { return Gives(AVERROR(EINVAL), 40); }
};
SeekCase Seek(std::string name) {
  SeekCase c;
  c.name = std::move(name);
  return c;
}

TEST(FfmpegIo, SeeksAreAnsweredUpToTheirEdges) {
  constexpr int64_t kFar = std::numeric_limits<int64_t>::max();
  const SeekCase cases[] = {
      Seek("the size").From(AVSEEK_SIZE, 0).Gives(100, 40),
      Seek("the size, the hint to force ignored").From(AVSEEK_SIZE | AVSEEK_FORCE, 7).Gives(100, 40),
      Seek("the start").From(SEEK_SET, 0).Gives(0, 0),
      Seek("the end from the start").From(SEEK_SET, 100).Gives(100, 100),
      Seek("past the end, reading").From(SEEK_SET, 101).Refused(),
      Seek("past the end, writing").Writing().From(SEEK_SET, 101).Gives(101, 101),
      Seek("before the start").From(SEEK_SET, -1).Refused(),
      Seek("before the start, writing").Writing().From(SEEK_SET, -1).Refused(),
      Seek("back to the start").From(SEEK_CUR, -40).Gives(0, 0),
      Seek("back before the start").From(SEEK_CUR, -41).Refused(),
      Seek("on to the end").From(SEEK_CUR, 60).Gives(100, 100),
      Seek("on past the end, reading").From(SEEK_CUR, 61).Refused(),
      Seek("on past the end, writing").Writing().From(SEEK_CUR, 61).Gives(101, 101),
      Seek("the start from the end").From(SEEK_END, -100).Gives(0, 0),
      Seek("before the start from the end").From(SEEK_END, -101).Refused(),
      Seek("past the end from the end, reading").From(SEEK_END, 1).Refused(),
      Seek("past the end from the end, writing").Writing().From(SEEK_END, 1).Gives(101, 101),
      Seek("a forced seek").From(SEEK_SET | AVSEEK_FORCE, 5).Gives(5, 5),
      Seek("no such origin").From(SEEK_END + 7, 0).Refused(),
      Seek("further than a position holds, writing").Writing().From(SEEK_CUR, kFar).Refused(),
  };
  for (const SeekCase& c : cases) {
    SCOPED_TRACE(c.name);
    int64_t position = 40;
    EXPECT_EQ(ffmpeg::AnswerSeek(c.offset, c.whence, 100, position, c.past_the_end), c.answer);
    EXPECT_EQ(position, c.position);
  }
}

// The frames fed to a movie's encoder stay within their budget in bytes. A
// 64x32 ProRes 4444 frame is 4 planes of 32 rows of 64 two-byte samples
// (128 bytes, already a multiple of the 64 the rows are aligned to), 16384
// bytes, and 64 more past the end for readers that overread: 16448 bytes.
// Each row takes frames until none is left, lets them go while the encoder
// still references some, and takes again.
constexpr std::size_t kProResFrame = 4 * 32 * 128 + 64;

struct PoolCase {
  std::string name;
  std::size_t budget = 0;
  std::size_t most = 0;     // frames made at most
  std::size_t kept = 0;     // of those, referenced by the encoder when the caller lets go
  bool pool_first = false;  // the pool ends before the encoder lets go

  PoolCase& Budget(std::size_t bytes) {
    budget = bytes;
    return *this;
  }
  PoolCase& Makes(std::size_t frames) {
    most = frames;
    return *this;
  }
  PoolCase& EncoderKeeps(std::size_t frames) {
    kept = frames;
    return *this;
  }
  PoolCase& PoolGoesFirst() {
    pool_first = true;
    return *this;
  }
};
PoolCase Pool(std::string name) {
  PoolCase c;
  c.name = std::move(name);
  return c;
}

TEST(MovieOutput, TheEncodersFramesStayWithinTheirBudgetInBytes) {
  const PoolCase cases[] = {
      Pool("three frames' bytes make three").Budget(3 * kProResFrame).Makes(3),
      Pool("a byte short of three makes two").Budget(3 * kProResFrame - 1).Makes(2),
      Pool("less than a frame still makes one").Budget(kProResFrame / 2).Makes(1),
      Pool("no budget at all still makes one").Budget(0).Makes(1),
      Pool("frames the encoder holds stay taken").Budget(4 * kProResFrame).Makes(4).EncoderKeeps(2),
      Pool("frames outlive the pool").Budget(2 * kProResFrame).Makes(2).EncoderKeeps(2).PoolGoesFirst(),
  };
  for (const PoolCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<EncoderFrames> pool(std::in_place, AV_PIX_FMT_YUVA444P10LE, 64, 32, c.budget);
    EXPECT_EQ(pool->frame_bytes(), kProResFrame);
    std::vector<ffmpeg::FramePtr> taken;
    while (ffmpeg::FramePtr f = pool->TryTake()) taken.push_back(std::move(f));
    ASSERT_EQ(taken.size(), c.most);
    EXPECT_LE(pool->made() * pool->frame_bytes(), std::max(c.budget, kProResFrame));
    std::set<const uint8_t*> memory, held;
    std::vector<ffmpeg::FramePtr> encoder;
    for (const ffmpeg::FramePtr& f : taken) {
      EXPECT_EQ(f->linesize[3], 128);
      memory.insert(f->data[0]);
      if (encoder.size() < c.kept) {
        encoder.emplace_back(av_frame_alloc());
        ASSERT_EQ(av_frame_ref(encoder.back().get(), f.get()), 0);
        held.insert(f->data[0]);
      }
    }
    taken.clear();
    // What the encoder still references is not filled again; the rest is,
    // in the same memory.
    while (ffmpeg::FramePtr f = pool->TryTake()) {
      EXPECT_EQ(memory.count(f->data[0]), 1u) << "a frame made anew instead of reused";
      EXPECT_EQ(held.count(f->data[0]), 0u) << "a frame the encoder holds was handed out";
      taken.push_back(std::move(f));
    }
    EXPECT_EQ(taken.size(), c.most - c.kept);
    EXPECT_EQ(pool->made(), c.most);
    if (c.pool_first) pool.reset();
    // Once the encoder lets go, its frames are free again (or, with the pool
    // gone, their memory goes with their last reference).
    for (ffmpeg::FramePtr& f : encoder) {
      std::memset(f->data[0], 0x5A, kProResFrame);
      f.reset();
    }
    if (pool) {
      std::size_t again = 0;
      while (ffmpeg::FramePtr f = pool->TryTake()) {
        ++again;
        taken.push_back(std::move(f));
      }
      EXPECT_EQ(again, c.kept);
    }
  }
}

// A movie's encoder runs FFmpeg's frame threads only while what they keep
// fits the budget beside the 3 frames on their way (one converted, one
// waiting for the feeding thread, one more FFmpeg takes in); ProRes 4444's
// threads keep 3 frames each. A ProRes frame (4 planes of 2-byte samples,
// and 64 bytes past the end): 1920x1080, 16588864 bytes, of which 256 MiB
// (268435456 bytes) hold 16, room for (16 - 3) / 3 = 4 threads; 3840x2160,
// 66355264 bytes, 4 held, room for none; 2560x1440, 29491264 bytes, 9 held,
// room for 2.
struct ShapeCase {
  std::string name;
  std::size_t frame_bytes = 0;
  int thread_frames = 0;
  int cores = 2;
  std::size_t budget = std::size_t{256} << 20;
  int thread_type = 0;
  int thread_count = 0;

  ShapeCase& Frame(std::size_t bytes, int kept_by_a_thread) {
    frame_bytes = bytes;
    thread_frames = kept_by_a_thread;
    return *this;
  }
  ShapeCase& Cores(int n) {
    cores = n;
    return *this;
  }
  ShapeCase& Budget(std::size_t bytes) {
    budget = bytes;
    return *this;
  }
  ShapeCase& FrameThreads(int n) {
    thread_type = FF_THREAD_FRAME;
    thread_count = n;
    return *this;
  }
  ShapeCase& Slices() {
    thread_type = FF_THREAD_SLICE;
    thread_count = 0;
    return *this;
  }
  ShapeCase& FfmpegsDefault() {
    thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    thread_count = 0;
    return *this;
  }
};
ShapeCase Shape(std::string name) {
  ShapeCase c;
  c.name = std::move(name);
  return c;
}

TEST(MovieOutput, FrameThreadsRunOnlyWhereWhatTheyKeepFitsTheBudget) {
  constexpr std::size_t kHd = 16588864, kUhd = 66355264, kQhd = 29491264;
  const ShapeCase cases[] = {
      Shape("1080p ProRes on 2 cores: a frame thread a core").Frame(kHd, 3).FrameThreads(2),
      Shape("1080p ProRes on 16 cores: the 4 threads there is room for").Frame(kHd, 3).Cores(16).FrameThreads(4),
      Shape("1440p ProRes on 16 cores: room for 2").Frame(kQhd, 3).Cores(16).FrameThreads(2),
      Shape("4K ProRes: no room for a thread, slices").Frame(kUhd, 3).Slices(),
      Shape("1080p ProRes on 1 core: one thread is none, slices").Frame(kHd, 3).Cores(1).Slices(),
      Shape("a byte short of room for 2").Frame(kHd, 3).Budget(9 * kHd - 1).Cores(4).Slices(),
      Shape("room for exactly 2").Frame(kHd, 3).Budget(9 * kHd).Cores(4).FrameThreads(2),
      Shape("x264 or FFV1, without frame threads of FFmpeg's").Frame(kUhd, 0).FfmpegsDefault(),
  };
  for (const ShapeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const EncoderShape shape = ShapeEncoder(c.frame_bytes, c.thread_frames, c.cores, c.budget);
    EXPECT_EQ(shape.thread_type, c.thread_type);
    EXPECT_EQ(shape.thread_count, c.thread_count);
  }
  EXPECT_EQ(EncoderFrames(AV_PIX_FMT_YUVA444P10LE, 1920, 1080, 0).frame_bytes(), kHd);
  EXPECT_EQ(EncoderFrames(AV_PIX_FMT_YUVA444P10LE, 3840, 2160, 0).frame_bytes(), kUhd);
  EXPECT_EQ(EncoderFrames(AV_PIX_FMT_YUVA444P10LE, 2560, 1440, 0).frame_bytes(), kQhd);
}
}  // namespace
}  // namespace zelvan::render
