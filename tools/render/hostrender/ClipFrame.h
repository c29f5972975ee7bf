// Which frame of the source clip shows, and how large a rendered frame is:
// the host's rules as the tool applies them to its footage.
#pragma once

#include <cstdint>

#include "AE_Effect.h"

namespace zelvan::render {

// The host counts a layer's frames at the composition's rate; the clip has
// its own. The clip frame on screen when layer frame `layer_frame` starts
// (the last one that began by then), not clamped to the clip.
int64_t ClipFrameOfLayerFrame(A_long layer_frame, double comp_fps, double clip_fps);
// The same at `layer_seconds` into the layer: the host's layer frame there,
// then the clip frame.
int64_t ClipFrameAt(double layer_seconds, double comp_fps, double clip_fps);

// A width or height rendered at 1/downsample of the scene's resolution, as
// the host sizes the worlds it hands out (and so the frames the tool writes).
int RenderedSize(int size, int downsample);

}  // namespace zelvan::render
