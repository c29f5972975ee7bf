// A movie's container opened through FFmpeg's libraries, from its file or
// from bytes in memory (read through FFmpeg's custom I/O), and what its first
// bytes say before it opens. Only the file itself is read: a playlist or a
// reference inside it opens no other file, and never the network.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "FfmpegPtr.h"
#include "FootageSource.h"

namespace zelvan::render {

// Bytes in memory and where FFmpeg's reads stand in them.
struct MemoryFile {
  const unsigned char* data = nullptr;
  std::size_t size = 0;
  int64_t pos = 0;
};

// The format context and, for bytes in memory, the I/O it reads through
// (which must outlive it).
struct MovieInput {
  std::unique_ptr<MemoryFile> memory;
  ffmpeg::IoPtr io;
  ffmpeg::InputPtr fmt;
};

// Opens the container and reads its streams' parameters; on failure returns
// false with FFmpeg's reason in `error` (when not null).
bool OpenMovieInput(const FootageSource& source, MovieInput& input, std::string* error);

// Formats that FFmpeg reads as one picture: those go to the image library.
bool IsStillFormat(const char* name);

// The container FFmpeg's probe sees in the first bytes, when it is sure of
// it (null for anything else): a movie that then fails to open is damaged.
const AVInputFormat* ProbedMovieFormat(const FootageSource& source);

// A file of no bytes (an export that did not finish).
bool EmptySource(const FootageSource& source);

}  // namespace zelvan::render
