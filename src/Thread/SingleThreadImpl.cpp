// The worker-thread record. The worker is a Boost thread; the destructor asks
// the operating system whether it has already ended (GetExitCodeThread on its
// native handle), because a thread that ended by itself, or that the platform
// ended at process exit, needs only a join, not a stop.
//
// End() closes the window in which a stop could be missed: the worker checks
// the stop flag and starts its pause while holding the mutex, so once End()
// has taken and released that mutex after setting the flag, the worker is
// either already pausing (and receives the notification) or has yet to check
// the flag (and sees it). End() therefore returns as soon as the running
// RunOnce() returns, never a whole interval later.
#include "Thread/SingleThreadImpl.h"

#include <windows.h>

#include <utility>

namespace Oska {
namespace Base {
namespace details {

CSingleThreadImpl::CSingleThreadImpl()
    : stop_(false), wake_(new std::condition_variable()), interval_ms_(0) {}

CSingleThreadImpl::~CSingleThreadImpl() = default;

bool CSingleThreadImpl::Begin(int interval_ms, std::function<void()> thread_body) {
  if (thread_.joinable()) return false;
  interval_ms_ = interval_ms > 0 ? interval_ms : 0;
  stop_.store(false);
  if (!wake_) wake_.reset(new std::condition_variable());
  thread_ = boost::thread(std::move(thread_body));
  return true;
}

void CSingleThreadImpl::End() {
  stop_.store(true);
  // Not on the worker itself: it holds the mutex inside RunOnce(), and the
  // join below reports that misuse with the thread library's exception.
  if (thread_.get_id() != boost::this_thread::get_id()) {
    std::lock_guard<std::mutex> handshake(mutex_);
  }
  if (wake_) wake_->notify_all();
  if (thread_.joinable()) thread_.join();
  wake_.reset();
}

void CSingleThreadImpl::Wakeup() {
  if (wake_) wake_->notify_all();
}

void CSingleThreadImpl::Retire() {
  if (stop_.load()) return;
  if (thread_.get_id() == boost::thread::id()) {
    // Never started (or its creation failed).
    stop_.store(true);
    return;
  }
  DWORD exit_code = STILL_ACTIVE;
  GetExitCodeThread(reinterpret_cast<HANDLE>(thread_.native_handle()), &exit_code);
  if (exit_code == STILL_ACTIVE) {
    End();
    return;
  }
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
}

}  // namespace details
}  // namespace Base
}  // namespace Oska
