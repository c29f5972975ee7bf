// The callback tables the host puts into its in-data and extra blocks.
#pragma once

#include "AE_EffectSmart.h"

namespace zelvan::testhost {

PF_ANSICallbacks AnsiCallbacks();
// utils->copy: whole worlds, or a source rectangle scaled onto a destination one.
PF_Err CopyCallback(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                    PF_Rect* dst_r) noexcept;
PF_InteractCallbacks InteractCallbacks();
PF_PreRenderCallbacks PreRenderCallbacks();
PF_SmartRenderCallbacks SmartRenderCallbacks();

}  // namespace zelvan::testhost
