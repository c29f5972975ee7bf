// Where a muxer's bytes go: the checked file, written at the offsets the
// muxer seeks to (it goes back to fill in sizes and indexes). A muxer that
// moves its data to put the index first (an .mp4's faststart) reads the file
// back meanwhile: it opens the file's own path, which first gets every byte
// written so far.
#pragma once

#include <cstdint>
#include <string>

#include "FfmpegPtr.h"
#include "OutputFile.h"

namespace zelvan::render {

class MovieSink {
 public:
  // Creates the file at `path`; messages name it `shown`. Throws WriteError.
  MovieSink(const std::string& path, const std::string& shown);
  MovieSink(const MovieSink&) = delete;
  MovieSink& operator=(const MovieSink&) = delete;

  // Makes the container write here (its I/O, the path it reads back).
  void Attach(AVFormatContext& fmt);
  // Writes out what the I/O holds; its error code, 0 when none.
  int Flush();
  OutputFile& file() { return file_; }

 private:
  static int Write(void* opaque, const uint8_t* buf, int size);
  static int64_t Seek(void* opaque, int64_t offset, int whence);
  static int OpenToRead(AVFormatContext* fmt, AVIOContext** pb, const char* url, int flags, AVDictionary** options);

  std::string path_;
  OutputFile file_;
  uint64_t pos_ = 0;
  ffmpeg::IoPtr io_;
};

}  // namespace zelvan::render
