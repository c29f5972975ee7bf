#include "MovieSink.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <new>

#include "FfmpegSeek.h"

namespace zelvan::render {

MovieSink::MovieSink(const std::string& path, const std::string& shown) : path_(path), file_(path, shown) {}

int MovieSink::Write(void* opaque, const uint8_t* buf, int size) {
  auto& s = *static_cast<MovieSink*>(opaque);
  const std::size_t n = s.file_.WriteAt(buf, static_cast<std::size_t>(size), s.pos_);
  s.pos_ += n;
  // The file keeps the cause; the encoder reports it when the muxer fails.
  return n == static_cast<std::size_t>(size) ? size : AVERROR(EIO);
}

int64_t MovieSink::Seek(void* opaque, int64_t offset, int whence) {
  auto& s = *static_cast<MovieSink*>(opaque);
  // The muxer may seek past what it has written: a write there extends the file.
  auto pos = static_cast<int64_t>(s.pos_);
  const int64_t r =
      ffmpeg::AnswerSeek(offset, whence, static_cast<int64_t>(s.file_.size()), pos, ffmpeg::PastTheEnd::kAllowed);
  s.pos_ = static_cast<uint64_t>(pos);
  return r;
}

// The muxer reads back only the file it writes, and only to read.
int MovieSink::OpenToRead(AVFormatContext* fmt, AVIOContext** pb, const char* url, int flags,
                          AVDictionary** options) {
  auto& s = *static_cast<MovieSink*>(fmt->opaque);
  if ((flags & AVIO_FLAG_WRITE) != 0 || url == nullptr || s.path_ != url) return AVERROR(EPERM);
  if (!s.file_.Flush()) return AVERROR(EIO);
  return avio_open2(pb, ("file:" + s.path_).c_str(), AVIO_FLAG_READ, &fmt->interrupt_callback, options);
}

void MovieSink::Attach(AVFormatContext& fmt) {
  constexpr int kIoBuffer = 1 << 16;
  auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBuffer));
  if (buffer == nullptr) throw std::bad_alloc();
#if LIBAVFORMAT_VERSION_MAJOR >= 61
  io_.reset(avio_alloc_context(buffer, kIoBuffer, 1, this, nullptr, Write, Seek));
#else
  // Older FFmpeg declares the write callback's buffer without const.
  auto write = [](void* opaque, uint8_t* buf, int size) { return Write(opaque, buf, size); };
  io_.reset(avio_alloc_context(buffer, kIoBuffer, 1, this, nullptr, write, Seek));
#endif
  if (!io_) {
    av_free(buffer);
    throw std::bad_alloc();
  }
  fmt.pb = io_.get();
  av_free(fmt.url);
  fmt.url = av_strdup(path_.c_str());
  if (fmt.url == nullptr) throw std::bad_alloc();
  fmt.opaque = this;
  fmt.io_open = OpenToRead;
}

int MovieSink::Flush() {
  avio_flush(io_.get());
  return io_->error;
}

}  // namespace zelvan::render
