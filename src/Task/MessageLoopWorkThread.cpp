// The loop with a thread of its own.
#include <OskaBase/MessageLoop.h>

#include <windows.h>

namespace Oska {
namespace Base {

CMessageLoopWorkThread::CMessageLoopWorkThread() = default;

CMessageLoopWorkThread::~CMessageLoopWorkThread() {
  if (!quit_.load() && thread_.get_id() != boost::thread::id()) {
    DWORD exit_code = STILL_ACTIVE;
    GetExitCodeThread(reinterpret_cast<HANDLE>(thread_.native_handle()), &exit_code);
    if (exit_code != STILL_ACTIVE) {
      // The platform already ended the thread (for instance at process exit):
      // nothing to stop, only the join is left.
      quit_.store(true);
      if (thread_.joinable()) thread_.join();
    } else {
      CMessageLoopWorkThread::Stop();
    }
  }
  // After AsynStop() the thread may still be draining: wait for it, so the
  // queues are not destroyed under it.
  if (thread_.joinable()) thread_.join();
}

bool CMessageLoopWorkThread::Start() {
  if (thread_.joinable()) return false;
  quit_.store(false);
  thread_ = boost::thread([this] { Run(); });
  return true;
}

void CMessageLoopWorkThread::Stop() {
  CMessageLoopBase::Stop();
  if (thread_.joinable()) thread_.join();
}

void CMessageLoopWorkThread::AsynStop() { CMessageLoopBase::Stop(); }

void CMessageLoopWorkThread::Quit() {
  CMessageLoopBase::Quit();
  if (thread_.joinable()) thread_.join();
}

int CMessageLoopWorkThread::GetRunThreadID() { return CMessageLoopBase::GetRunThreadID(); }

void CMessageLoopWorkThread::Run() { CMessageLoopBase::Run(); }

}  // namespace Base
}  // namespace Oska
