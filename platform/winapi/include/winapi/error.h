// The per-thread last-error value and the Windows error codes the layer
// reports, with the SDK's numeric values. Every family sets its failures
// through SetLastError and maps errno with WinErrorFromErrno, the one table
// from POSIX errors to Windows codes.
#pragma once

#include <winapi/base.h>

#define ERROR_SUCCESS 0u
#define ERROR_INVALID_FUNCTION 1u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_TOO_MANY_OPEN_FILES 4u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_OUTOFMEMORY 14u
#define ERROR_NO_MORE_FILES 18u
#define ERROR_WRITE_FAULT 29u
#define ERROR_READ_FAULT 30u
#define ERROR_GEN_FAILURE 31u
#define ERROR_SHARING_VIOLATION 32u
#define ERROR_HANDLE_EOF 38u
#define ERROR_NOT_SUPPORTED 50u
#define ERROR_FILE_EXISTS 80u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_BROKEN_PIPE 109u
#define ERROR_DISK_FULL 112u
#define ERROR_SEM_TIMEOUT 121u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_INVALID_NAME 123u
#define ERROR_MOD_NOT_FOUND 126u
#define ERROR_PROC_NOT_FOUND 127u
#define ERROR_DIR_NOT_EMPTY 145u
#define ERROR_BAD_PATHNAME 161u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_FILENAME_EXCED_RANGE 206u
#define ERROR_BAD_PIPE 230u
#define ERROR_PIPE_BUSY 231u
#define ERROR_NO_DATA 232u
#define ERROR_PIPE_NOT_CONNECTED 233u
#define ERROR_MORE_DATA 234u
#define ERROR_DIRECTORY 267u
#define ERROR_MR_MID_NOT_FOUND 317u
#define ERROR_PIPE_CONNECTED 535u
#define ERROR_PIPE_LISTENING 536u
#define ERROR_OPERATION_ABORTED 995u
#define ERROR_IO_PENDING 997u
#define ERROR_INVALID_FLAGS 1004u
#define ERROR_NO_UNICODE_TRANSLATION 1113u
#define ERROR_TIMEOUT 1460u

// Returns the calling thread's last-error value. Each thread has its own; a
// new thread starts with ERROR_SUCCESS.
DWORD GetLastError();

// Sets the calling thread's last-error value. Other threads are unaffected.
void SetLastError(DWORD code);

namespace winapi {

// Maps a POSIX errno value to the Windows error code a caller of the
// corresponding Windows function would see (ENOENT -> ERROR_FILE_NOT_FOUND,
// EACCES/EPERM -> ERROR_ACCESS_DENIED, EBADF -> ERROR_INVALID_HANDLE,
// EPIPE/ECONNRESET -> ERROR_BROKEN_PIPE, EEXIST -> ERROR_ALREADY_EXISTS, ...).
// Values without a closer match become ERROR_GEN_FAILURE. errno 0 gives
// ERROR_SUCCESS.
DWORD WinErrorFromErrno(int err);

// SetLastError(WinErrorFromErrno(err)).
void SetLastErrorFromErrno(int err);

}  // namespace winapi
