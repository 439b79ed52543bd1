// The interruptible event. Besides the signalled flag, the record counts
// wake-ups (a generation number, guarded by the mutex): a waiter remembers
// the generation it started in and ends as soon as the flag is set or the
// generation has moved on. The second test is what lets every thread that was
// waiting when Wakeup() ran return true even if Reset() clears the flag
// before that thread is scheduled again.
//
// Wakeup() changes the flag and the generation while holding the mutex, and
// a waiter tests them and starts waiting while holding it too, so no wake-up
// can fall between a waiter's test and its wait.
#include <OskaBase/Interrupted.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace Oska {
namespace Base {
namespace details {

class CInterruptedImpl {
 public:
  std::mutex mutex;
  std::condition_variable wake;
  std::atomic<bool> signalled{false};
  std::uint64_t generation = 0;  // guarded by mutex
};

}  // namespace details

CInterrupted::CInterrupted() : record_(new details::CInterruptedImpl()) {}

CInterrupted::~CInterrupted() {
  // No lock here: taking the mutex could throw, and no thread may be inside
  // TimedWait by now, so there is no wake-up to lose.
  record_->signalled.store(true);
  record_->wake.notify_all();
}

bool CInterrupted::TimedWait(int timeout_ms) {
  details::CInterruptedImpl& r = *record_;
  std::unique_lock<std::mutex> lock(r.mutex);
  const std::uint64_t started_in = r.generation;
  auto woken = [&r, started_in] { return r.signalled.load() || r.generation != started_in; };
  if (timeout_ms <= 0) {
    r.wake.wait(lock, woken);
    return true;
  }
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  return r.wake.wait_until(lock, deadline, woken);
}

void CInterrupted::Wakeup() {
  details::CInterruptedImpl& r = *record_;
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    r.signalled.store(true);
    ++r.generation;
  }
  r.wake.notify_all();
}

void CInterrupted::Reset() { record_->signalled.store(false); }

}  // namespace Base
}  // namespace Oska
