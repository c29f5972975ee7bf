#include "MovieInput.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <vector>

#include "FfmpegLog.h"
#include "FfmpegSeek.h"

namespace zelvan::render {
namespace {

int ReadMemory(void* opaque, uint8_t* buf, int n) {
  auto& m = *static_cast<MemoryFile*>(opaque);
  const std::size_t take =
      std::min(m.size - static_cast<std::size_t>(m.pos), static_cast<std::size_t>(std::max(n, 0)));
  if (take == 0) return AVERROR_EOF;
  std::memcpy(buf, m.data + m.pos, take);
  m.pos += static_cast<int64_t>(take);
  return static_cast<int>(take);
}

int64_t SeekMemory(void* opaque, int64_t offset, int whence) {
  auto& m = *static_cast<MemoryFile*>(opaque);
  // Nothing lies past the end of the bytes to read.
  return ffmpeg::AnswerSeek(offset, whence, static_cast<int64_t>(m.size), m.pos, ffmpeg::PastTheEnd::kRefused);
}

// Reads through `input.io` from the bytes in memory, which `raw` is set up
// to use; frees `raw` when that fails.
void ReadFromMemory(const FootageSource& source, MovieInput& input, AVFormatContext* raw) {
  input.memory = std::make_unique<MemoryFile>(MemoryFile{source.data, source.size, 0});
  constexpr int kBuffer = 1 << 15;
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBuffer));
  if (buffer == nullptr) {
    avformat_free_context(raw);
    throw std::bad_alloc();
  }
  input.io.reset(avio_alloc_context(buffer, kBuffer, 0, input.memory.get(), ReadMemory, nullptr, SeekMemory));
  if (!input.io) {
    av_free(buffer);
    avformat_free_context(raw);
    throw std::bad_alloc();
  }
  raw->pb = input.io.get();
  raw->flags |= AVFMT_FLAG_CUSTOM_IO;
}

}  // namespace

bool OpenMovieInput(const FootageSource& source, MovieInput& input, std::string* error) {
  QuietLog();
  AVFormatContext* raw = avformat_alloc_context();
  if (raw == nullptr) throw std::bad_alloc();
  std::string url = source.name;
  if (source.in_memory) {
    ReadFromMemory(source, input, raw);
  } else {
    // "file:" keeps a path with a colon in it a local file.
    url = "file:" + source.name;
  }
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", source.in_memory ? "none" : "file", 0);
  const int r = avformat_open_input(&raw, url.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (r < 0) {
    // avformat_open_input has freed the context; the custom I/O stays ours.
    if (error != nullptr) {
      const std::string log = TakeLastError();
      *error = log.empty() ? AvError(r) : log;
    }
    return false;
  }
  input.fmt.reset(raw);
  const int s = avformat_find_stream_info(input.fmt.get(), nullptr);
  if (s < 0) {
    if (error != nullptr) *error = AvError(s);
    input.fmt.reset();
    return false;
  }
  return true;
}

bool IsStillFormat(const char* name) {
  const std::string n = name == nullptr ? "" : name;
  return n == "image2" || n == "image2pipe" ||
         (n.size() > 5 && n.compare(n.size() - 5, 5, "_pipe") == 0);
}

const AVInputFormat* ProbedMovieFormat(const FootageSource& source) {
  std::vector<unsigned char> head(4096 + AVPROBE_PADDING_SIZE, 0);
  std::size_t n = 0;
  if (source.in_memory) {
    n = std::min<std::size_t>(4096, source.size);
    if (n > 0) std::memcpy(head.data(), source.data, n);
  } else if (FILE* f = std::fopen(source.name.c_str(), "rb")) {
    n = std::fread(head.data(), 1, 4096, f);
    std::fclose(f);
  }
  AVProbeData probe{};
  probe.filename = "";  // by content alone: a wrong extension must not decide
  probe.buf = head.data();
  probe.buf_size = static_cast<int>(n);
  int score = 0;
  const AVInputFormat* format = av_probe_input_format3(&probe, 1, &score);
  if (format == nullptr || score <= AVPROBE_SCORE_EXTENSION || IsStillFormat(format->name)) return nullptr;
  return format;
}

bool EmptySource(const FootageSource& source) {
  if (source.in_memory) return source.size == 0;
  std::error_code ec;
  return std::filesystem::is_regular_file(source.name, ec) && std::filesystem::file_size(source.name, ec) == 0 && !ec;
}

}  // namespace zelvan::render
