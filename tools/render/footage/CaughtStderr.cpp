#include "CaughtStderr.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <sstream>
#include <vector>

namespace zelvan::render {
namespace {

std::mutex g_one_at_a_time;

}  // namespace

CaughtStderr::CaughtStderr() {
  g_one_at_a_time.lock();
  std::fflush(stderr);
  char name[] = "/tmp/zelvan-render-stderr.XXXXXX";
  caught_ = ::mkstemp(name);
  if (caught_ < 0) return;  // nothing to catch with: the text goes where it went
  ::unlink(name);
  saved_ = ::dup(STDERR_FILENO);
  if (saved_ < 0 || ::dup2(caught_, STDERR_FILENO) < 0) {
    if (saved_ >= 0) ::close(saved_);
    saved_ = -1;
  }
}

CaughtStderr::~CaughtStderr() {
  Take();
  if (caught_ >= 0) ::close(caught_);
  g_one_at_a_time.unlock();
}

std::string CaughtStderr::Take() {
  if (saved_ < 0) return "";
  std::fflush(stderr);
  ::dup2(saved_, STDERR_FILENO);
  ::close(saved_);
  saved_ = -1;
  std::string text;
  char buf[4096];
  if (::lseek(caught_, 0, SEEK_SET) != 0) return text;
  for (ssize_t n; (n = ::read(caught_, buf, sizeof buf)) > 0 && text.size() < 65536;) {
    text.append(buf, static_cast<std::size_t>(n));
  }
  return text;
}

std::string OneLine(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty()) continue;
    bool said = false;
    for (const std::string& l : lines) said = said || l == line;
    if (!said) lines.push_back(line);
  }
  std::string one;
  for (const std::string& l : lines) one += (one.empty() ? "" : "; ") + l;
  return one.empty() ? "unknown reason" : one;
}

}  // namespace zelvan::render
