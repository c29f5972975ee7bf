// What a library prints straight to standard error while it runs (libpng
// writes its errors there before the image library reports them), caught in
// a file instead of reaching the terminal, and handed back to be folded
// into our own message. Only one is active at a time; the tool writes to
// standard error from no other thread while footage is read.
#pragma once

#include <string>

namespace zelvan::render {

class CaughtStderr {
 public:
  CaughtStderr();
  ~CaughtStderr();
  CaughtStderr(const CaughtStderr&) = delete;
  CaughtStderr& operator=(const CaughtStderr&) = delete;

  // Puts standard error back and returns what was printed meanwhile.
  std::string Take();

 private:
  int saved_ = -1;  // standard error as it was, -1 once put back
  int caught_ = -1;  // the file that takes its place
};

// A library's error text on one line: its lines joined by "; ", each said
// once, "unknown reason" when there is none.
std::string OneLine(const std::string& text);

}  // namespace zelvan::render
