// The two-phase smart-render protocol: what an effect needs (pre-render) and
// the render itself.
#pragma once

#include "AE_Effect.h"

enum : A_short {
  PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS = 1 << 0,
  PF_RenderOutputFlag_GPU_RENDER_POSSIBLE = 1 << 1,
};
typedef A_short PF_RenderOutputFlags;

struct PF_RenderRequest {
  PF_LRect rect;
  PF_Field field;
  PF_ChannelMask channel_mask;
  PF_Boolean preserve_rgb_of_zero_alpha;
  A_char unused[3];
  A_long reserved[4];
};

struct PF_CheckoutResult {
  PF_LRect result_rect;
  PF_LRect max_result_rect;
  PF_RationalScale par;
  A_long solid;
  PF_Boolean reserved_opaque;
  PF_Boolean reserved[3];
  A_long ref_width;
  A_long ref_height;
};

// Called by the host once it no longer needs an effect's pre-render data.
typedef void (*PF_DeletePreRenderDataFunc)(void* pre_render_data);

struct PF_PreRenderInput {
  PF_RenderRequest output_request;
  A_short bitdepth;
};

struct PF_PreRenderOutput {
  PF_LRect result_rect;
  PF_LRect max_result_rect;
  PF_Boolean solid;
  PF_Boolean reserved;
  PF_RenderOutputFlags flags;
  void* pre_render_data;
  PF_DeletePreRenderDataFunc delete_pre_render_data_func;
};

struct PF_PreRenderCallbacks {
  PF_Err (*checkout_layer)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long checkout_idL,
                           const PF_RenderRequest* req, A_long what_time, A_long time_step, A_u_long time_scale,
                           PF_CheckoutResult* checkout_result);
};

struct PF_PreRenderExtra {
  PF_PreRenderInput* input;
  PF_PreRenderOutput* output;
  PF_PreRenderCallbacks* cb;
};

struct PF_SmartRenderInput {
  PF_RenderRequest output_request;
  A_short bitdepth;
  void* pre_render_data;
};

struct PF_SmartRenderCallbacks {
  PF_Err (*checkout_layer_pixels)(PF_ProgPtr effect_ref, A_long checkout_idL, PF_EffectWorld** pixels);
  PF_Err (*checkin_layer_pixels)(PF_ProgPtr effect_ref, A_long checkout_idL);
  PF_Err (*checkout_output)(PF_ProgPtr effect_ref, PF_EffectWorld** output);
};

struct PF_SmartRenderExtra {
  PF_SmartRenderInput* input;
  PF_SmartRenderCallbacks* cb;
};
