// Last-error storage and the errno table. Windows keeps the last error in the
// thread environment block; a thread_local gives the same per-thread value.
#include <winapi/error.h>

#include <cerrno>

namespace {
thread_local DWORD t_last_error = ERROR_SUCCESS;
}  // namespace

DWORD GetLastError() { return t_last_error; }

void SetLastError(DWORD code) { t_last_error = code; }

namespace winapi {

DWORD WinErrorFromErrno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EPIPE:
    case ECONNRESET: return ERROR_BROKEN_PIPE;
    case ENOTCONN: return ERROR_PIPE_NOT_CONNECTED;
    case ECONNREFUSED: return ERROR_FILE_NOT_FOUND;
    case ENOSPC: return ERROR_DISK_FULL;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EISDIR: return ERROR_DIRECTORY;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case ETIMEDOUT: return ERROR_SEM_TIMEOUT;
    case EAGAIN: return ERROR_NO_DATA;
    case ENOSYS:
    case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
    case EMSGSIZE: return ERROR_MORE_DATA;
    case EINTR: return ERROR_OPERATION_ABORTED;
    default: return ERROR_GEN_FAILURE;
  }
}

void SetLastErrorFromErrno(int err) { SetLastError(WinErrorFromErrno(err)); }

}  // namespace winapi
