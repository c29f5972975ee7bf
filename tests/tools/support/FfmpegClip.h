// Footage for the tests, made by the ffmpeg program from one of its lavfi
// sources, so that what a clip holds is known from how it was made.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "RunTool.h"

namespace zelvan::render::testing {

// `options` encode the clip (frames, pixel format, codec); the test fails if ffmpeg does.
inline std::filesystem::path MakeClip(const TempDir& tmp, const std::string& name, const std::string& options,
                                      const std::string& source = "testsrc2=size=96x54:rate=25") {
  const std::filesystem::path clip = tmp / name;
  const std::string cmd =
      "ffmpeg -v error -y -f lavfi -i " + Quote(source) + " " + options + " " + Quote(clip.string()) + " </dev/null";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  return clip;
}

}  // namespace zelvan::render::testing
