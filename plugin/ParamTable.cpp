#include "ParamTable.h"

namespace zelvan {

double HostValue(const ParamSpec& spec, const PF_ParamDef& def) {
  switch (spec.type) {
    case PF_Param_POPUP:
      return def.u.pd.value;
    case PF_Param_ANGLE:
      return def.u.ad.value;
    case PF_Param_FIX_SLIDER:
      return def.u.fd.value;
    case PF_Param_FLOAT_SLIDER:
      return def.u.fs_d.value;
    default:
      return 0.0;
  }
}

}  // namespace zelvan
