#include "Placement.h"

#include <algorithm>

#include "HostValues.h"
#include "Params.h"
#include "Rounding.h"

namespace zelvan {
namespace {

// rnd(): add 0.5 and truncate, saturating where a zero size made a ratio infinite.
A_long rnd(double x) { return RoundToLong(x); }

}  // namespace

PlacementRects placementRects(A_long mode, A_long lw, A_long lh, A_long ow, A_long oh) {
  if (lw == ow && lh == oh) mode = kModeFitToLayer;

  PlacementRects r{MakeRect(0, 0, lw, lh), MakeRect(0, 0, ow, oh)};
  const double rw = static_cast<double>(ow) / lw;
  const double rh = static_cast<double>(oh) / lh;

  switch (mode) {
    case kModeCenter: {
      // Integer halves, each truncated toward zero; sums of halves cannot overflow.
      r.src = MakeRect(lw / 2 - ow / 2, lh / 2 - oh / 2, lw / 2 + ow / 2, lh / 2 + oh / 2);
      break;
    }
    case kModeWhole:
      if (rh > rw) {
        r.dst.top = std::max(0, rnd(0.5 * oh - 0.5 * rw * lh));
        r.dst.bottom = std::min(oh, rnd(0.5 * oh + 0.5 * rw * lh));
      } else {
        r.dst.left = std::max(0, rnd(0.5 * ow - 0.5 * rh * lw));
        r.dst.right = std::min(ow, rnd(0.5 * ow + 0.5 * rh * lw));
      }
      break;
    case kModeNoMargin:
      if (rh > rw) {
        r.src.left = std::max(0, rnd(0.5 * lw - 0.5 * ow / rh));
        r.src.right = std::min(lw, rnd(0.5 * lw + 0.5 * ow / rh));
      } else {
        r.src.top = std::max(0, rnd(0.5 * lh - 0.5 * oh / rw));
        r.src.bottom = std::min(lh, rnd(0.5 * lh + 0.5 * oh / rw));
      }
      break;
    default:
      break;  // "Fit to Layer" and unknown codes: whole onto whole
  }
  return r;
}

}  // namespace zelvan
