// "AEGP Stream Suite" 9: the effect's parameter streams and their values.
#include <cmath>

#include "Composition.h"
#include "HostCall.h"
#include "Suites.h"

namespace zelvan::testhost {
namespace {

// The names the host serves these functions by (see ServedFunctions.h).
constexpr char kGetNewEffectStreamByIndex[] = "AEGP_GetNewEffectStreamByIndex";
constexpr char kDisposeStream[] = "AEGP_DisposeStream";
constexpr char kGetNewStreamValue[] = "AEGP_GetNewStreamValue";
constexpr char kDisposeStreamValue[] = "AEGP_DisposeStreamValue";

std::string StreamLabel(const HostCore& core, const void* stream) {
  auto it = core.objects().streams.find(stream);
  return it == core.objects().streams.end() ? "index=?" : "index=" + std::to_string(it->second->index);
}

std::string TimeText(const A_Time* t) {
  return t == nullptr ? "null" : std::to_string(t->value) + "/" + std::to_string(t->scale);
}

A_Err GetNewEffectStreamByIndex(AEGP_PluginID plugin_id, AEGP_EffectRefH effect, PF_ParamIndex index,
                                AEGP_StreamRefH* stream) noexcept {
  auto args = [&] { return "index=" + std::to_string(index); };
  return HostCall<kGetNewEffectStreamByIndex>(args, [&](HostCore& h) -> A_Err {
    if (!h.IsRegistered(plugin_id)) {
      h.accounts().Violation("AEGP_GetNewEffectStreamByIndex with unregistered plug-in identifier " +
                           std::to_string(plugin_id));
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (h.objects().effect_refs.count(effect) == 0) {
      h.accounts().Violation("AEGP_GetNewEffectStreamByIndex with an effect reference that is not live");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (stream == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (!h.params().Valid(index)) return PF_Err_INVALID_INDEX;
    auto object = std::make_unique<StreamObject>();
    object->index = index;
    const void* key = object.get();
    StreamObject* kept =
        OpenObject(h, h.objects().streams, key, std::move(object), Resource::Stream, "parameter " + std::to_string(index));
    *stream = reinterpret_cast<AEGP_StreamRefH>(kept);
    return 0;
  });
}

A_Err DisposeStream(AEGP_StreamRefH stream) noexcept {
  auto label = [&](const HostCore& h) { return StreamLabel(h, stream); };
  return HostRelease<kDisposeStream>(label, [&](HostCore& h) -> A_Err {
    return CloseObject(h, h.objects().streams, stream, Resource::Stream,
                       "AEGP_DisposeStream of a stream that is not live");
  });
}

A_Err GetNewStreamValue(AEGP_PluginID plugin_id, AEGP_StreamRefH stream, AEGP_LTimeMode time_mode,
                        const A_Time* time, A_Boolean pre_expression, AEGP_StreamValue2* value) noexcept {
  auto args = [&](const HostCore& h) {
    return StreamLabel(h, stream) + " mode=" + std::to_string(time_mode) + " time=" + TimeText(time) +
           " pre_expression=" + std::to_string(int(pre_expression));
  };
  return HostCall<kGetNewStreamValue>(args, [&](HostCore& h) -> A_Err {
    if (!h.IsRegistered(plugin_id)) {
      h.accounts().Violation("AEGP_GetNewStreamValue with unregistered plug-in identifier " + std::to_string(plugin_id));
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    auto it = h.objects().streams.find(stream);
    if (it == h.objects().streams.end()) {
      h.accounts().Violation("AEGP_GetNewStreamValue of a stream that is not live");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (time == nullptr || value == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    const PF_ParamIndex index = it->second->index;
    // Parameter values live in the effect layer's time.
    A_Time layer_time = *time;
    if (time_mode == AEGP_LTimeMode_CompTime) {
      layer_time = Composition::CompToLayerTime(h.comp().effect_layer(), *time);
    } else if (time_mode != AEGP_LTimeMode_LayerTime) {
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    const double v = h.params().ValueAt(index, Composition::Seconds(layer_time));
    AEGP_StreamValue2 out{};
    out.streamH = stream;
    if (h.params().at(index).def.param_type == PF_Param_LAYER) {
      out.val.layer_id = AEGP_LayerIDVal(std::lround(v));
    } else {
      out.val.one_d = v;
    }
    if (auto old = h.objects().stream_values.find(value); old != h.objects().stream_values.end()) {
      // The earlier value can no longer be disposed: the accounts keep it open.
      h.accounts().Violation("AEGP_GetNewStreamValue into a value that still holds stream value #" +
                           std::to_string(old->second->serial));
      h.objects().stream_values.erase(old);
    }
    auto object = std::make_unique<StreamValueObject>();
    object->index = index;
    object->stream = stream;
    OpenObject(h, h.objects().stream_values, value, std::move(object), Resource::StreamValue, "parameter " + std::to_string(index));
    *value = out;
    return 0;
  });
}

A_Err DisposeStreamValue(AEGP_StreamValue2* value) noexcept {
  auto label = [&](const HostCore& h) {
    auto it = h.objects().stream_values.find(value);
    return it == h.objects().stream_values.end() ? std::string("index=?") : "index=" + std::to_string(it->second->index);
  };
  return HostRelease<kDisposeStreamValue>(label, [&](HostCore& h) -> A_Err {
    return CloseObject(h, h.objects().stream_values, value, Resource::StreamValue,
                       "AEGP_DisposeStreamValue of a value the host did not hand out");
  });
}

}  // namespace

const AEGP_StreamSuite9 kStreamSuite9 = [] {
  AEGP_StreamSuite9 s{};
  s.AEGP_GetNewEffectStreamByIndex = GetNewEffectStreamByIndex;
  s.AEGP_DisposeStream = DisposeStream;
  s.AEGP_GetNewStreamValue = GetNewStreamValue;
  s.AEGP_DisposeStreamValue = DisposeStreamValue;
  return s;
}();

}  // namespace zelvan::testhost
