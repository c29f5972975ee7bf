// The options that set a scene field, one row each: the option, the field,
// its value's name and its --help text. The command line and --help read
// them from here.
#pragma once

#include <optional>

#include "SceneFields.h"

namespace zelvan::render {

struct Shortcut {
  const char* option;
  std::optional<Field> field;  // none for --size, which sets two
  const char* meta;
  const char* help;
};

inline const Shortcut kShortcuts[] = {
    {"--frames", Field::kCompFrames, "N", "number of composition frames (comp.frames)"},
    {"--duration", Field::kCompDuration, "SECONDS", "composition length (comp.duration)"},
    {"--size", std::nullopt, "WxH", "composition size (comp.width, comp.height)"},
    {"--fps", Field::kCompFps, "RATE", "composition frame rate: 25, 29.97 or 30000/1001 (comp.fps)"},
    {"--depth", Field::kCompDepth, "8|16|32", "bits per channel; 32 is float (comp.depth)"},
    {"--downsample", Field::kCompDownsample, "1-4", "render at 1/N resolution (comp.downsample)"},
    {"--source", Field::kSourcePath, "PATH", "footage: builtin, shot.%04d.png, still.png or movie.mp4 (source.path)"},
    {"--mode", Field::kMode, "MODE",
     "center, whole, no-margin or fit, or the effect's own \"Center\", \"Whole\", \"No Margin\", \"Fit to Layer\" "
     "(params.mode)"},
    {"--type", Field::kType, "TYPE", "cycle or pingpong (params.type)"},
    {"--easing", Field::kEasing, "NAME",
     "linear, quad, cubic, quart, quint, expo, circ, sine or bounce (params.easing)"},
    {"--easing-mode", Field::kEasingMode, "MODE", "in, out or inout (params.easing_mode)"},
    {"--waiting", Field::kWaiting, "PERCENT", "share of each turn held still (params.waiting)"},
    {"--format", Field::kFormat, "FMT", "frame files: png8, png16 or exr, by default by depth (format)"},
};

}  // namespace zelvan::render
