// Smart render: show the chosen layer's frame at the looped time, placed as
// "Mode" says, or pass the input through when there is nothing to show.
#include "AEGP_SuiteHandler.h"
#include "HostGuards.h"
#include "HostValues.h"
#include "LoopTiming.h"
#include "Params.h"
#include "Placement.h"
#include "PreRenderRecord.h"
#include "ZelvanEasing.h"
#include "ZelvanPlugin.h"

namespace zelvan {
namespace {

// What the host lookups found out about the chosen layer.
struct SourceLayer {
  bool found = false;
  A_Time in_point = MakeTime(0, 1);
  A_Time trimmed_duration = MakeTime(0, 1);
};

bool HasPixels(const PF_EffectWorld& world) { return world.data != nullptr && world.width > 0 && world.height > 0; }

}  // namespace

PF_Err SmartRender(PF_InData* in_data, PF_OutData* /*out_data*/, PF_SmartRenderExtra* extra) {
  AEGP_SuiteHandler suites(in_data->pica_basicP);
  // Without global data there is no plug-in identifier for the AEGP calls;
  // the output is left unwritten and the host is told.
  const GlobalRecord* global = GlobalRecordOf(in_data);
  if (global == nullptr) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  const AEGP_PluginID plugin_id = global->plugin_id;

  const PF_HandleSuite2* handles = suites.HandleSuite2();
  HandleLock lock(handles, static_cast<PF_Handle>(extra->input->pre_render_data));
  const auto* data = static_cast<const PreRenderData*>(lock.data());
  if (data == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  const PreRenderRecord& record = data->record;
  const PF_ProgPtr effect_ref = in_data->effect_ref;

  PF_EffectWorld* input = nullptr;
  PF_EffectWorld* output = nullptr;
  PF_Err err = extra->cb->checkout_layer_pixels(effect_ref, 0, &input);
  if (err == PF_Err_NONE) err = extra->cb->checkout_output(effect_ref, &output);

  AEGP_LayerH effect_layer = nullptr;
  AEGP_CompH comp = nullptr;
  A_FpLong frame_rate = 30.0;
  if (err == PF_Err_NONE) err = suites.PFInterfaceSuite1()->AEGP_GetEffectLayer(effect_ref, &effect_layer);
  if (err == PF_Err_NONE) err = suites.LayerSuite13()->AEGP_GetLayerParentComp(effect_layer, &comp);
  if (err == PF_Err_NONE) err = suites.CompSuite15()->AEGP_GetCompFramerate(comp, &frame_rate);

  SourceLayer source;
  {
    // The "Layer" parameter's stream names the chosen layer by identifier.
    EffectRef effect(suites);
    StreamRef stream(suites);
    StreamValue value(suites);
    if (err == PF_Err_NONE) {
      err = suites.PFInterfaceSuite1()->AEGP_GetNewEffectForEffect(plugin_id, effect_ref, effect.out());
    }
    if (err == PF_Err_NONE) {
      err = suites.StreamSuite9()->AEGP_GetNewEffectStreamByIndex(plugin_id, effect.get(), kParamLayer,
                                                                   stream.out());
    }
    if (err == PF_Err_NONE) {
      const A_Time now = MakeTime(in_data->current_time, in_data->time_scale);
      err = suites.StreamSuite9()->AEGP_GetNewStreamValue(plugin_id, stream.get(), AEGP_LTimeMode_LayerTime, &now,
                                                          false, value.out());
    }
    if (err == PF_Err_NONE && value.get().val.layer_id != 0) {
      source.found = true;
      const AEGP_LayerSuite13* layers = suites.LayerSuite13();
      AEGP_LayerH source_layer = nullptr;
      A_Time duration = MakeTime(0, 1);
      err = layers->AEGP_GetLayerFromLayerID(comp, value.get().val.layer_id, &source_layer);
      if (err == PF_Err_NONE) {
        err = layers->AEGP_GetLayerInPoint(source_layer, AEGP_LTimeMode_CompTime, &source.in_point);
      }
      if (err == PF_Err_NONE) err = layers->AEGP_GetLayerDuration(source_layer, AEGP_LTimeMode_CompTime, &duration);
      if (err == PF_Err_NONE) source.trimmed_duration = trimLastFrame(duration, frame_rate);
    }
    value.Release(err);
    stream.Release(err);
    effect.Release(err);
  }

  if (!source.found) {
    if (err == PF_Err_NONE) err = in_data->utils->copy(effect_ref, input, output, nullptr, nullptr);
    return err;
  }

  A_Time layer_time = MakeTime(0, in_data->time_scale);
  if (err == PF_Err_NONE) {
    Easing easing(record.easingType, record.easingMode);
    const double phase = loopPhase(record.loopType, record.timeAngle, record.waitingFraction,
                                   in_data->utils->ansi.fmod);
    const double offset = rangeOffset(record, easing.getTime(phase), TimeToSeconds(source.trimmed_duration));
    const A_Time comp_time = sourceCompTime(source.in_point, offset, in_data->time_scale);
    // The effect's own layer: the host checks parameters out in its time.
    err = suites.LayerSuite13()->AEGP_ConvertCompToLayerTime(effect_layer, &comp_time, &layer_time);
  }

  ParamCheckout layer;
  if (err == PF_Err_NONE) {
    err = layer.Checkout(in_data, kParamLayer, layer_time.value, in_data->time_step, in_data->time_scale);
  }
  PF_EffectWorld* frame = layer.checked_out() ? &layer.def().u.ld : nullptr;
  if (frame != nullptr && HasPixels(*frame)) {
    PlacementRects rects = placementRects(record.placementMode, frame->width, frame->height, output->width,
                                          output->height);
    err = in_data->utils->copy(effect_ref, frame, output, &rects.src, &rects.dst);
  } else if (err == PF_Err_NONE) {
    // No pixels at that time (or a frame of no size): show the input.
    err = in_data->utils->copy(effect_ref, input, output, nullptr, nullptr);
  }
  layer.Release(err);
  return err;
}

}  // namespace zelvan
