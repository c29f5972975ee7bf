// The effect's command handlers, dispatched by EntryPointFunc.
#pragma once

#include "AE_Effect.h"
#include "AE_EffectSmart.h"
#include "EntryPoint.h"

extern "C" ZELVAN_EXPORT PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                               PF_ParamDef* params[], PF_LayerDef* output, void* extra);

namespace zelvan {

// The effect's global data: lives from global setup to global setdown in a
// 4-byte host handle; readers take it without locking.
struct GlobalRecord {
  A_long plugin_id;
};
static_assert(sizeof(GlobalRecord) == 4, "the host handle holds 4 bytes");

PF_Err About(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);
PF_Err GlobalSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);
PF_Err GlobalSetdown(PF_InData* in_data);
PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);
PF_Err UpdateParamsUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);
PF_Err SmartPreRender(PF_InData* in_data, PF_OutData* out_data, PF_PreRenderExtra* extra);
PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra);

// The plug-in identifier from the global data, or null when global setup left none.
const GlobalRecord* GlobalRecordOf(const PF_InData* in_data);

}  // namespace zelvan
