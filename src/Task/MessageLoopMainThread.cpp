// The loop run by the caller's thread, and the process-wide main loop.
#include <OskaBase/MessageLoop.h>

namespace Oska {
namespace Base {

CMessageLoopMainThread::CMessageLoopMainThread() = default;
CMessageLoopMainThread::~CMessageLoopMainThread() = default;

bool CMessageLoopMainThread::Start() {
  quit_.store(false);
  return true;
}

void CMessageLoopMainThread::Run() { CMessageLoopBase::Run(); }

CMessageLoop::CMessageLoop() = default;
CMessageLoop::~CMessageLoop() = default;

CTask* CMessageLoop::MakeExitTask() {
  // Ends the main loop from whichever loop or pool worker executes it. It
  // also wakes the main loop, so its Run() returns at once rather than at the
  // end of its timed wait.
  class ExitTask : public CTask {
   public:
    void Execute() override {
      CMessageLoop& main_loop = CSingleton<CMessageLoop>::Instance();
      main_loop.quit_.store(true);
      main_loop.WakeRunThread();
    }
  };
  return new ExitTask();
}

}  // namespace Base
}  // namespace Oska
