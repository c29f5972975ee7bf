#include "FlagNames.h"

#include <cstdint>

#include "AE_Effect.h"

namespace zelvan::testhost {
namespace {

struct Named {
  A_long bit;
  const char* name;
};

std::vector<std::string> Names(A_long flags, const Named* table, std::size_t count) {
  std::vector<std::string> out;
  for (int bit = 0; bit < 32; ++bit) {
    const auto mask = A_long(uint32_t(1) << bit);
    if ((flags & mask) == 0) continue;
    std::string name = "bit " + std::to_string(bit);
    for (std::size_t i = 0; i < count; ++i) {
      if (table[i].bit == mask) name = table[i].name;
    }
    out.push_back(name);
  }
  return out;
}

}  // namespace

std::vector<std::string> OutFlagNames(A_long flags) {
  static const Named kNames[] = {
      {PF_OutFlag_DISPLAY_ERROR_MESSAGE, "DISPLAY_ERROR_MESSAGE"},
      {PF_OutFlag_REFRESH_UI, "REFRESH_UI"},
      {PF_OutFlag_DEEP_COLOR_AWARE, "DEEP_COLOR_AWARE"},
      {PF_OutFlag_SEND_UPDATE_PARAMS_UI, "SEND_UPDATE_PARAMS_UI"},
  };
  return Names(flags, kNames, sizeof kNames / sizeof kNames[0]);
}

std::vector<std::string> OutFlag2Names(A_long flags) {
  static const Named kNames[] = {
      {PF_OutFlag2_SUPPORTS_SMART_RENDER, "SUPPORTS_SMART_RENDER"},
      {PF_OutFlag2_FLOAT_COLOR_AWARE, "FLOAT_COLOR_AWARE"},
  };
  return Names(flags, kNames, sizeof kNames / sizeof kNames[0]);
}

}  // namespace zelvan::testhost
