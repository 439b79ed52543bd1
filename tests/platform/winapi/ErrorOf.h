// Folds "the call failed, and left this code" into one comparison:
// EXPECT_EQ(ErrorOf(CloseHandle(h)), ERROR_INVALID_HANDLE).
#pragma once

#include <windows.h>

// The error a failed call left, or 0 when it succeeded.
inline DWORD ErrorOf(bool ok) { return ok ? 0 : GetLastError(); }
inline DWORD ErrorOf(HANDLE h) { return ErrorOf(h != INVALID_HANDLE_VALUE && h != nullptr); }
