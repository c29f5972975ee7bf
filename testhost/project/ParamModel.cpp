#include "ParamModel.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#include "AE_GeneralPlug.h"

namespace zelvan::testhost {
namespace {

bool Steps(PF_ParamType type) { return type == PF_Param_POPUP || type == PF_Param_LAYER || type == PF_Param_CHECKBOX; }

double InitialValue(const PF_ParamDef& def) {
  switch (def.param_type) {
    case PF_Param_POPUP:
      return def.u.pd.value;
    case PF_Param_ANGLE:
      return FromFixed(def.u.ad.value);
    case PF_Param_FIX_SLIDER:
      return FromFixed(def.u.fd.value);
    case PF_Param_FLOAT_SLIDER:
      return def.u.fs_d.value;
    case PF_Param_LAYER:
      return 0.0;  // no layer chosen
    default:
      return 0.0;
  }
}

double Seconds(const A_Time& t) { return t.scale == 0 ? 0.0 : double(t.value) / double(t.scale); }

// A slider's ranges nest, valid around slider, and its default is valid;
// written so that a NaN fails.
std::string SliderProblem(double valid_min, double valid_max, double slider_min, double slider_max, double dflt) {
  if (!(valid_min <= slider_min && slider_min <= slider_max && slider_max <= valid_max)) {
    return "a slider range outside its valid range";
  }
  if (!(dflt >= valid_min && dflt <= valid_max)) return "a default outside its valid range";
  return "";
}

// What a host checks of a definition beyond its type; empty when it is sound.
std::string DefinitionProblem(const PF_ParamDef& def) {
  switch (def.param_type) {
    case PF_Param_POPUP: {
      const PF_PopupDef& pd = def.u.pd;
      if (pd.u_names == nullptr) return "a popup without choices";
      const std::ptrdiff_t entries = 1 + std::count(pd.u_names, pd.u_names + std::strlen(pd.u_names), '|');
      if (pd.num_choices != entries) {
        return "a choice count of " + std::to_string(pd.num_choices) + " for " + std::to_string(entries) + " choices";
      }
      if (pd.dephault < 1 || pd.dephault > pd.num_choices) {
        return "a default choice " + std::to_string(pd.dephault) + " outside 1 to " + std::to_string(pd.num_choices);
      }
      return "";
    }
    case PF_Param_FIX_SLIDER: {
      const PF_FixedSliderDef& fd = def.u.fd;
      return SliderProblem(fd.valid_min, fd.valid_max, fd.slider_min, fd.slider_max, fd.dephault);
    }
    case PF_Param_FLOAT_SLIDER: {
      const PF_FloatSliderDef& fs = def.u.fs_d;
      return SliderProblem(fs.valid_min, fs.valid_max, fs.slider_min, fs.slider_max, fs.dephault);
    }
    default:
      return "";
  }
}

}  // namespace

PF_Fixed ToFixed(double value) {
  const double scaled = std::round(value * 65536.0);
  if (!(scaled > double(std::numeric_limits<PF_Fixed>::min()))) return std::numeric_limits<PF_Fixed>::min();
  if (scaled >= double(std::numeric_limits<PF_Fixed>::max())) return std::numeric_limits<PF_Fixed>::max();
  return PF_Fixed(scaled);
}

double FromFixed(PF_Fixed value) { return double(value) / 65536.0; }

ParamModel::ParamModel() {
  auto input = std::make_unique<Param>();
  input->def.param_type = PF_Param_LAYER;
  input->def.uu.id = 0;
  params_.push_back(std::move(input));
}

void ParamModel::BeginSetup() {
  for (std::size_t i = known_.size() + 1; i < params_.size(); ++i) {
    known_.push_back(Known{params_[i]->def.uu.id, params_[i]->def.param_type});
  }
  params_.resize(1);
}

PF_Err ParamModel::Add(PF_ParamIndex index, const PF_ParamDef& def, std::string* problem) {
  auto refuse = [&](PF_Err code, const std::string& why) {
    if (problem != nullptr) *problem = why;
    return code;
  };
  if (index != -1 && index != count()) return refuse(PF_Err_INVALID_INDEX, "index " + std::to_string(index));
  switch (def.param_type) {
    case PF_Param_LAYER:
    case PF_Param_SLIDER:
    case PF_Param_FIX_SLIDER:
    case PF_Param_ANGLE:
    case PF_Param_CHECKBOX:
    case PF_Param_COLOR:
    case PF_Param_POINT:
    case PF_Param_POPUP:
    case PF_Param_FLOAT_SLIDER:
      break;
    default:
      return refuse(PF_Err_UNRECOGNIZED_PARAM_TYPE, "type " + std::to_string(def.param_type));
  }
  if (const std::string why = DefinitionProblem(def); !why.empty()) return refuse(PF_Err_BAD_CALLBACK_PARAM, why);
  for (PF_ParamIndex i = 0; i < count(); ++i) {
    if (at(i).def.uu.id == def.uu.id) {
      return refuse(PF_Err_BAD_CALLBACK_PARAM,
                    "identifier " + std::to_string(def.uu.id) + ", which parameter " + std::to_string(i) + " has");
    }
  }
  // Projects keep values by identifier: a parameter keeps its identifier.
  const std::size_t position = std::size_t(count());
  if (position <= known_.size()) {
    const Known& k = known_[position - 1];
    if (k.id != def.uu.id || k.type != def.param_type) {
      return refuse(PF_Err_BAD_CALLBACK_PARAM, "identifier " + std::to_string(def.uu.id) + " and type " +
                                                   std::to_string(def.param_type) + ", where an earlier setup gave " +
                                                   std::to_string(k.id) + " and " + std::to_string(k.type));
    }
  }
  auto p = std::make_unique<Param>();
  p->def = def;
  p->def.name[sizeof p->def.name - 1] = '\0';
  if (def.param_type == PF_Param_POPUP) {
    // The host keeps its own copy; the effect's text need not outlive the call.
    p->has_choices = true;
    p->choices = def.u.pd.u_names;
    p->def.u.pd.u_names = nullptr;
  }
  p->constant = InitialValue(def);
  params_.push_back(std::move(p));
  return PF_Err_NONE;
}

PF_ParamDef ParamModel::Definition(PF_ParamIndex index) const {
  const Param& p = at(index);
  PF_ParamDef def = p.def;
  if (p.has_choices) def.u.pd.u_names = p.choices.c_str();
  return def;
}

std::string ParamModel::Name(PF_ParamIndex index) const {
  const Param& p = at(index);
  return std::string(p.def.name, strnlen(p.def.name, sizeof p.def.name));
}

void ParamModel::SetValue(PF_ParamIndex index, double value) {
  Param& p = at(index);
  p.keys.clear();
  p.constant = value;
}

void ParamModel::SetKeyframes(PF_ParamIndex index, std::vector<Keyframe> keys) {
  std::stable_sort(keys.begin(), keys.end(),
                   [](const Keyframe& a, const Keyframe& b) { return Seconds(a.time) < Seconds(b.time); });
  at(index).keys = std::move(keys);
}

double ParamModel::ValueAt(PF_ParamIndex index, double seconds) const {
  const Param& p = at(index);
  if (p.keys.empty()) return p.constant;
  if (seconds <= Seconds(p.keys.front().time)) return p.keys.front().value;
  if (seconds >= Seconds(p.keys.back().time)) return p.keys.back().value;
  for (std::size_t i = 1; i < p.keys.size(); ++i) {
    const double t1 = Seconds(p.keys[i].time);
    if (seconds >= t1) continue;
    const double t0 = Seconds(p.keys[i - 1].time);
    const double v0 = p.keys[i - 1].value, v1 = p.keys[i].value;
    if (Steps(p.def.param_type) || t1 <= t0) return v0;
    return v0 + (v1 - v0) * ((seconds - t0) / (t1 - t0));
  }
  return p.keys.back().value;
}

PF_ParamDef ParamModel::DefinitionAt(PF_ParamIndex index, double seconds) const {
  PF_ParamDef def = Definition(index);
  const double v = ValueAt(index, seconds);
  switch (def.param_type) {
    case PF_Param_POPUP:
      def.u.pd.value = A_long(std::lround(v));
      break;
    case PF_Param_ANGLE:
      def.u.ad.value = ToFixed(v);
      break;
    case PF_Param_FIX_SLIDER:
      def.u.fd.value = ToFixed(v);
      break;
    case PF_Param_FLOAT_SLIDER:
      def.u.fs_d.value = v;
      break;
    default:
      break;
  }
  return def;
}

bool ParamModel::Hidden(PF_ParamIndex index) const {
  return (at(index).dynamic_flags & AEGP_DynStreamFlag_HIDDEN) != 0;
}

void ParamModel::SetDynamicFlag(PF_ParamIndex index, A_long flag, bool set) {
  Param& p = at(index);
  p.dynamic_flags = set ? (p.dynamic_flags | flag) : (p.dynamic_flags & ~flag);
}

}  // namespace zelvan::testhost
