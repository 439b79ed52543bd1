// The thread record behind CSingleBaseThread and CSingleBaseThreadNoAssert:
// one worker thread, the mutex the worker holds while it works, the condition
// variable it pauses on, the stop flag and the interval. The two public
// classes differ only in their base class, so they share this record and its
// worker loop.
#pragma once

#include <boost/thread/thread.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace Oska {
namespace Base {
namespace details {

class CSingleThreadImpl {
 public:
  CSingleThreadImpl();
  CSingleThreadImpl(const CSingleThreadImpl&) = delete;
  CSingleThreadImpl& operator=(const CSingleThreadImpl&) = delete;
  // Joins nothing: the owner's destructor calls Retire() first.
  ~CSingleThreadImpl();

  // The public classes' BeginThread: `thread_body` runs on the new worker and
  // is expected to call RunLoop.
  bool Begin(int interval_ms, std::function<void()> thread_body);
  // EndThread.
  void End();
  // WakeupOnce.
  void Wakeup();
  // The destructor's work: ends a worker that still runs, or collects one
  // that has ended by itself.
  void Retire();

  // The worker loop, on the worker thread; `run_once` is the subclass's
  // RunOnce.
  template <class RunOnceFn>
  void RunLoop(RunOnceFn run_once) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_.load()) {
      if (!run_once()) break;
      if (interval_ms_ == 0) continue;
      if (stop_.load()) continue;
      // Whether it timed out, was woken or returned spuriously, the loop
      // runs again unless told to stop.
      wake_->wait_for(lock, std::chrono::milliseconds(interval_ms_));
    }
  }

 private:
  // true: the worker must end. Set and cleared without the mutex.
  std::atomic<bool> stop_;
  boost::thread thread_;
  // Held by the worker for its whole loop except while it pauses.
  std::mutex mutex_;
  // Null between End() and the next Begin(). Stable for the whole life of a
  // worker: created before it starts, destroyed after it is joined.
  std::unique_ptr<std::condition_variable> wake_;
  // Written by Begin() before the worker starts; read only by the worker.
  std::int64_t interval_ms_;
};

}  // namespace details
}  // namespace Base
}  // namespace Oska
