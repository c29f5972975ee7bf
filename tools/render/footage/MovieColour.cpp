#include "MovieColour.h"

extern "C" {
#include <libavcodec/codec_par.h>
#include <libavutil/pixdesc.h>
}

namespace zelvan::render {
namespace {

// A transfer whose values a render shows as stored, and how they look so.
struct UnshownTransfer {
  AVColorTransferCharacteristic transfer;
  const char* called;  // for people
  const char* looks;
};

constexpr UnshownTransfer kUnshown[] = {
    {AVCOL_TRC_SMPTE2084, "PQ", "flat and dim, its whites grey"},
    {AVCOL_TRC_ARIB_STD_B67, "HLG", "a little flat and dim, its highlights dull"},
};

// Tone-maps to BT.709 through zimg, as FFmpeg's own filters do it.
constexpr const char* kToneMap =
    "ffmpeg -i IN -vf zscale=t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,tonemap=hable:desat=0,"
    "zscale=t=bt709:m=bt709:r=tv,format=yuv420p OUT";

}  // namespace

Colour ColourOf(const AVCodecParameters& stream) {
  Colour c;
  c.primaries = stream.color_primaries;
  c.transfer = stream.color_trc;
  c.matrix = stream.color_space;
  c.range = stream.color_range;
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(stream.format));
  if (d == nullptr) return c;
  c.bits = d->comp[0].depth;
  if ((d->flags & AV_PIX_FMT_FLAG_RGB) != 0) {
    c.matrix = AVCOL_SPC_RGB;
    c.range = AVCOL_RANGE_JPEG;
  }
  return c;
}

std::string ColourWarning(const std::string& path, const Colour& colour) {
  for (const UnshownTransfer& u : kUnshown) {
    if (u.transfer != colour.transfer) continue;
    const std::string called = u.called;
    return path + ": its transfer is " + called + " (HDR, " + av_color_transfer_name(u.transfer) +
           "), which a render cannot show: " + called + "'s values are shown as they are stored, so the picture "
           "looks " + u.looks + (colour.primaries == AVCOL_PRI_BT2020 ? ", its BT.2020 colours muted" : "") +
           " (report.json: source.transfer). To see it as a player shows it, tone-map it first, e.g. " + kToneMap;
  }
  return "";
}

}  // namespace zelvan::render
