// A picture's colour in FFmpeg's own terms: its primaries, transfer, matrix
// and range as FFmpeg's enums (and so its names) give them, and the bits of
// a channel as stored. Unspecified, and 0 bits, where it is not known. The
// footage readers fill it in, the report names it, the movie is tagged by it.
#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace zelvan::render {

struct Colour {
  AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
  AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
  AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;  // AVCOL_SPC_RGB for pictures stored as RGB
  AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
  int bits = 0;
};

}  // namespace zelvan::render
