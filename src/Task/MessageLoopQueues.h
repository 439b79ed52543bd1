// The queue set of one message loop: the incoming queues that posting threads
// fill, the run thread's own batch and held delayed tasks, and the wake-up
// handshake between them. Private to the loop; CMessageLoopBase owns it.
#pragma once

#include <OskaBase/Task.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

namespace Oska {
namespace Base {

class CMessageLoopQueues {
 public:
  using TaskQueue = std::deque<std::shared_ptr<CTask>>;
  using DelayQueue = std::deque<std::shared_ptr<CDelayTask>>;

  // Wakes the run thread if it sleeps or is about to: the posting side of the
  // handshake below. Cheap when the run thread is awake (one atomic load).
  void WakeIfSleeping() {
    if (sleeping_.load(std::memory_order_seq_cst)) Wake();
  }

  // Wakes the run thread unconditionally; a wake-up sent while it is awake is
  // kept and makes its next wait return at once.
  void Wake() {
    {
      std::lock_guard<std::mutex> lock(wake_mutex_);
      wake_pending_ = true;
    }
    wake_cond_.notify_all();
  }

  // Called by the run thread, with `wait_lock` (the loop's wait_mutex_) held,
  // when its batch is empty. Sleeps until a wake-up or until `timeout` has
  // passed on the monotonic clock, releasing wait_lock meanwhile.
  //
  // No wake-up is lost: the run thread announces that it is going to sleep
  // (sleeping_) before it looks at the incoming queues under their mutexes,
  // and a poster reads sleeping_ after it has pushed under the same mutex. So
  // either the run thread sees the new task and does not sleep, or the poster
  // sees sleeping_ and sets wake_pending_, which the wait tests under
  // wake_mutex_. Posters never touch wait_mutex_.
  void SleepUnlessWork(std::unique_lock<std::mutex>& wait_lock, std::chrono::milliseconds timeout,
                       const std::atomic<bool>& quit) {
    sleeping_.store(true, std::memory_order_seq_cst);
    if (HasIncomingWork() || quit.load()) {
      sleeping_.store(false, std::memory_order_relaxed);
      return;
    }
    wait_lock.unlock();
    {
      std::unique_lock<std::mutex> lock(wake_mutex_);
      wake_cond_.wait_for(lock, timeout, [this] { return wake_pending_; });
      wake_pending_ = false;
    }
    sleeping_.store(false, std::memory_order_relaxed);
    wait_lock.lock();
  }

  bool HasIncomingWork() {
    {
      std::lock_guard<std::mutex> lock(queue_mutex_);
      if (!work_queue_.empty()) return true;
    }
    // seq_cst pairs with the poster's store of priority_size_ and its load of
    // sleeping_: one of the two sides sees the other.
    return priority_size_.load() != 0;
  }

  TaskQueue work_queue_;    // guarded by queue_mutex_
  DelayQueue delay_queue_;  // guarded by queue_mutex_
  std::mutex queue_mutex_;

  TaskQueue run_work_queue_;         // run thread only
  DelayQueue run_delay_queue_;       // run thread only
  std::atomic<std::uint32_t> run_work_count_{0};
  std::atomic<std::uint32_t> run_delay_count_{0};
  std::int64_t last_sweep_ms_ = 0;   // run thread only

  TaskQueue priority_queue_;  // guarded by priority_mutex_
  std::mutex priority_mutex_;
  // Size of priority_queue_, written under priority_mutex_ (seq_cst), so the
  // run thread can skip the mutex when there is nothing to do (the common
  // case) and the sleep handshake covers priority posts too.
  std::atomic<std::uint32_t> priority_size_{0};

  std::condition_variable wake_cond_;
  std::atomic<std::uint32_t> run_thread_id_{0};

 private:
  std::mutex wake_mutex_;
  bool wake_pending_ = false;  // guarded by wake_mutex_
  std::atomic<bool> sleeping_{false};
};

}  // namespace Base
}  // namespace Oska
