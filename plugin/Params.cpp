// Parameter setup and the parameter-UI update that shows either the percent or
// the seconds range fields.
#include "Params.h"

#include <cstring>

#include "HostGuards.h"
#include "ParamTable.h"
#include "ZelvanPlugin.h"

namespace zelvan {
namespace {

// One definition as the host receives it: all zero bytes but the fields of
// its type, filled from its row.
PF_Err AddParam(PF_InData* in_data, const ParamSpec& p) {
  PF_ParamDef def;
  std::memset(&def, 0, sizeof def);
  def.flags = p.flags;
  def.param_type = p.type;
  in_data->utils->ansi.strcpy(def.name, p.name);
  switch (p.type) {
    case PF_Param_POPUP:
      def.u.pd.value = A_long(p.dephault);
      def.u.pd.num_choices = ChoiceCount(p.choices);
      def.u.pd.dephault = A_short(p.dephault);
      def.u.pd.u_names = p.choices;
      break;
    case PF_Param_LAYER:
      def.u.ld.dephault = A_long(p.dephault);  // 0: no layer
      break;
    case PF_Param_ANGLE:
      def.u.ad.value = UserToFixed(p.dephault);
      def.u.ad.dephault = UserToFixed(p.dephault);
      break;
    case PF_Param_FIX_SLIDER: {
      PF_FixedSliderDef& fd = def.u.fd;
      fd.value = UserToFixed(p.dephault);
      fd.valid_min = UserToFixed(p.range.valid_min);
      fd.valid_max = UserToFixed(p.range.valid_max);
      fd.slider_min = UserToFixed(p.range.slider_min);
      fd.slider_max = UserToFixed(p.range.slider_max);
      fd.dephault = UserToFixed(p.dephault);
      fd.precision = p.precision;
      fd.display_flags = p.display_flags;
      break;
    }
    case PF_Param_FLOAT_SLIDER: {
      PF_FloatSliderDef& fs = def.u.fs_d;
      fs.value = A_FpShort(p.dephault);
      fs.phase = 0;
      fs.valid_min = A_FpShort(p.range.valid_min);
      fs.valid_max = A_FpShort(p.range.valid_max);
      fs.slider_min = A_FpShort(p.range.slider_min);
      fs.slider_max = A_FpShort(p.range.slider_max);
      fs.dephault = A_FpShort(p.dephault);
      fs.precision = p.precision;
      fs.display_flags = p.display_flags;
      fs.fs_flags = PF_FSliderFlag_NONE;
      fs.curve_tolerance = 0.05f;
      break;
    }
    default:
      break;
  }
  def.uu.id = p.index;
  return in_data->inter.add_param(in_data->effect_ref, -1, &def);
}

}  // namespace

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* /*params*/[], PF_LayerDef* /*output*/) {
  // Parameter setup stops at the first refusal: later parameters would land
  // at the wrong indices.
  for (const ParamSpec& p : kParams) {
    if (const PF_Err err = AddParam(in_data, p); err != PF_Err_NONE) return err;
  }
  out_data->num_params = kParamCount;
  return PF_Err_NONE;
}

PF_Err SetStreamHidden(AEGP_SuiteHandler& suites, AEGP_EffectRefH effect, AEGP_PluginID plugin_id,
                       PF_ParamIndex index, bool hide) {
  StreamRef stream(suites);
  PF_Err err = suites.StreamSuite9()->AEGP_GetNewEffectStreamByIndex(plugin_id, effect, index, stream.out());
  if (err == PF_Err_NONE) {
    err = suites.DynamicStreamSuite5()->AEGP_SetDynamicStreamFlag(stream.get(), AEGP_DynStreamFlag_HIDDEN, false,
                                                                    hide);
  }
  stream.Release(err);
  return err;
}

PF_Err UpdateParamsUI(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* /*output*/) {
  // Without global data there is no plug-in identifier to ask the host with:
  // touch no control and report the damage.
  const GlobalRecord* global = GlobalRecordOf(in_data);
  if (global == nullptr) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  const AEGP_PluginID plugin_id = global->plugin_id;
  AEGP_SuiteHandler suites(in_data->pica_basicP);

  EffectRef effect(suites);
  PF_Err err = suites.PFInterfaceSuite1()->AEGP_GetNewEffectForEffect(plugin_id, in_data->effect_ref, effect.out());

  // A host whose parameter setup failed hands over a shorter array: without
  // "Range Type" no control changes.
  const bool has_range_type =
      params != nullptr && in_data->num_params > kParamRangeType && params[kParamRangeType] != nullptr;
  const A_long range_type = has_range_type ? params[kParamRangeType]->u.pd.value : 0;
  if (range_type == kRangePercent || range_type == kRangeSecond) {
    // The range's start and end: shown under their own range type, hidden under the other.
    for (const ParamSpec& p : kParams) {
      if (err != PF_Err_NONE) break;
      if (p.range_type == kEveryRange) continue;
      err = SetStreamHidden(suites, effect.get(), plugin_id, p.index, p.range_type != range_type);
    }
  }
  effect.Release(err);
  out_data->out_flags |= PF_OutFlag_REFRESH_UI;
  return err;
}

}  // namespace zelvan
