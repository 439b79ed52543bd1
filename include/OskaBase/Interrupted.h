// CInterrupted: a manually reset event, typically a sleep that another thread
// can cut short.
//
//   CInterrupted stop;
//   // worker:                      // owner:
//   while (!stop.TimedWait(500)) {  //   stop.Wakeup();  // ends the wait now
//     Tick();
//   }
//
// States: clear (after construction or Reset) and set (after Wakeup). Waits
// never change the state; once set, every TimedWait returns true at once
// until Reset.
//
//   ev.TimedWait(100) == false  // clear, after about 100 ms
//   ev.Wakeup();
//   ev.TimedWait(10) == true    // at once, and again
//   ev.Reset();
//   ev.TimedWait(10) == false   // after about 10 ms
//
// Wake-ups are never lost: Wakeup sets the flag under the event's mutex, so
// a waiter that has just seen the flag clear is already waiting when the
// wake-up is sent. Every thread waiting when Wakeup is called returns true,
// even if Reset follows before it gets to run.
//
// Ownership: owns its event record (mutex, condition variable, flag).
// Copying is deleted: a copy would share the record and both would free it.
//
// Threads: any number of threads may wait at once; Wakeup and Reset may be
// called from any thread, during waits. Destruction sets the event and wakes
// the waiters but does not wait for them to leave: the object must not be
// destroyed while another thread is still inside one of its members.
#pragma once

#include <OskaBase/Export.h>

#include <memory>

namespace Oska {
namespace Base {
namespace details {
class CInterruptedImpl;
}  // namespace details

class OSKABASE_API CInterrupted {
 public:
  // Clear.
  CInterrupted();
  // Sets the event and wakes every waiter, then frees the record.
  ~CInterrupted();
  CInterrupted(const CInterrupted&) = delete;
  CInterrupted& operator=(const CInterrupted&) = delete;

  // Waits until the event is set. With `timeout_ms` > 0, waits at most that
  // many milliseconds from the call (measured on the monotonic clock;
  // spurious wake-ups do not end it early) and returns whether the event was
  // set (or a Wakeup came) by then. With 0 or a negative value, waits
  // without a limit and returns true. A set event returns true at once. Does
  // not clear the event. Errors of the mutex or condition variable come out
  // as std::system_error.
  bool TimedWait(int timeout_ms);

  // Sets the event and wakes every waiter.
  void Wakeup();

  // Clears the event. Wakes nobody.
  void Reset();

 private:
  std::unique_ptr<details::CInterruptedImpl> record_;
};

}  // namespace Base
}  // namespace Oska
