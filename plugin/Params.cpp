#include "ZelvanPlugin.h"

namespace zelvan {

PF_Err ParamsSetup(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*) { return PF_Err_NONE; }
PF_Err UpdateParamsUI(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*) { return PF_Err_NONE; }

}  // namespace zelvan
