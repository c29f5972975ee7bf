// About, global setup and global setdown: the effect's life in the host.
#include "AEGP_SuiteHandler.h"
#include "HostGuards.h"
#include "Version.h"
#include "ZelvanPlugin.h"

namespace zelvan {

PF_Err About(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* /*params*/[], PF_LayerDef* /*output*/) {
  // Acquires no suite, so it works before the host offers any.
  in_data->utils->ansi.sprintf(out_data->return_msg, "%s, v%d.%d%d\r%s", kEffectName, kMajorVersion, kMinorVersion,
                               kPatchVersion, kMakerNotice);
  return PF_Err_NONE;
}

PF_Err GlobalSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* /*params*/[], PF_LayerDef* /*output*/) {
  out_data->my_version = kVersionWord;
  out_data->out_flags |= kOutFlags;
  out_data->out_flags2 |= kOutFlags2;

  AEGP_SuiteHandler suites(in_data->pica_basicP);
  const PF_HandleSuite2* handles = suites.HandleSuite2();

  // Disposed on every path that does not hand it to the host, so a failed
  // registration leaks nothing.
  OwnedHandle global(handles, handles->host_new_handle(sizeof(GlobalRecord)));
  if (global.get() == nullptr) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  PF_Err err = PF_Err_NONE;
  HandleLock lock(handles, global.get());
  if (auto* record = static_cast<GlobalRecord*>(lock.data())) {
    err = suites.UtilitySuite7()->AEGP_RegisterWithAEGP(nullptr, "Error!", &record->plugin_id);
    if (err == PF_Err_NONE) {
      out_data->global_data = global.Publish();
    }
  }
  // Without a lock nothing is registered and the result stays 0.
  return err;
}

PF_Err GlobalSetdown(PF_InData* in_data) {
  AEGP_SuiteHandler suites(in_data->pica_basicP);
  if (in_data->global_data != nullptr) {
    suites.HandleSuite2()->host_dispose_handle(in_data->global_data);
  }
  return PF_Err_NONE;
}

}  // namespace zelvan
