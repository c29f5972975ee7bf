// Watches the host calls the plug-in makes, for tracing and recording: the
// host tells its observer of each parameter checkout and each copy, on the
// calling thread, inside the call. An observer neither throws nor calls the
// host.
#pragma once

#include "AE_EffectSmart.h"

namespace zelvan::testhost {

// checkout_param as the plug-in asked for it and, once answered, its result.
struct ParamCheckoutCall {
  PF_ParamIndex index = 0;
  A_long time = 0;
  A_long time_step = 0;
  A_u_long time_scale = 0;
  const PF_ParamDef* def = nullptr;  // where the plug-in receives the value; may be null
  PF_Err result = PF_Err_NONE;
};

// utils->copy as the plug-in asked for it, and its result.
struct CopyCall {
  const PF_EffectWorld* src = nullptr;
  const PF_EffectWorld* dst = nullptr;
  const PF_Rect* src_rect = nullptr;  // null: the whole world
  const PF_Rect* dst_rect = nullptr;
  PF_Err result = PF_Err_NONE;
};

class HostObserver {
 public:
  virtual ~HostObserver() = default;
  // Before the host serves the checkout: whatever it renders for it (a
  // layer's frame) comes after this.
  virtual void ParamCheckoutStarting(const ParamCheckoutCall& /*call*/) noexcept {}
  virtual void ParamCheckedOut(const ParamCheckoutCall& /*call*/) noexcept {}
  virtual void Copied(const CopyCall& /*call*/) noexcept {}
};

}  // namespace zelvan::testhost
