// How the effect's one function is exported and what the host calls. This is
// our own glue, not part of the host's interface: it stays with the plug-in
// whichever interface headers the build uses.
#pragma once

#include "AE_Effect.h"

#if defined(_WIN32)
#define ZELVAN_EXPORT __declspec(dllexport)
#else
#define ZELVAN_EXPORT __attribute__((visibility("default")))
#endif

namespace zelvan {

// The type of EntryPointFunc, as a host resolves it from the loaded file.
using EntryPointFuncPtr = PF_Err (*)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                     PF_LayerDef* output, void* extra);

}  // namespace zelvan
