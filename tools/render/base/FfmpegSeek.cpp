#include "FfmpegSeek.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
}

#include <cerrno>
#include <cstdio>
#include <limits>

namespace zelvan::render::ffmpeg {

int64_t AnswerSeek(int64_t offset, int whence, int64_t size, int64_t& position, PastTheEnd past_the_end) {
  if ((whence & AVSEEK_SIZE) != 0) return size;
  whence &= ~AVSEEK_FORCE;
  const int64_t base = whence == SEEK_SET   ? 0
                       : whence == SEEK_CUR ? position
                       : whence == SEEK_END ? size
                                            : -1;
  if (base < 0 || offset < -base || offset > std::numeric_limits<int64_t>::max() - base) return AVERROR(EINVAL);
  if (past_the_end == PastTheEnd::kRefused && offset > size - base) return AVERROR(EINVAL);
  position = base + offset;
  return position;
}

}  // namespace zelvan::render::ffmpeg
