#include "ZelvanPlugin.h"

namespace zelvan {

PF_Err SmartRender(PF_InData*, PF_OutData*, PF_SmartRenderExtra*) { return PF_Err_NONE; }

}  // namespace zelvan
