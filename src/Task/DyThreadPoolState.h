// The state of one started CMessageLoopDyThreadPool and the record of each of
// its workers. Private to the pool: Start() creates the state, Stop() joins
// every worker and destroys it.
#pragma once

#include <OskaBase/Task.h>

#include <boost/thread/thread.hpp>

#include <atomic>
#include <condition_variable>
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
};

struct CDyThreadPoolState {
  using TaskList = std::list<std::shared_ptr<CTask>>;

  CDyThreadPoolState(std::int32_t min_threads, std::int32_t max_threads,
                     std::int32_t tasks_per_thread)
      : min_threads_(min_threads), max_threads_(max_threads), tasks_per_thread_(tasks_per_thread) {}

  const std::int32_t min_threads_;       // the floor, 1..1024
  const std::int32_t max_threads_;       // the ceiling, 1..1024
  const std::int32_t tasks_per_thread_;  // the growth load factor, as given
  std::atomic<std::int32_t> thread_count_{0};  // live workers
  std::atomic<std::int32_t> busy_count_{0};    // workers inside Execute()
  std::atomic<bool> stopping_{false};          // written under task_mutex_

  std::mutex task_mutex_;
  TaskList tasks_;  // guarded by task_mutex_; ordinary at the back, priority at the front
  std::condition_variable task_cond_;  // workers wait here for tasks
  std::condition_variable done_cond_;  // Stop() waits here: a task finished or a worker retired

  std::mutex retired_mutex_;  // taken alone or inside task_mutex_, never around it
  std::list<CThreadWrap*> retired_threads_;  // guarded by retired_mutex_

  // The size of tasks_, mirrored for readers without the lock.
  std::atomic<std::int32_t> task_count_{0};
  // The size of retired_threads_, so a worker skips the reaper's mutex when
  // nothing waits to be joined (the common case).
  std::atomic<std::int32_t> retired_count_{0};

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
  // Threads waiting on done_cond_ (Stop). Workers signal it after a task only
  // when someone waits. Incremented under task_mutex_ before the wait, so a
  // worker that takes a task after the waiter began to wait sees it.
  std::atomic<std::int32_t> done_waiters_{0};
};

}  // namespace Base
}  // namespace Oska
