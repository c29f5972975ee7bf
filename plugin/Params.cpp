// Parameter setup and the parameter-UI update that shows either the percent or
// the seconds range fields.
#include "Params.h"

#include <cstring>

#include "HostGuards.h"
#include "ZelvanPlugin.h"

namespace zelvan {
namespace {

// Choices live in static storage: the host keeps the pointers.
const char kModeChoices[] = "Center|Whole|No Margin|Fit to Layer";
const char kTypeChoices[] = "Cycle|Pingpong";
const char kRangeTypeChoices[] = "Percent|Second";
const char kEasingTypeChoices[] = "Linear|Quad|Cubic|Quart|Quint|Expo|Circ|Sine|Bounce";
const char kEasingModeChoices[] = "In|Out|InOut";

constexpr PF_Fixed kFixedHundred = 100 << 16;

class ParamAdder {
 public:
  explicit ParamAdder(PF_InData* in_data) : in_data_(in_data) {}

  PF_Err Popup(ParamIndex index, const char* name, A_short choices, A_short dephault, const char* names) {
    PF_ParamDef def = Start(index, PF_Param_POPUP, name);
    def.u.pd.value = dephault;
    def.u.pd.num_choices = choices;
    def.u.pd.dephault = dephault;
    def.u.pd.u_names = names;
    return Add(index, def);
  }
  PF_Err Layer(ParamIndex index, const char* name) {
    PF_ParamDef def = Start(index, PF_Param_LAYER, name);
    def.u.ld.dephault = 0;  // no layer
    return Add(index, def);
  }
  PF_Err Angle(ParamIndex index, const char* name) {
    PF_ParamDef def = Start(index, PF_Param_ANGLE, name);
    def.u.ad.value = 0;
    def.u.ad.dephault = 0;
    return Add(index, def);
  }
  // A 0 to 100 percent slider in 16.16 fixed point.
  PF_Err Percent(ParamIndex index, const char* name, PF_Fixed dephault, A_short precision) {
    PF_ParamDef def = Start(index, PF_Param_FIX_SLIDER, name);
    PF_FixedSliderDef& fd = def.u.fd;
    fd.value = dephault;
    fd.valid_min = 0;
    fd.valid_max = kFixedHundred;
    fd.slider_min = 0;
    fd.slider_max = kFixedHundred;
    fd.dephault = dephault;
    fd.precision = precision;
    fd.display_flags = PF_ValueDisplayFlag_PERCENT;
    return Add(index, def);
  }
  PF_Err Seconds(ParamIndex index, const char* name, float dephault) {
    PF_ParamDef def = Start(index, PF_Param_FLOAT_SLIDER, name);
    PF_FloatSliderDef& fs = def.u.fs_d;
    fs.value = dephault;
    fs.phase = 0;
    fs.valid_min = 0.0f;
    fs.valid_max = 1000000.0f;
    fs.slider_min = 0.0f;
    fs.slider_max = 20.0f;
    fs.dephault = dephault;
    fs.precision = 2;
    fs.display_flags = 0;
    fs.fs_flags = PF_FSliderFlag_NONE;
    fs.curve_tolerance = 0.05f;
    return Add(index, def);
  }

 private:
  PF_ParamDef Start(ParamIndex index, PF_ParamType type, const char* name) {
    PF_ParamDef def;
    std::memset(&def, 0, sizeof def);
    // The easing popups stay expanded; the rest start collapsed.
    if (index <= kParamEndSeconds) def.flags = PF_ParamFlag_START_COLLAPSED;
    def.param_type = type;
    in_data_->utils->ansi.strcpy(def.name, name);
    return def;
  }
  PF_Err Add(ParamIndex index, PF_ParamDef& def) {
    def.uu.id = index;
    return in_data_->inter.add_param(in_data_->effect_ref, -1, &def);
  }

  PF_InData* in_data_;
};

}  // namespace

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* /*params*/[], PF_LayerDef* /*output*/) {
  ParamAdder add(in_data);
  PF_Err err = PF_Err_NONE;
  // Parameter setup stops at the first refusal: later parameters would land
  // at the wrong indices.
  if ((err = add.Popup(kParamMode, "Mode", 4, kModeWhole, kModeChoices)) != PF_Err_NONE) return err;
  if ((err = add.Layer(kParamLayer, "Layer")) != PF_Err_NONE) return err;
  if ((err = add.Popup(kParamType, "Type", 2, kLoopCycle, kTypeChoices)) != PF_Err_NONE) return err;
  if ((err = add.Angle(kParamTime, "Time")) != PF_Err_NONE) return err;
  if ((err = add.Percent(kParamWaitingTime, "Waiting Time", 0, 1)) != PF_Err_NONE) return err;
  if ((err = add.Popup(kParamRangeType, "Range Type", 2, kRangePercent, kRangeTypeChoices)) != PF_Err_NONE) return err;
  if ((err = add.Percent(kParamStartPercent, "Start Time(%)", 0, 2)) != PF_Err_NONE) return err;
  if ((err = add.Percent(kParamEndPercent, "End Time(%)", kFixedHundred, 2)) != PF_Err_NONE) return err;
  if ((err = add.Seconds(kParamStartSeconds, "Start Time(sec)", 0.0f)) != PF_Err_NONE) return err;
  if ((err = add.Seconds(kParamEndSeconds, "End Time(sec)", 10.0f)) != PF_Err_NONE) return err;
  if ((err = add.Popup(kParamEasingType, "Easing Type", 9, 1, kEasingTypeChoices)) != PF_Err_NONE) return err;
  if ((err = add.Popup(kParamEasingMode, "Easing Mode", 3, 3, kEasingModeChoices)) != PF_Err_NONE) return err;
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

  struct Visibility {
    ParamIndex index;
    bool hide_for_percent;
  };
  static constexpr Visibility kRangeFields[] = {
      {kParamStartPercent, false}, {kParamEndPercent, false}, {kParamStartSeconds, true}, {kParamEndSeconds, true}};
  // A host whose parameter setup failed hands over a shorter array: without
  // "Range Type" no control changes.
  const bool has_range_type =
      params != nullptr && in_data->num_params > kParamRangeType && params[kParamRangeType] != nullptr;
  const A_long range_type = has_range_type ? params[kParamRangeType]->u.pd.value : 0;
  if (range_type == kRangePercent || range_type == kRangeSecond) {
    for (const Visibility& field : kRangeFields) {
      if (err != PF_Err_NONE) break;
      const bool hide = range_type == kRangePercent ? field.hide_for_percent : !field.hide_for_percent;
      err = SetStreamHidden(suites, effect.get(), plugin_id, field.index, hide);
    }
  }
  effect.Release(err);
  out_data->out_flags |= PF_OutFlag_REFRESH_UI;
  return err;
}

}  // namespace zelvan
