// Tasks: the unit of work handed to message loops (MessageLoop.h) and to the
// dynamic thread pool (ThreadPool.h).
//
// Ownership: loops and pools hold tasks through std::shared_ptr. A task posted
// by raw pointer must come from `new`; the posting call adopts it at once, so
// the caller must not touch it again (it may already be destroyed when the
// call returns, for instance when the post was refused). A task posted by
// shared pointer may be kept by the caller and posted several times; in the
// pool it may then run on several workers at once.
//
// Threads: Execute() of a task posted to a loop runs on that loop's run
// thread; in the pool, on any worker.
#pragma once

#include <OskaBase/Export.h>

namespace Oska {
namespace Base {

class OSKABASE_API CTask {
 public:
  CTask() = default;
  CTask(const CTask&) = default;
  CTask& operator=(const CTask&) = default;
  virtual ~CTask();

  // The task's work. Exceptions are not caught by loops or the pool: one that
  // escapes ends the run loop that called it.
  virtual void Execute() = 0;
};

// A task that can be told it is no longer wanted. No loop or pool calls
// Cancel(); queued tasks are never cancelled by the library. It is for the
// caller's own bookkeeping (for instance, a task that checks a flag it sets).
class OSKABASE_API CCancelableTask : public CTask {
 public:
  CCancelableTask() = default;
  CCancelableTask(const CCancelableTask&) = default;
  CCancelableTask& operator=(const CCancelableTask&) = default;
  ~CCancelableTask() override;

  void Execute() override = 0;
  virtual void Cancel() = 0;
};

// A task the loop re-runs at every delayed-task sweep (at most once every
// 100 ms) for as long as it reports IsStillDelay() == true. The loop calls
// Execute() and then, immediately after, IsStillDelay(), both on its run
// thread. The base class never clears still_delay_: a subclass clears it when
// its work is done, and the loop then drops its reference.
//
//   struct Once : CDelayTask { void Execute() override { Work(); still_delay_ = false; } };
class OSKABASE_API CDelayTask : public CTask {
 public:
  CDelayTask() = default;  // still_delay_ == true
  CDelayTask(const CDelayTask&) = default;  // copies still_delay_
  CDelayTask& operator=(const CDelayTask&) = default;
  ~CDelayTask() override;

  void Execute() override = 0;
  virtual bool IsStillDelay();

 protected:
  // Read and cleared by the subclass on the run thread only (a plain bool).
  bool still_delay_ = true;
};

}  // namespace Base
}  // namespace Oska
