// The progress line a long render shows on a terminal: the frame, the rate
// and the time left, at most ten times a second.
#pragma once

#include <chrono>
#include <cstdio>

namespace zelvan::render {

class Progress {
 public:
  // `doing`: "rendering", "reading".
  Progress(int total, bool on, const char* doing = "rendering")
      : total_(total), on_(on), doing_(doing), start_(Clock::now()), last_(start_) {}
  void Update(int done) {
    if (!on_) return;
    const auto now = Clock::now();
    if (done < total_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    const double secs = std::chrono::duration<double>(now - start_).count();
    const double fps = secs > 0 ? done / secs : 0.0;
    const double eta = fps > 0 ? (total_ - done) / fps : 0.0;
    std::fprintf(stderr, "\r%s frame %d/%d  %.1f fps  %.1f s left   ", doing_, done, total_, fps, eta);
    if (done == total_) std::fprintf(stderr, "\n");
    std::fflush(stderr);
  }

 private:
  using Clock = std::chrono::steady_clock;
  int total_;
  bool on_;
  const char* doing_;
  Clock::time_point start_, last_;
};

}  // namespace zelvan::render
