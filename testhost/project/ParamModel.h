// The effect's parameters as the host keeps them: the definitions the effect
// added (the host's own copies), their values over time, constant or
// keyframed, and the dynamic flags of their streams.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "AE_Effect.h"

namespace zelvan::testhost {

struct Keyframe {
  A_Time time;   // in the effect layer's time
  double value;  // in the parameter's user units (see ParamModel::SetValue)
};

class ParamModel {
 public:
  struct Param {
    PF_ParamDef def{};        // as added; u.pd.u_names is not kept here
    bool has_choices = false;
    std::string choices;      // the host's copy of a popup's choices text
    double constant = 0.0;    // the value when there are no keyframes
    std::vector<Keyframe> keys;  // sorted by time; linear between keys, held for popups and layers
    A_long dynamic_flags = 0;    // AEGP_DynStreamFlag_* of the parameter's stream
  };

  // Index 0, the input layer, exists from the start.
  ParamModel();

  // Appends a copy of def (index must be -1 or the next index); 0 or a host
  // error code for a definition the host cannot take, with the reason in
  // *problem: a popup whose choice count is not the number of its choices,
  // a default outside its range, a slider range outside the valid range, an
  // identifier another parameter has, or one that differs from what an
  // earlier parameter setup gave the same parameter.
  PF_Err Add(PF_ParamIndex index, const PF_ParamDef& def, std::string* problem = nullptr);
  // A new parameter setup: the parameters are declared afresh, and must keep
  // the identifiers and types they were declared with before.
  void BeginSetup();

  // Including the input layer at index 0.
  A_long count() const { return A_long(params_.size()); }
  bool Valid(PF_ParamIndex index) const { return index >= 0 && index < count(); }
  const Param& at(PF_ParamIndex index) const { return *params_.at(std::size_t(index)); }
  Param& at(PF_ParamIndex index) { return *params_.at(std::size_t(index)); }

  // The definition as the effect added it, with the host's choices text.
  PF_ParamDef Definition(PF_ParamIndex index) const;
  std::string Name(PF_ParamIndex index) const;
  std::string Choices(PF_ParamIndex index) const { return at(index).choices; }

  // Values in user units: popup code, degrees for an angle, the slider's own
  // units for fixed sliders (100.0 is 100 %, stored as 6553600), seconds or
  // whatever a float slider shows, a layer identifier for layer parameters.
  void SetValue(PF_ParamIndex index, double value);
  void SetKeyframes(PF_ParamIndex index, std::vector<Keyframe> keys);
  double ValueAt(PF_ParamIndex index, double seconds) const;
  // The definition with its value at that time filled in (layer pixels are
  // the caller's to fill).
  PF_ParamDef DefinitionAt(PF_ParamIndex index, double seconds) const;

  bool Hidden(PF_ParamIndex index) const;
  void SetDynamicFlag(PF_ParamIndex index, A_long flag, bool set);

 private:
  struct Known {
    A_long id;
    PF_ParamType type;
  };
  std::vector<std::unique_ptr<Param>> params_;  // stable addresses for the choices text
  std::vector<Known> known_;                    // by index, from earlier setups
};

// 16.16 fixed point, rounded to nearest and saturated.
PF_Fixed ToFixed(double value);
double FromFixed(PF_Fixed value);

}  // namespace zelvan::testhost
