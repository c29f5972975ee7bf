// Suite acquisition that reports failure through the out-data (an error message
// the host shows) instead of throwing.
#pragma once

#include "AE_Effect.h"

struct DRAWBOT_Suites {
  const void* drawbot_suiteP;
  const void* supplier_suiteP;
  const void* surface_suiteP;
  const void* path_suiteP;
};

// 0, or 516 with the failure text (or the default) in return_msg.
PF_Err AEFX_AcquireSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, A_long version,
                         const char* error_stringPC, const void** suitePP);

PF_Err AEFX_ReleaseSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, A_long version,
                         const char* error_stringPC);

// Stops at the first failure; suites acquired before it stay acquired.
PF_Err AEFX_AcquireDrawbotSuites(PF_InData* in_data, PF_OutData* out_data, DRAWBOT_Suites* suitesP);

// Attempts all four releases and always returns 0.
PF_Err AEFX_ReleaseDrawbotSuites(PF_InData* in_data, PF_OutData* out_data);
