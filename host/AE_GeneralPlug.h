// The host's general plug-in (AEGP) layer: the suites an effect uses to reach
// its project, composition, layers and parameter streams.
#pragma once

#include "AE_Effect.h"

typedef A_long AEGP_PluginID;
typedef void* AEGP_GlobalRefcon;
typedef A_long AEGP_LayerIDVal;

struct _AEGP_Layer;
struct _AEGP_Comp;
struct _AEGP_EffectRef;
struct _AEGP_StreamRef;
typedef struct _AEGP_Layer* AEGP_LayerH;
typedef struct _AEGP_Comp* AEGP_CompH;
typedef struct _AEGP_EffectRef* AEGP_EffectRefH;
typedef struct _AEGP_StreamRef* AEGP_StreamRefH;

enum : A_long {
  AEGP_LTimeMode_LayerTime = 0,
  AEGP_LTimeMode_CompTime = 1,
};
typedef A_long AEGP_LTimeMode;

enum : A_long {
  AEGP_DynStreamFlag_ACTIVE_EYEBALL = 1L << 0,
  AEGP_DynStreamFlag_HIDDEN = 1L << 1,
  AEGP_DynStreamFlag_DISABLED = 1L << 4,
};
typedef A_long AEGP_DynStreamFlags;

struct AEGP_TwoDVal {
  A_FpLong x, y;
};
struct AEGP_ThreeDVal {
  A_FpLong x, y, z;
};
struct AEGP_ColorVal {
  A_FpLong alphaF, redF, greenF, blueF;
};

union AEGP_StreamVal2 {
  AEGP_ThreeDVal three_d;
  AEGP_TwoDVal two_d;
  A_FpLong one_d;
  AEGP_ColorVal color;
  AEGP_LayerIDVal layer_id;
};

struct AEGP_StreamValue2 {
  AEGP_StreamRefH streamH;
  AEGP_StreamVal2 val;
};

#define kAEGPUtilitySuite "AEGP Utility Suite"
#define kAEGPUtilitySuiteVersion7 7
struct AEGP_UtilitySuite7 {
  // Registers the effect with the AEGP layer; writes the plug-in identifier.
  A_Err (*AEGP_RegisterWithAEGP)(AEGP_GlobalRefcon global_refcon, const A_char* plugin_name,
                                 AEGP_PluginID* plugin_id);
};

#define kAEGPPFInterfaceSuite "AEGP PF Interface Suite"
#define kAEGPPFInterfaceSuiteVersion1 1
struct AEGP_PFInterfaceSuite1 {
  A_Err (*AEGP_GetEffectLayer)(PF_ProgPtr effect_ref, AEGP_LayerH* layerPH);
  A_Err (*AEGP_GetNewEffectForEffect)(AEGP_PluginID aegp_plugin_id, PF_ProgPtr effect_ref,
                                      AEGP_EffectRefH* effectPH);
};

#define kAEGPEffectSuite "AEGP Effect Suite"
#define kAEGPEffectSuiteVersion2 2
struct AEGP_EffectSuite2 {
  A_Err (*AEGP_DisposeEffect)(AEGP_EffectRefH effectH);
};

#define kAEGPStreamSuite "AEGP Stream Suite"
#define kAEGPStreamSuiteVersion9 9
struct AEGP_StreamSuite9 {
  A_Err (*AEGP_GetNewEffectStreamByIndex)(AEGP_PluginID aegp_plugin_id, AEGP_EffectRefH effect_refH,
                                          PF_ParamIndex param_index, AEGP_StreamRefH* streamPH);
  A_Err (*AEGP_DisposeStream)(AEGP_StreamRefH streamH);
  A_Err (*AEGP_GetNewStreamValue)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH,
                                  AEGP_LTimeMode time_mode, const A_Time* timePT, A_Boolean pre_expression,
                                  AEGP_StreamValue2* valueP);
  A_Err (*AEGP_DisposeStreamValue)(AEGP_StreamValue2* valueP);
};

#define kAEGPDynamicStreamSuite "AEGP Dynamic Stream Suite"
#define kAEGPDynamicStreamSuiteVersion5 5
struct AEGP_DynamicStreamSuite5 {
  A_Err (*AEGP_SetDynamicStreamFlag)(AEGP_StreamRefH streamH, AEGP_DynStreamFlags one_flag, A_Boolean undoable,
                                     A_Boolean set);
};

#define kAEGPCompSuite "AEGP Comp Suite"
#define kAEGPCompSuiteVersion15 15
struct AEGP_CompSuite15 {
  A_Err (*AEGP_GetCompFramerate)(AEGP_CompH compH, A_FpLong* fpsPF);
};

#define kAEGPLayerSuite "AEGP Layer Suite"
#define kAEGPLayerSuiteVersion13 13
struct AEGP_LayerSuite13 {
  A_Err (*AEGP_GetLayerParentComp)(AEGP_LayerH layerH, AEGP_CompH* compPH);
  A_Err (*AEGP_GetLayerFromLayerID)(AEGP_CompH parent_compH, AEGP_LayerIDVal id, AEGP_LayerH* layerPH);
  A_Err (*AEGP_GetLayerInPoint)(AEGP_LayerH layerH, AEGP_LTimeMode time_mode, A_Time* in_pointPT);
  A_Err (*AEGP_GetLayerDuration)(AEGP_LayerH layerH, AEGP_LTimeMode time_mode, A_Time* durationPT);
  A_Err (*AEGP_ConvertCompToLayerTime)(AEGP_LayerH layerH, const A_Time* comp_timeP, A_Time* layer_timeP);
};
