#include "AEFX_SuiteHelper.h"

namespace {

const char kAcquireFailed[] = "Not able to acquire AEFX Suite.";
const char kReleaseFailed[] = "Not able to release AEFX Suite.";

const char* const kDrawbotSuiteNames[] = {"DRAWBOT Draw Suite", "DRAWBOT Supplier Suite", "DRAWBOT Surface Suite",
                                          "DRAWBOT Path Suite"};

void ReportError(PF_InData* in_data, PF_OutData* out_data, const char* text) {
  out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
  // The text is handed over as the format itself, with no further arguments.
  in_data->utils->ansi.sprintf(out_data->return_msg, text);
}

}  // namespace

PF_Err AEFX_AcquireSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, A_long version,
                         const char* error_stringPC, const void** suitePP) {
  if (in_data->pica_basicP != nullptr) {
    (void)in_data->pica_basicP->AcquireSuite(name, version, suitePP);
    if (*suitePP != nullptr) {
      return PF_Err_NONE;
    }
  }
  ReportError(in_data, out_data, error_stringPC != nullptr ? error_stringPC : kAcquireFailed);
  return PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err AEFX_ReleaseSuite(PF_InData* in_data, PF_OutData* out_data, const char* name, A_long version,
                         const char* error_stringPC) {
  if (in_data->pica_basicP != nullptr) {
    (void)in_data->pica_basicP->ReleaseSuite(name, version);
    return PF_Err_NONE;
  }
  ReportError(in_data, out_data, error_stringPC != nullptr ? error_stringPC : kReleaseFailed);
  return PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err AEFX_AcquireDrawbotSuites(PF_InData* in_data, PF_OutData* out_data, DRAWBOT_Suites* suitesP) {
  const void** const slots[] = {&suitesP->drawbot_suiteP, &suitesP->supplier_suiteP, &suitesP->surface_suiteP,
                                &suitesP->path_suiteP};
  for (int i = 0; i < 4; ++i) {
    const PF_Err err = AEFX_AcquireSuite(in_data, out_data, kDrawbotSuiteNames[i], 1, nullptr, slots[i]);
    if (err != PF_Err_NONE) {
      return err;
    }
  }
  return PF_Err_NONE;
}

PF_Err AEFX_ReleaseDrawbotSuites(PF_InData* in_data, PF_OutData* out_data) {
  for (const char* name : kDrawbotSuiteNames) {
    (void)AEFX_ReleaseSuite(in_data, out_data, name, 1, nullptr);
  }
  return PF_Err_NONE;
}
