// Jobs run by worker threads while the caller goes on: at most `limit` wait
// (the caller waits beyond that), and with one worker they run in the order
// given. The first job that fails is kept and rethrown to the caller; the
// jobs after it are skipped, as the run is failing anyway.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zelvan::render {

// The machine's cores, at least 1: how many threads keep it busy.
int MachineCores();

class WorkQueue {
 public:
  // threads >= 1 and limit >= 1 (smaller values count as 1).
  WorkQueue(int threads, std::size_t limit);
  // Stops the workers; jobs still waiting are dropped.
  ~WorkQueue();
  WorkQueue(const WorkQueue&) = delete;
  WorkQueue& operator=(const WorkQueue&) = delete;

  // Rethrows the failure of an earlier job.
  void Submit(std::function<void()> job);
  // Waits until every job has run; rethrows the first failure.
  void Finish();

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable wake_;  // workers: a job, or stop
  std::condition_variable room_;  // the caller: room in the queue, all done, or a failure
  std::deque<std::function<void()>> jobs_;
  std::size_t limit_;
  int busy_ = 0;
  bool stop_ = false;
  std::exception_ptr failure_;
  std::vector<std::thread> workers_;
};

}  // namespace zelvan::render
