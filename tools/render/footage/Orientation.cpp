#include "Orientation.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

#include <cmath>
#include <cstddef>

namespace zelvan::render {
namespace {

const int32_t* DisplayMatrix(const AVStream& st) {
#if LIBAVFORMAT_VERSION_INT >= AV_VERSION_INT(60, 15, 100)
  const AVPacketSideData* sd = av_packet_side_data_get(st.codecpar->coded_side_data, st.codecpar->nb_coded_side_data,
                                                       AV_PKT_DATA_DISPLAYMATRIX);
  return sd != nullptr && sd->size >= 9 * sizeof(int32_t) ? reinterpret_cast<const int32_t*>(sd->data) : nullptr;
#else
  std::size_t size = 0;
  const uint8_t* data = av_stream_get_side_data(&st, AV_PKT_DATA_DISPLAYMATRIX, &size);
  return data != nullptr && size >= 9 * sizeof(int32_t) ? reinterpret_cast<const int32_t*>(data) : nullptr;
#endif
}

}  // namespace

Orientation OrientationOf(const AVStream& stream, std::string* odd_angle) {
  const int32_t* m = DisplayMatrix(stream);
  if (m == nullptr) return {};
  const double counterclockwise = std::round(av_display_rotation_get(m));
  // A matrix that scales a side to nothing has no angle (NaN): FFmpeg shows
  // such a picture unturned, and so do we.
  if (!std::isfinite(counterclockwise)) return {};
  const int rotation = static_cast<int>(counterclockwise);
  // The clockwise angle, in [0, 360), as FFmpeg's converter turns by it.
  double theta = -counterclockwise;
  theta -= 360.0 * std::floor(theta / 360.0 + 0.9 / 360.0);
  if (std::fabs(theta - 90.0) < 1.0) {
    return m[3] > 0 ? Orientation{rotation, true, false, false} : Orientation{rotation, true, false, true};
  }
  if (std::fabs(theta - 180.0) < 1.0) return Orientation{rotation, false, m[0] < 0, m[4] < 0};
  if (std::fabs(theta - 270.0) < 1.0) {
    return m[3] < 0 ? Orientation{rotation, true, true, true} : Orientation{rotation, true, true, false};
  }
  if (std::fabs(theta) > 1.0) {
    *odd_angle = std::to_string(rotation);
    return {};
  }
  return Orientation{0, false, false, m[4] < 0};
}

}  // namespace zelvan::render
