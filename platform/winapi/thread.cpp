// Threads on POSIX. Windows answers "has this thread ended?" from the thread
// object's exit code. A pthread_t has no such query, but glibc keeps the
// kernel's id of each thread in its descriptor and the kernel clears it when
// the thread has fully exited (CLONE_CHILD_CLEARTID, the same event that lets
// pthread_join return); pthread_getcpuclockid reports ESRCH from then on.
// That answers the question without joining or touching the thread.
#include <winapi/thread.h>
#include <winapi/error.h>

#include <cerrno>
#include <ctime>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

DWORD GetCurrentThreadId() {
  // Cached: the id of a thread never changes, and the system call costs more
  // than everything else a post does.
  thread_local DWORD t_id = static_cast<DWORD>(::syscall(SYS_gettid));
  return t_id;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exit_code) {
  if (exit_code == nullptr || thread == nullptr || thread == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  pthread_t native = reinterpret_cast<pthread_t>(thread);
  clockid_t clock;
  int rc = ::pthread_getcpuclockid(native, &clock);
  *exit_code = (rc == ESRCH) ? 0u : STILL_ACTIVE;
  return TRUE;
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    ::sched_yield();
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;) ::pause();
  }
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}
