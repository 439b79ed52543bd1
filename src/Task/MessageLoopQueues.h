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
#if defined(_MSC_VER)
#include <intrin.h>
#endif

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
    if (SpinForIncoming()) return;
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

  // Posters raise this hint after every push; the run thread lowers it when
  // it takes the incoming queue. Only a hint: the sleep handshake above is
  // what guarantees that nothing is missed.
  void NoteIncoming() { incoming_hint_.store(true, std::memory_order_release); }
  void ClearIncomingHint() { incoming_hint_.store(false, std::memory_order_relaxed); }

  // Watches the hint for a few microseconds before the run thread commits to
  // sleeping. A producer that keeps posting then never pays for a wake-up
  // system call, and the run thread stays on the processor. Bounded, so an
  // idle loop goes to sleep almost at once.
  bool SpinForIncoming() {
    for (int i = 0; i < kSpinRounds; ++i) {
      if (incoming_hint_.load(std::memory_order_acquire)) return true;
      CpuRelax();
    }
    return false;
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
  static constexpr int kSpinRounds = 256;

  static void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(_M_X64) || defined(_M_IX86)
    _mm_pause();
#else
    std::atomic_signal_fence(std::memory_order_seq_cst);
#endif
  }

  std::atomic<bool> incoming_hint_{false};
  std::mutex wake_mutex_;
  bool wake_pending_ = false;  // guarded by wake_mutex_
  std::atomic<bool> sleeping_{false};
};

}  // namespace Base
}  // namespace Oska
