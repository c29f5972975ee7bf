#include "AEGP_SuiteHandler.h"

void AEGP_SuiteHandler::MissingSuiteError() const {
  // The entry point catches the bare host error code and returns it.
  throw static_cast<PF_Err>(PF_Err_BAD_CALLBACK_PARAM);
}
