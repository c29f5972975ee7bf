// What the host learned from the effect's answers to its commands, kept as
// each command returns: about's text, global setup's version, flags and
// global data (handed back at setdown, then forgotten), the parameter count
// parameter setup reported, and the registrations made with the host.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "AE_GeneralPlug.h"

namespace zelvan::testhost {

struct Learned {
  std::string about_text;
  std::optional<A_u_long> version;
  A_long out_flags = 0;
  A_long out_flags2 = 0;
  PF_Handle global_data = nullptr;
  std::optional<A_long> num_params_reported;
  std::map<AEGP_PluginID, std::string> registrations;  // identifier -> name registered
};

}  // namespace zelvan::testhost
