#include "ZelvanPlugin.h"

namespace zelvan {

PF_Err SmartPreRender(PF_InData*, PF_OutData*, PF_PreRenderExtra*) { return PF_Err_NONE; }

}  // namespace zelvan
