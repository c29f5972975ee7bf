#include "WorkQueue.h"

#include <algorithm>

namespace zelvan::render {

int MachineCores() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

WorkQueue::WorkQueue(int threads, std::size_t limit) : limit_(limit < 1 ? 1 : limit) {
  for (int i = 0; i < (threads < 1 ? 1 : threads); ++i) workers_.emplace_back([this] { Work(); });
}

WorkQueue::~WorkQueue() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    jobs_.clear();
  }
  wake_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void WorkQueue::Submit(std::function<void()> job) {
  std::unique_lock<std::mutex> lock(mutex_);
  room_.wait(lock, [this] { return jobs_.size() < limit_ || failure_; });
  if (failure_) std::rethrow_exception(failure_);
  jobs_.push_back(std::move(job));
  lock.unlock();
  wake_.notify_one();
}

void WorkQueue::Finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  room_.wait(lock, [this] { return (jobs_.empty() && busy_ == 0) || failure_; });
  if (failure_) std::rethrow_exception(failure_);
}

void WorkQueue::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
    if (stop_) return;
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    const bool skip = failure_ != nullptr;
    ++busy_;
    lock.unlock();
    room_.notify_all();
    std::exception_ptr failed;
    if (!skip) {
      try {
        job();
      } catch (...) {
        failed = std::current_exception();
      }
    }
    lock.lock();
    --busy_;
    if (failed && !failure_) failure_ = failed;
    room_.notify_all();
  }
}

}  // namespace zelvan::render
