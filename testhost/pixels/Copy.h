// The simulated host's copy callback: whole-world copies and scaled copies of
// a source rectangle onto a destination rectangle.
//
// Rules:
// - A null rectangle means the whole world. Rectangles are left, top, right,
//   bottom with right and bottom exclusive; any 32-bit values are accepted.
// - Equal rectangle sizes copy pixels exactly. Different sizes resample with
//   a separable triangle filter, sampling at pixel centres: plain bilinear
//   when enlarging, widened by the reduction factor when reducing so every
//   source pixel contributes (no aliasing). Filter taps are clamped to the
//   part of the source rectangle inside the source world.
// - The source world is transparent (all channels 0) outside its bounds: a
//   destination pixel whose centre maps outside the source world is written
//   as 0.
// - Only the destination rectangle, clipped to the destination world, is
//   written; other pixels and the bytes between rows stay untouched.
//
// Results:
// - PF_Err_NONE, nothing written: an empty or inverted rectangle (either one),
//   a destination rectangle outside the destination world, a destination
//   world without pixels, or a source world of zero size with a null
//   source rectangle. There is nothing to copy, and a copy that does nothing
//   is not a fault of the caller.
// - PF_Err_BAD_CALLBACK_PARAM, nothing written: a null world pointer; a
//   negative width or height; a world with pixels but a null data pointer,
//   rowbytes smaller than a row of pixels, or data or rowbytes not aligned
//   to the channel size; source and destination of different depths; source
//   and destination pixel memory overlapping.
// - PF_Err_OUT_OF_MEMORY, nothing written: the filter tables or row buffers
//   cannot be allocated (only reachable with extreme reduction factors).
#pragma once

#include "AE_Effect.h"

namespace zelvan::pixels {

struct CopyOptions {
  // Threads for scaled copies; rows are split into contiguous bands, each
  // computed exactly as a single thread would, so results do not depend on
  // the count. Small copies stay on the calling thread.
  int threads = 1;
};

PF_Err CopyWorld(const PF_EffectWorld* src, PF_EffectWorld* dst, const PF_LRect* src_r, const PF_LRect* dst_r);
PF_Err CopyWorld(const PF_EffectWorld* src, PF_EffectWorld* dst, const PF_LRect* src_r, const PF_LRect* dst_r,
                 const CopyOptions& options);

// The thread count CopyCallback uses; starts at 1, values below 1 count as 1.
void SetCallbackCopyThreads(int threads);
int CallbackCopyThreads();

// CopyWorld with the host callback's signature, for PF_UtilCallbacks::copy.
PF_Err CopyCallback(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                    PF_Rect* dst_r);

}  // namespace zelvan::pixels
