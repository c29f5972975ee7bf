#include "FfmpegLog.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

#include <cstdarg>
#include <mutex>

namespace zelvan::render {
namespace {

std::mutex g_log_mutex;
std::string g_last_log;

void KeepLastError(void* avcl, int level, const char* fmt, va_list args) {
  if (level > AV_LOG_ERROR) return;
  char line[512];
  int prefix = 0;
  va_list copy;
  va_copy(copy, args);
  av_log_format_line(avcl, level, fmt, copy, line, sizeof line, &prefix);
  va_end(copy);
  std::string text(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  const std::lock_guard<std::mutex> lock(g_log_mutex);
  g_last_log = text;
}

}  // namespace

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

void QuietLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(KeepLastError); });
}

std::string TakeLastError() {
  const std::lock_guard<std::mutex> lock(g_log_mutex);
  std::string text;
  text.swap(g_last_log);
  return text;
}

}  // namespace zelvan::render
