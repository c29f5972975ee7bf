// utils->copy: the host's one pixel operation for the effect, traced and
// faultable like every other host call; the pixel work is the pixel library's.
#include "Callbacks.h"
#include "Copy.h"
#include "HostCall.h"

namespace zelvan::testhost {
namespace {

// The names the host serves these functions by (see ServedFunctions.h).
constexpr char kCopyCallback[] = "copy";

std::string RectText(const PF_Rect* r) {
  if (r == nullptr) return "whole";
  return std::to_string(r->left) + "," + std::to_string(r->top) + "," + std::to_string(r->right) + "," +
         std::to_string(r->bottom);
}

std::string WorldText(const PF_EffectWorld* w) {
  if (w == nullptr) return "null";
  return std::to_string(w->width) + "x" + std::to_string(w->height);
}

}  // namespace

PF_Err CopyCallback(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                    PF_Rect* dst_r) noexcept {
  auto args = [&] {
    return "src=" + WorldText(src) + " dst=" + WorldText(dst) + " src_r=" + RectText(src_r) +
           " dst_r=" + RectText(dst_r);
  };
  CopyCall call{src, dst, src_r, dst_r, PF_Err_NONE};
  call.result = HostCall<kCopyCallback>(args, [&](HostCore& h) -> A_Err {
    if (!h.IsOurEffect(effect_ref, kCopyCallback)) return PF_Err_BAD_CALLBACK_PARAM;
    pixels::CopyOptions options;
    options.threads = pixels::CallbackCopyThreads();
    return pixels::CopyWorld(src, dst, src_r, dst_r, options);
  });
  if (HostObserver* observer = CurrentObserver()) observer->Copied(call);
  return call.result;
}

}  // namespace zelvan::testhost
