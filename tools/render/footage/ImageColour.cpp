#include "ImageColour.h"

namespace zelvan::render {
namespace {

// The image library's names of colour spaces, as FFmpeg's primaries and transfers.
struct NamedSpace {
  const char* name;
  AVColorPrimaries primaries;
  AVColorTransferCharacteristic transfer;
};

constexpr NamedSpace kSpaces[] = {
    {"sRGB", AVCOL_PRI_BT709, AVCOL_TRC_IEC61966_2_1},
    {"Linear", AVCOL_PRI_BT709, AVCOL_TRC_LINEAR},
    {"Rec709", AVCOL_PRI_BT709, AVCOL_TRC_BT709},
    // A gamma alone says nothing of the primaries.
    {"Gamma2.2", AVCOL_PRI_UNSPECIFIED, AVCOL_TRC_GAMMA22},
    {"Gamma2.8", AVCOL_PRI_UNSPECIFIED, AVCOL_TRC_GAMMA28},
};

}  // namespace

Colour ImageColour(const std::string& colour_space, int bits) {
  for (const NamedSpace& s : kSpaces) {
    if (colour_space == s.name) return Colour{s.primaries, s.transfer, AVCOL_SPC_RGB, AVCOL_RANGE_JPEG, bits};
  }
  return Colour{AVCOL_PRI_UNSPECIFIED, AVCOL_TRC_UNSPECIFIED, AVCOL_SPC_RGB, AVCOL_RANGE_JPEG, bits};
}

}  // namespace zelvan::render
