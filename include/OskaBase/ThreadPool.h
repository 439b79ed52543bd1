// CMessageLoopDyThreadPool: runs tasks (Task.h) on a set of worker threads
// whose number follows the load.
//
//  - Start(floor, ceiling, tasksPerThread) starts `floor` workers.
//  - A post adds a worker, up to the ceiling, when the tasks being executed
//    plus those queued outnumber what the current workers are expected to
//    carry: busy + queued > tasksPerThread * workers, in signed arithmetic.
//    A worker counts as busy from taking a task until it next holds the
//    queue's lock, a moment after the task has returned.
//  - A worker above the floor that finds no work for one second (measured on
//    the system clock) retires; the pool never shrinks below the floor.
//    Workers at or below the floor sleep without a time limit and cost
//    nothing while idle. Retired workers are joined by the other workers or
//    by Stop().
//
//   Start(1, 4, 2), tasks that block, each worker taking one before the next
//   post: after posts 1..5 GetThreadNum() is 1, 1, 2, 2, 3.
//
// Unlike a message loop there is no ordering across workers, no delayed task,
// and posting returns nothing. Ordinary tasks are queued at the back and
// priority tasks at the front; workers take from the front, so priority tasks
// are taken before every ordinary task still queued, the latest priority post
// first:
//
//   pool.PostTask(a); pool.PostPriorityTask(b); pool.PostPriorityTask(c);
//   // on a busy pool the next three tasks taken are c, b, a.
//
// Wake-ups: a post wakes one sleeping worker if some worker sleeps and no
// earlier post is already waking it; a post that finds every worker busy
// makes no system call. No wake-up is lost: a task queued while a worker
// sleeps always wakes one.
//
// Ownership: the pool owns its state, its workers and every queued task. A
// task posted by raw pointer is adopted at once into a shared pointer (so it
// must come from `new`, and the caller must not touch it again). Stop()
// releases queued tasks without running them; a task a worker has already
// taken is finished first. Every posted task is therefore either run once or
// released unrun, never leaked.
//
// Threads: any thread may post and read the counters, also while another
// thread calls Start() or Stop() (a post that meets a stopping or stopped
// pool is dropped; memory behind the pool's state is kept for the pool's
// life, so a racing post never touches freed memory). Start(), Stop() and the destructor are serialised by the caller
// and must not be called from a worker (a task): Stop() waits for every
// worker, including the caller, to end. Tasks run with no lock held, so a task
// may post to its own pool.
#pragma once

#include <OskaBase/Export.h>
#include <OskaBase/Task.h>

#include <atomic>
#include <memory>

namespace Oska {
namespace Base {

struct CDyThreadPoolState;
struct CThreadWrap;

class OSKABASE_API CMessageLoopDyThreadPool {
 public:
  // No state and no thread until Start().
  CMessageLoopDyThreadPool();
  // Stop(false): queued tasks are released unrun, running ones finish, every
  // worker is joined. Not virtual: the pool is not meant to be deleted
  // through a pointer to a base.
  ~CMessageLoopDyThreadPool();

  // Copying is forbidden: two pools sharing one state would both stop and
  // free it.
  CMessageLoopDyThreadPool(const CMessageLoopDyThreadPool&) = delete;
  CMessageLoopDyThreadPool& operator=(const CMessageLoopDyThreadPool&) = delete;

  // Builds a fresh state and starts the floor's workers. A started pool is
  // stopped first with Stop(false), discarding its queue. Always returns true,
  // even when no worker thread could be created; posts then keep trying to
  // start workers while the pool is below its floor.
  //
  // Limits:
  //  - floor: minThreads raised to 1; it is also capped at 1024 so that a
  //    hostile value cannot ask for billions of threads.
  //  - ceiling: maxThreads clamped to 1..1024. A floor above the ceiling is
  //    kept (those workers start); the pool then never grows.
  //  - tasksPerThread is kept as given; 0 or a negative value makes every post
  //    grow the pool until the ceiling. The product tasksPerThread * workers
  //    is computed without overflow, so a huge value means "never grow".
  //
  //   Start(0, 0, 0)    -> 1 worker, ceiling 1
  //   Start(2, 5000, 4) -> 2 workers, ceiling 1024
  virtual bool Start(int minThreads, int maxThreads, int tasksPerThread);

  // Ends every worker, joins it and destroys the state. With waitForQueue it
  // first waits until every queued task has been taken by a worker (when no
  // worker can be started at all it keeps retrying to start one, so the
  // queue is still run, not dropped). Without it, queued tasks are released
  // unrun. A task being executed always finishes first. Does nothing when the
  // pool is not started. While workers end, it wakes them and looks again
  // every 100 microseconds.
  virtual void Stop(bool waitForQueue);

  // Queue a task at the back (PostTask) or at the front (PostPriorityTask).
  // Dropped silently when the pool is not started or is stopping; a raw task
  // is then deleted before the call returns. An empty pointer is queued and
  // later skipped. If memory runs out while queueing, std::bad_alloc
  // propagates and the task's reference is released (a raw task deleted).
  void PostTask(CTask* task);
  void PostTask(std::shared_ptr<CTask> task);
  void PostPriorityTask(CTask* task);
  void PostPriorityTask(std::shared_ptr<CTask> task);

  // Tasks queued and not yet taken by a worker (approximate while posts and
  // workers race). 0 when not started.
  int GetWorkTaskCount() const;
  // Live workers. 0 when not started.
  int GetThreadNum() const;

 private:
  // Starts one worker. The caller holds the state's task_mutex_.
  void AddThread();
  // One step of a worker; false when the worker must end.
  bool RunTask(CThreadWrap* record);
  // Retires a worker: uncounts it and hands its record to the reapers.
  void RemoveThread(CThreadWrap* record);
  // Joins and frees the records of retired workers.
  void DoRemoveThread();

  void Post(std::shared_ptr<CTask> task, bool front);
  bool StartWorker(CThreadWrap* record);

  // The started state: set by Start(), emptied by Stop(). Posts and counter
  // reads load it once and do nothing when it is empty.
  std::atomic<CDyThreadPoolState*> state_;
  // The memory behind state_, allocated by the first Start(), rebuilt in
  // place by every later Start() and freed only by the destructor. A thread
  // that loaded state_ just before a Stop() therefore never touches freed
  // memory: it finds the state stopping (and drops its task) or, after a new
  // Start(), started again (and posts to it).
  CDyThreadPoolState* storage_;
};

}  // namespace Base
}  // namespace Oska
