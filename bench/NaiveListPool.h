// The simplest pool a user might write instead: one mutex, one list of
// callables, one condition variable signalled on every post, fixed threads.
#pragma once

#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

namespace pool_bench {

class NaiveListPool {
 public:
  explicit NaiveListPool(int threads) {
    for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
  }
  ~NaiveListPool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    cond_.notify_all();
    for (auto& t : workers_) t.join();
  }
  NaiveListPool(const NaiveListPool&) = delete;
  NaiveListPool& operator=(const NaiveListPool&) = delete;

  void Post(std::function<void()> job) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back(std::move(job));
    }
    cond_.notify_one();
  }

 private:
  void Work() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        cond_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
  }

  std::mutex mutex_;
  std::condition_variable cond_;
  std::list<std::function<void()>> jobs_;  // guarded by mutex_
  bool stopping_ = false;                  // guarded by mutex_
  std::vector<std::thread> workers_;
};

}  // namespace pool_bench
