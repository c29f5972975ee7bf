// The one function an effect exports and the host calls once per command.
#pragma once

#include "AE_Effect.h"

#if defined(_WIN32)
#define ZELVAN_EXPORT __declspec(dllexport)
#else
#define ZELVAN_EXPORT __attribute__((visibility("default")))
#endif

typedef PF_Err (*PF_EntryPointFunc)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                    PF_LayerDef* output, void* extra);

#define ZELVAN_ENTRY_POINT_NAME "EntryPointFunc"
