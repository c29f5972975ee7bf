// The arithmetic of a seek callback of FFmpeg's custom I/O, for bytes read
// from memory and for a file being written: the size when asked for it
// (AVSEEK_SIZE), else a move to an offset from the start, the current
// position or the end (SEEK_SET, SEEK_CUR, SEEK_END; AVSEEK_FORCE is only a
// hint). A position before the start is refused; one past the end is
// refused where there is nothing to read there, allowed where a writer
// leaves a hole to fill in later.
#pragma once

#include <cstdint>

namespace zelvan::render::ffmpeg {

enum class PastTheEnd { kRefused, kAllowed };

// What the callback returns: the size, the new position (also stored in
// `position`), or AVERROR(EINVAL) with `position` unchanged.
int64_t AnswerSeek(int64_t offset, int whence, int64_t size, int64_t& position, PastTheEnd past_the_end);

}  // namespace zelvan::render::ffmpeg
