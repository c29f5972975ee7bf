// Smart pre-render: snapshot the parameters for the render and tell the host
// what the effect needs (the whole input) and what it may produce.
#include <array>
#include <cstring>

#include "AEGP_SuiteHandler.h"
#include "HostGuards.h"
#include "LayerArea.h"
#include "ParamTable.h"
#include "PreRenderRecord.h"
#include "Rounding.h"
#include "Smart_Utils.h"
#include "ZelvanPlugin.h"

namespace zelvan {
namespace {

// The order in which the snapshot's parameters are checked out, from their rows.
constexpr int kSnapshotCount = SnapshotCount();
constexpr std::array<ParamIndex, kSnapshotCount> kSnapshotOrder = [] {
  std::array<ParamIndex, kSnapshotCount> order{};
  for (const ParamSpec& p : kParams) {
    if (p.snapshot.order != 0) order[std::size_t(p.snapshot.order - 1)] = p.index;
  }
  return order;
}();

// One checked-out parameter into its field of the record.
void Store(const ParamSpec& p, const PF_ParamDef& def, PreRenderRecord& r) {
  const double value = HostValue(p, def);
  if (p.type == PF_Param_POPUP) {
    r.*p.snapshot.code = A_long(value);
  } else {
    r.*p.snapshot.number = SnapshotNumber(p, value);
  }
}

}  // namespace

void ReleasePreRenderData(void* pre_render_data) {
  PF_Handle handle = static_cast<PF_Handle>(pre_render_data);
  if (handle == nullptr || *handle == nullptr) return;
  // Handle blocks are readable without a lock, like the global data.
  const SPBasicSuite* basic = static_cast<const PreRenderData*>(*handle)->basic;
  // The host calls this outside any command: nothing may escape.
  Quietly([&] {
    AEGP_SuiteHandler suites(basic);
    suites.HandleSuite2()->host_dispose_handle(handle);
  });
}

PF_Err SmartPreRender(PF_InData* in_data, PF_OutData* /*out_data*/, PF_PreRenderExtra* extra) {
  PF_RenderRequest request = extra->input->output_request;
  AEGP_SuiteHandler suites(in_data->pica_basicP);
  const PF_HandleSuite2* handles = suites.HandleSuite2();

  OwnedHandle handle(handles, handles->host_new_handle(sizeof(PreRenderData)));
  if (handle.get() == nullptr) {
    return PF_Err_OUT_OF_MEMORY;
  }
  HandleLock lock(handles, handle.get());
  auto* data = static_cast<PreRenderData*>(lock.data());
  if (data == nullptr) {
    return PF_Err_OUT_OF_MEMORY;  // the unpublished handle is disposed on the way out
  }
  // From here the host owns the handle and releases it through the function,
  // whatever the rest of this command does.
  extra->output->pre_render_data = handle.Publish();
  extra->output->delete_pre_render_data_func = ReleasePreRenderData;
  data->basic = in_data->pica_basicP;

  PF_Err err = PF_Err_NONE;
  ParamCheckout checkouts[kSnapshotCount];
  for (int i = 0; i < kSnapshotCount && err == PF_Err_NONE; ++i) {
    err = checkouts[i].Checkout(in_data, kSnapshotOrder[std::size_t(i)], in_data->current_time, in_data->time_step,
                                in_data->time_scale);
  }

  PF_CheckoutResult input{};
  if (err == PF_Err_NONE) {
    // The whole input layer at the current downsampling, whatever part of the
    // output the host asked for.
    request.preserve_rgb_of_zero_alpha = true;
    request.rect = DownsampledLayer(*in_data);
    extra->output->flags |= PF_RenderOutputFlag_RETURNS_EXTRA_PIXELS;
    err = extra->cb->checkout_layer(in_data->effect_ref, kParamInput, 0, &request, in_data->current_time,
                                    in_data->time_step, in_data->time_scale, &input);
  }

  if (err == PF_Err_NONE) {
    PreRenderRecord& r = data->record;
    std::memset(&r, 0, sizeof r);
    for (int i = 0; i < kSnapshotCount; ++i) Store(*FindParam(kSnapshotOrder[std::size_t(i)]), checkouts[i].def(), r);

    UnionLRect(&input.result_rect, &extra->output->result_rect);
    UnionLRect(&input.max_result_rect, &extra->output->max_result_rect);
  }

  // The snapshot holds values only: the checkouts can go back now.
  for (ParamCheckout& checkout : checkouts) checkout.Release(err);
  return err;
}

}  // namespace zelvan
