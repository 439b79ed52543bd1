// The state of a started CMessageLoopDyThreadPool and the record of each of
// its workers. Private to the pool. Start() fills the state in (the pool keeps
// one state object for its whole life and rebuilds it at each Start(), so
// callers racing a Stop() never meet freed memory); Stop() joins every worker,
// releases every queued task and leaves the state stopping until the next
// Start().
#pragma once

#include <OskaBase/Task.h>

#include "Task/TaskNodePool.h"

#include <boost/thread/thread.hpp>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>

namespace Oska {
namespace Base {

class CMessageLoopDyThreadPool;

// One worker. Created by the pool and handed to the worker's thread body;
// freed by DoRemoveThread() once its thread has been joined.
struct CThreadWrap {
  explicit CThreadWrap(CMessageLoopDyThreadPool* pool) : pool_(pool), retire_node_(1, this) {}

  CMessageLoopDyThreadPool* pool_;
  // Assigned by the creator under task_mutex_; the body does not run a step
  // before it can take that mutex, so it never sees the thread half-assigned.
  boost::thread thread_;
  // The record's own entry for retired_threads_, allocated with the record,
  // so that retiring a worker cannot fail for lack of memory.
  std::list<CThreadWrap*> retire_node_;
  // Whether this worker is counted in busy_count_; its own thread only.
  bool busy_ = false;
};

// The fields are grouped by who writes them, one cache line a group, so that
// what every post reads without the lock (limits, worker count, stopping_)
// stays shared in every core's cache: the limits and worker count; the flags
// and waiter counts; everything the holder of task_mutex_ changes; the
// condition variables; the reaper's list. The state's fields keep the order
// in which the pool's design lists them, except busy_count_, which lives with
// the mutex that guards its changes.
struct CDyThreadPoolState {
  using TaskList = std::list<std::shared_ptr<CTask>, CTaskNodeAllocator<std::shared_ptr<CTask>>>;
  static constexpr std::size_t kLine = 64;
  // Node slabs kept when the list empties, for the next burst (about 500
  // nodes each).
  static constexpr std::size_t kKeptSlabs = 2;

  CDyThreadPoolState() : tasks_(CTaskNodeAllocator<std::shared_ptr<CTask>>(&node_pool_)) {}

  // The limits are set by Start() under task_mutex_ and read anywhere.
  alignas(kLine) std::atomic<std::int32_t> min_threads_{1};       // the floor, 1..1024
  std::atomic<std::int32_t> max_threads_{1};                      // the ceiling, 1..1024
  std::atomic<std::int32_t> tasks_per_thread_{1};                 // the growth load factor, as given
  std::atomic<std::int32_t> thread_count_{0};                     // live workers
  alignas(kLine) std::atomic<bool> stopping_{false};  // written under task_mutex_
  // The size of retired_threads_, so a worker skips the reaper's mutex when
  // nothing waits to be joined (the common case).
  std::atomic<std::int32_t> retired_count_{0};
  // Threads waiting on done_cond_ (Stop). Workers signal it after a task only
  // when someone waits. Incremented under task_mutex_ before the wait, so a
  // worker that takes a task after the waiter began to wait sees it.
  std::atomic<std::int32_t> done_waiters_{0};

  // Only the holder of task_mutex_ touches this group (except the relaxed
  // read of task_count_), so it travels with the mutex from core to core.
  alignas(kLine) std::mutex task_mutex_;
  CTaskNodePool node_pool_;  // guarded by task_mutex_; declared before the list it serves
  TaskList tasks_;  // guarded by task_mutex_; ordinary at the back, priority at the front
  // The size of tasks_, written under task_mutex_, mirrored for readers
  // without the lock.
  std::atomic<std::int32_t> task_count_{0};
  // Workers executing a task. Changed only under task_mutex_, so without
  // read-modify-write instructions: a worker is counted when it takes a task
  // and uncounted when it next holds the mutex (to take the next task, to
  // wait, or to end), a moment after its task has returned. The growth rule
  // reads it under the same mutex.
  std::atomic<std::int32_t> busy_count_{0};

  // The wake-up handshake. A worker counts itself in idle_waiters_ before it
  // waits on task_cond_ and out after, both under task_mutex_. A post, under
  // the same mutex, signals only when some waiter is not already being woken
  // by an earlier post (idle_waiters_ > wakes_pending_), so a post that finds
  // every worker busy makes no system call, and a burst of posts against one
  // sleeper signals it once. A waking worker takes one pending wake with it
  // (whatever woke it: it looks at the queue either way), so wakes_pending_
  // never exceeds idle_waiters_ and an idle worker with work queued always
  // has a signal on its way.
  std::int32_t idle_waiters_ = 0;   // guarded by task_mutex_
  std::int32_t wakes_pending_ = 0;  // guarded by task_mutex_

  alignas(kLine) std::condition_variable task_cond_;  // workers wait here for tasks
  std::condition_variable done_cond_;  // Stop() waits here: a task finished or a worker retired

  alignas(kLine) std::mutex retired_mutex_;  // taken alone or inside task_mutex_, never around it
  std::list<CThreadWrap*> retired_threads_;  // guarded by retired_mutex_
};

}  // namespace Base
}  // namespace Oska
