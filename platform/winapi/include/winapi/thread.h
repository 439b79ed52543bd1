// Threads and sleeping: identifiers, exit codes and Sleep, on POSIX threads.
//
// A thread HANDLE in this layer is a pthread_t value carried in the pointer
// (reinterpret_cast<HANDLE>(pthread)), which is what a Boost or std thread's
// native_handle() gives on Linux. Thread handles are never closed: the thread
// library that created the thread owns it.
#pragma once

#include <winapi/base.h>

// Exit code reported for a thread that has not ended yet.
#define STILL_ACTIVE 259u

// The kernel's id of the calling thread (gettid): unique among the live
// threads of the machine, and equal to the process id on the main thread.
// Never 0.
DWORD GetCurrentThreadId();

// The id of the calling process (getpid).
DWORD GetCurrentProcessId();

// Stores STILL_ACTIVE in *exit_code while the thread runs, and 0 once it has
// ended (a POSIX thread returns no Windows exit code; every thread of this
// library ends normally with 0). The thread may have ended without being
// joined yet: the test does not join it and never blocks. Returns FALSE with
// ERROR_INVALID_PARAMETER when exit_code is null or the handle is
// INVALID_HANDLE_VALUE or null. The handle must refer to a thread that has not
// been joined or detached: a pthread_t is not valid after that, just as a
// closed Windows handle is not.
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exit_code);

// Suspends the calling thread for at least `milliseconds`, resuming after
// signals. Sleep(0) yields the processor. Sleep(INFINITE) never returns.
void Sleep(DWORD milliseconds);
