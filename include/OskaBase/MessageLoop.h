// Message loops: a task queue with a run loop, and the ways of running one.
//
//  CMessageLoopBase        the queues, posting, the run loop, quit and stop.
//  CMessageLoopMainThread  run by the thread that calls Run().
//  CMessageLoopWorkThread  starts, owns and joins a thread of its own.
//  CMessageLoop            the process-wide main loop (a singleton).
//  CMessageLoopForNotify, CMessageLoopForCleanup, CMessageLoopForNetSDK
//                          three process-wide work-thread loops (singletons)
//                          that differ only in name; the library never starts
//                          them or posts to them.
//
// Three kinds of task may be posted from any thread:
//  - ordinary tasks run in posting order, in batches: a batch is everything
//    posted up to the moment the run thread last reloaded its queue;
//  - priority tasks run before each ordinary task, before each delayed task
//    and once after every wait;
//  - delayed tasks (CDelayTask) are executed between batches at a sweep held at
//    most once every interval (100 ms), for as long as they report
//    IsStillDelay() == true.
//
// Wake-ups are never lost: an ordinary or priority task posted to an idle loop
// wakes its run thread at once, not at the next timed wake-up. A post never
// waits for a running task and makes no system call while the run thread is
// awake. Delayed posts wake nobody; they are noticed at the next sweep. All
// timed waits are measured on the monotonic clock, so setting the wall clock
// neither stalls nor hurries a loop.
#pragma once

#include <OskaBase/Export.h>
#include <OskaBase/Singleton.h>
#include <OskaBase/Task.h>

#include <boost/thread/thread.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace Oska {
namespace Base {

class CMessageLoopQueues;

// The loop core. Not runnable until a subclass's Start() clears quit_.
//
// Ownership: the loop owns its queue set and every task queued or held in it.
// Destroying the loop releases those tasks without executing them; it neither
// stops nor joins anything, so no thread may be inside Run() by then.
//
// Threads: any thread may post, call Quit(), Stop() and the counters. Exactly
// one thread at a time, the run thread, is inside Run(). Tasks run with no
// queue mutex held, so a task may post to its own loop or call Quit()/Stop()
// of this class on it (but not the joining overrides of work-thread loops).
class OSKABASE_API CMessageLoopBase {
 public:
  CMessageLoopBase(const CMessageLoopBase&) = delete;
  CMessageLoopBase& operator=(const CMessageLoopBase&) = delete;

  // Stops the loop as soon as the running task returns; everything queued is
  // then released unrun. Returns at once (work-thread loops override this to
  // join). Safe from any thread, including from a task of this loop.
  virtual void Stop();

  // Asks the loop to stop after every ordinary task posted before this call
  // has run: posts a quit task behind them. Does nothing if the loop is not
  // running. Tasks posted after Quit() are accepted until the quit task runs,
  // and are then released unrun.
  virtual void Quit();

  // The kernel id of the thread inside Run(); 0 before the first Run() and
  // after Stop(). It keeps the id after Run() returns by a quit.
  virtual int GetRunThreadID();

  // Posting. Each returns true when the task was queued and false when it was
  // refused: an empty pointer, or a loop that is not running (never started,
  // quitting or stopped). A raw pointer is adopted at once, so a refused raw
  // task is deleted before the call returns. If adopting it fails for lack of
  // memory, the task is deleted and std::bad_alloc propagates.
  bool PostTask(CTask* task);
  bool PostTask(std::shared_ptr<CTask> task);
  bool PostPriorityTask(CTask* task);
  bool PostPriorityTask(std::shared_ptr<CTask> task);
  bool PostDelayTask(CDelayTask* task);
  bool PostDelayTask(std::shared_ptr<CDelayTask> task);

  // Always 0; use GetRunThreadID() for the run thread's id.
  unsigned long ThreadID();

  // Ordinary tasks waiting plus those of the current batch not yet finished
  // (the executing one counts until it returns).
  int GetWorkTaskCount() const;
  // Delayed tasks waiting plus those held by the run thread.
  int GetWorkDelayTaskCount() const;
  // Priority tasks waiting; an executing one is no longer counted.
  int GetPriorityTaskCount() const;

 protected:
  CMessageLoopBase();
  virtual ~CMessageLoopBase();

  // The run loop, on the calling thread, until the loop quits or stops and its
  // queues are drained. An exception thrown by a task leaves Run(); the queues
  // keep their contents.
  virtual void Run();

  // Steps of Run(), called only by the run thread.
  void ReloadWorkQueue();
  void ProcessPriorityQue();

  // Wakes the run thread if it sleeps, so it sees a changed quit_ at once.
  void WakeRunThread();

  // True whenever the loop is not meant to run; posts are refused while set.
  std::atomic<bool> quit_;
  // Longest sleep while idle, and shortest time between delayed sweeps.
  std::uint32_t interval_ms_;
  // Held by the run thread for the whole of Run() except while it sleeps.
  std::mutex wait_mutex_;
  std::unique_ptr<CMessageLoopQueues> queues_;
};

// A loop run by whichever thread calls Run(), usually the application's main
// thread. Its destructor does not stop it: it must not be destroyed while
// Run() executes.
class OSKABASE_API CMessageLoopMainThread : public CMessageLoopBase {
 public:
  CMessageLoopMainThread();
  ~CMessageLoopMainThread() override;

  // Makes the loop accept posts. Always returns true; may be called at any
  // time, also after the loop has quit, to run it again.
  bool Start();

  // Runs the loop on the calling thread until it quits or stops. Returns at
  // once if Start() was not called.
  void Run() override;
};

// A loop with a thread of its own.
//
// Ownership: owns its thread. The destructor stops and joins a running loop
// (or just joins a thread that has already ended or was told AsynStop()).
//
// Threads: Start, Stop, Quit, AsynStop and the destructor may be called from
// any thread except the loop's own (Stop, Quit and the destructor join, and a
// join of the calling thread is a deadlock error from the thread library).
// Concurrent Start() calls on one loop are not supported.
class OSKABASE_API CMessageLoopWorkThread : public CMessageLoopBase {
 public:
  CMessageLoopWorkThread();
  ~CMessageLoopWorkThread() override;

  // Starts the thread, whose body calls the virtual Run() once. Returns false
  // and changes nothing while a thread started earlier has not been joined
  // (Started, Running or Ended after AsynStop()); Stop() or Quit() joins it.
  // If the thread cannot be created, boost::thread_resource_error propagates;
  // posts are then accepted but nothing runs them until a later Start().
  bool Start();

  // Stops the loop as soon as the running task returns, discarding everything
  // queued, and joins the thread.
  void Stop() override;

  // Stop() without the join: returns at once.
  void AsynStop();

  // Runs every ordinary task posted before the call, then ends and joins the
  // thread. Returns at once on a loop that was never started.
  void Quit() override;

  int GetRunThreadID() override;

 protected:
  void Run() override;

 private:
  boost::thread thread_;
};

// The process-wide main loop. Created, not started, by the first
// CSingleton<CMessageLoop>::Instance(). The application's main thread calls
// Start() and Run(); other threads post to it. It ends by Quit(), Stop() or an
// exit task executed on any loop or pool.
class OSKABASE_API CMessageLoop : public CMessageLoopMainThread, public CSingleton<CMessageLoop> {
 public:
  ~CMessageLoop() override;

  // A new task that, when executed anywhere, ends the main loop (and wakes it,
  // so its Run() returns at once). The caller owns it until it posts it with a
  // raw-pointer form, which takes it over.
  static CTask* MakeExitTask();

 private:
  friend class CSingleton<CMessageLoop>;
  CMessageLoop();
};

class OSKABASE_API CMessageLoopForNotify : public CMessageLoopWorkThread,
                                           public CSingleton<CMessageLoopForNotify> {
 public:
  ~CMessageLoopForNotify() override;

 private:
  friend class CSingleton<CMessageLoopForNotify>;
  CMessageLoopForNotify();
};

class OSKABASE_API CMessageLoopForCleanup : public CMessageLoopWorkThread,
                                            public CSingleton<CMessageLoopForCleanup> {
 public:
  ~CMessageLoopForCleanup() override;

 private:
  friend class CSingleton<CMessageLoopForCleanup>;
  CMessageLoopForCleanup();
};

class OSKABASE_API CMessageLoopForNetSDK : public CMessageLoopWorkThread,
                                           public CSingleton<CMessageLoopForNetSDK> {
 public:
  ~CMessageLoopForNetSDK() override;

 private:
  friend class CSingleton<CMessageLoopForNetSDK>;
  CMessageLoopForNetSDK();
};

// The library's singletons live inside the library as exported data. They
// are torn down at unload in reverse order of construction: the log first,
// then NetSDK, Cleanup, Notify, and the main loop last.
template <> OSKABASE_API std::mutex CSingleton<CMessageLoop>::mutex_;
template <> OSKABASE_API std::unique_ptr<CMessageLoop> CSingleton<CMessageLoop>::s_instance_;
template <> OSKABASE_API std::mutex CSingleton<CMessageLoopForNotify>::mutex_;
template <> OSKABASE_API std::unique_ptr<CMessageLoopForNotify> CSingleton<CMessageLoopForNotify>::s_instance_;
template <> OSKABASE_API std::mutex CSingleton<CMessageLoopForCleanup>::mutex_;
template <> OSKABASE_API std::unique_ptr<CMessageLoopForCleanup> CSingleton<CMessageLoopForCleanup>::s_instance_;
template <> OSKABASE_API std::mutex CSingleton<CMessageLoopForNetSDK>::mutex_;
template <> OSKABASE_API std::unique_ptr<CMessageLoopForNetSDK> CSingleton<CMessageLoopForNetSDK>::s_instance_;

}  // namespace Base
}  // namespace Oska
