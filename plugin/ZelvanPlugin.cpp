#include "ZelvanPlugin.h"

#include <new>

namespace zelvan {
namespace {

PF_Err Dispatch(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                void* extra) {
  switch (cmd) {
    case PF_Cmd_ABOUT:
      return About(in_data, out_data, params, output);
    case PF_Cmd_GLOBAL_SETUP:
      return GlobalSetup(in_data, out_data, params, output);
    case PF_Cmd_GLOBAL_SETDOWN:
      return GlobalSetdown(in_data);
    case PF_Cmd_PARAMS_SETUP:
      return ParamsSetup(in_data, out_data, params, output);
    case PF_Cmd_UPDATE_PARAMS_UI:
      return UpdateParamsUI(in_data, out_data, params, output);
    // The smart pair cannot work without the host's extra block.
    case PF_Cmd_SMART_PRE_RENDER:
      if (extra == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
      return SmartPreRender(in_data, out_data, static_cast<PF_PreRenderExtra*>(extra));
    case PF_Cmd_SMART_RENDER:
      if (extra == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
      return SmartRender(in_data, out_data, static_cast<PF_SmartRenderExtra*>(extra));
    default:
      // Everything else, the classic render included: the effect renders only
      // through the smart pair.
      return PF_Err_NONE;
  }
}

}  // namespace

const GlobalRecord* GlobalRecordOf(const PF_InData* in_data) {
  if (in_data->global_data == nullptr || *in_data->global_data == nullptr) {
    return nullptr;
  }
  return static_cast<const GlobalRecord*>(*in_data->global_data);
}

}  // namespace zelvan

extern "C" PF_Err EntryPointFunc(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                 PF_LayerDef* output, void* extra) {
  // No exception may reach the host: a missing suite comes as its host error
  // code; anything else becomes the nearest host error.
  try {
    return zelvan::Dispatch(cmd, in_data, out_data, params, output, extra);
  } catch (PF_Err err) {
    return err;
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  } catch (...) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
}
