#include "ClipFrame.h"

#include <cmath>

#include "Composition.h"
#include "LayerFrames.h"

namespace zelvan::render {

int64_t ClipFrameOfLayerFrame(A_long layer_frame, double comp_fps, double clip_fps) {
  // The same hair of slack as the host's: a frame that starts exactly at a
  // clip frame's time shows that clip frame.
  return static_cast<int64_t>(std::floor(layer_frame / comp_fps * clip_fps + 1e-9));
}

int64_t ClipFrameAt(double layer_seconds, double comp_fps, double clip_fps) {
  return ClipFrameOfLayerFrame(testhost::Composition::FrameAtSeconds(layer_seconds, comp_fps), comp_fps, clip_fps);
}

int RenderedSize(int size, int downsample) {
  return static_cast<int>(testhost::DownsampledSize(size, PF_RationalScale{1, static_cast<A_u_long>(downsample)}));
}

}  // namespace zelvan::render
