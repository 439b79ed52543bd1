// A component that owns exactly one background thread, which calls the
// subclass's RunOnce() over and over with a fixed pause between calls.
//
//   class Poller : public CSingleBaseThread {
//    public:
//     ~Poller() { EndThread(); }          // before Poller's members go
//     bool RunOnce() override { return Poll(); }  // false ends the thread
//   };
//   Poller p;
//   p.BeginThread(1000);  // RunOnce() now, then about once a second
//   p.WakeupOnce();       // cuts the current pause short
//   p.EndThread();        // stops and joins
//
// The worker loop: lock the object's mutex; while the stop flag is clear,
// call RunOnce() (false ends the loop), then, if an interval is set and the
// stop flag is still clear, wait on the condition variable for at most the
// interval (a wake-up, EndThread or a spurious return ends the wait early;
// every return from a wait is followed by another RunOnce() unless the stop
// flag is set). So RunOnce() always runs with that mutex held, on the worker.
//
// Ownership: the object owns its thread record (the thread, the mutex, the
// condition variable). Copying is deleted: a copy would share the record and
// both copies would free it.
//
// Threads: BeginThread, EndThread, WakeupOnce and the destructor are the
// owner's calls; the owner serialises them (WakeupOnce must not overlap
// EndThread, BeginThread or the destructor, which create and destroy the
// condition variable). EndThread and the destructor must not be called from
// RunOnce(): the join of the worker by itself fails with the thread
// library's exception.
//
// Destruction: a subclass must call EndThread() in its own destructor. The
// base destructor still ends a running worker (it joins it), but by then the
// subclass's RunOnce() is gone. CSingleBaseThread's destructor is protected
// and not virtual: the object is never deleted through a base pointer.
#pragma once

#include <OskaBase/Export.h>
#include <OskaBase/NonThreadSafe.h>

#include <memory>

namespace Oska {
namespace Base {
namespace details {
class CSingleThreadImpl;
}  // namespace details

class OSKABASE_API CSingleBaseThread : private CNonThreadSafe {
 public:
  CSingleBaseThread(const CSingleBaseThread&) = delete;
  CSingleBaseThread& operator=(const CSingleBaseThread&) = delete;

  // Starts the worker with `interval_ms` between calls of RunOnce(); 0 or a
  // negative value means back to back. Returns false and changes nothing
  // (the interval included) while an earlier worker has not been joined:
  // running, or ended by RunOnce() returning false but not yet collected by
  // EndThread(). If the thread cannot be created, the thread library's
  // exception propagates (the interval is then already set).
  bool BeginThread(int interval_ms);

  // Sets the stop flag, wakes the worker and joins it: returns once the
  // running RunOnce() (if any) has returned and the thread has ended. Does
  // nothing more on an object that was never started or is already ended.
  // After it, BeginThread may start a new worker.
  void EndThread();

  // Ends the worker's current pause at once. A wake-up that comes while the
  // worker is not pausing (for instance during RunOnce()) is not kept: the
  // next pause then lasts the full interval. Does nothing when no worker was
  // started or after EndThread().
  void WakeupOnce();

  // The subclass's unit of work, called on the worker with the object's mutex
  // held. Returning false ends the worker (it stays to be joined by
  // EndThread()).
  virtual bool RunOnce() = 0;

 protected:
  // No thread is started.
  CSingleBaseThread();
  // Ends a worker that still runs (see Destruction above), then frees the
  // record.
  ~CSingleBaseThread();

 private:
  void DoThread();

  std::unique_ptr<details::CSingleThreadImpl> record_;
};

// CSingleBaseThread without the thread-affinity base class: the same
// interface, contract and behaviour.
class OSKABASE_API CSingleBaseThreadNoAssert {
 public:
  CSingleBaseThreadNoAssert(const CSingleBaseThreadNoAssert&) = delete;
  CSingleBaseThreadNoAssert& operator=(const CSingleBaseThreadNoAssert&) = delete;

  bool BeginThread(int interval_ms);
  void EndThread();
  void WakeupOnce();
  virtual bool RunOnce() = 0;

 protected:
  CSingleBaseThreadNoAssert();
  ~CSingleBaseThreadNoAssert();

 private:
  void DoThread();

  std::unique_ptr<details::CSingleThreadImpl> record_;
};

}  // namespace Base
}  // namespace Oska
