#include "StopSignals.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstring>

namespace zelvan::render {
namespace {

std::atomic<int> g_pending{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch a lock-free atomic");

struct sigaction g_previous_int {};
struct sigaction g_previous_term {};

extern "C" void NoteSignal(int signal) { g_pending.store(signal); }

sigset_t StopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

StopSignals::StopSignals() {
  g_pending.store(0);
  struct sigaction action {};
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  // Reads and writes in progress go on; the run stops at its next check.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &g_previous_int);
  sigaction(SIGTERM, &action, &g_previous_term);
}

StopSignals::~StopSignals() {
  sigaction(SIGINT, &g_previous_int, nullptr);
  sigaction(SIGTERM, &g_previous_term, nullptr);
}

int StopSignals::pending() { return g_pending.load(); }

HoldStopSignals::HoldStopSignals() {
  static_assert(sizeof(sigset_t) <= sizeof(saved_), "room for a signal mask");
  const sigset_t set = StopSet();
  sigset_t old;
  pthread_sigmask(SIG_BLOCK, &set, &old);
  std::memcpy(saved_, &old, sizeof old);
}

HoldStopSignals::~HoldStopSignals() {
  sigset_t old;
  std::memcpy(&old, saved_, sizeof old);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

}  // namespace zelvan::render
