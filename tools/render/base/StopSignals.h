// Ctrl-C (SIGINT) and SIGTERM ask a run to stop. The handler only notes the
// signal; the run looks between frames and between writes and cleans up in
// ordinary code, so nothing unsafe runs inside the handler.
#pragma once

namespace zelvan::render {

class StopSignals {
 public:
  // Installs the handlers; the destructor puts the previous ones back.
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The signal received since, 0 when none.
  static int pending();
  // The exit status of a run stopped by that signal: 130 for SIGINT, 143 for SIGTERM.
  static constexpr int ExitStatus(int signal) { return 128 + signal; }
};

// Holds the two signals back in the calling thread while alive: a run that
// is moving its files into place finishes doing so.
class HoldStopSignals {
 public:
  HoldStopSignals();
  ~HoldStopSignals();
  HoldStopSignals(const HoldStopSignals&) = delete;
  HoldStopSignals& operator=(const HoldStopSignals&) = delete;

 private:
  unsigned char saved_[128];  // the previous signal mask (sigset_t)
};

}  // namespace zelvan::render
