// Effect-side suites of the host (PF suites).
#pragma once

#include "AE_Effect.h"

#define kPFHandleSuite "PF Handle Suite"
#define kPFHandleSuiteVersion2 2

struct PF_HandleSuite2 {
  // Null when memory is short.
  PF_Handle (*host_new_handle)(A_HandleSize size);
  // Null when the handle cannot be locked.
  void* (*host_lock_handle)(PF_Handle pf_handle);
  void (*host_unlock_handle)(PF_Handle pf_handle);
  void (*host_dispose_handle)(PF_Handle pf_handle);
  A_HandleSize (*host_get_handle_size)(PF_Handle pf_handle);
  PF_Err (*host_resize_handle)(A_HandleSize new_sizeL, PF_Handle* handlePH);
};
