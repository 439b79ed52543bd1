// Kernel object handles: the table behind every HANDLE this layer hands out
// for I/O objects (pipes today), with CloseHandle, ReadFile and WriteFile.
//
// A handle is an opaque number (a multiple of 4 from 0x10000 upward, never
// reused within a process), not a file descriptor: a stale or forged handle
// finds nothing and fails with ERROR_INVALID_HANDLE instead of reaching a
// descriptor that has since been given to someone else.
//
// Closing across threads. CloseHandle may be called while another thread is
// blocked in ReadFile, WriteFile or ConnectNamedPipe on the same handle. The
// handle disappears from the table at once (later calls fail with
// ERROR_INVALID_HANDLE), the blocked call wakes and fails with
// ERROR_INVALID_HANDLE, and the descriptor underneath is closed only after the
// last call using it has returned, so it can never be reused under a running
// call. (Windows leaves a synchronous call on a handle closed elsewhere
// undefined; this is the behaviour the pipelines rely on to end their reader.)
//
// Overlapped I/O is not reproduced: every call is synchronous, and a non-null
// OVERLAPPED pointer fails with ERROR_INVALID_PARAMETER.
#pragma once

#include <winapi/base.h>

#include <atomic>
#include <memory>

// Access rights and creation values shared by every family that opens
// handles, with the SDK's values.
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define OPEN_EXISTING 3u
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define FILE_FLAG_FIRST_PIPE_INSTANCE 0x00080000u
#define SECURITY_SQOS_PRESENT 0x00100000u
#define SECURITY_IDENTIFICATION 0x00010000u

// Present so that Windows call sites compile; this layer never takes an
// overlapped path (see above).
typedef struct _OVERLAPPED {
  ULONGLONG Internal;
  ULONGLONG InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

// Accepted and ignored apart from being optional: objects are always created
// close-on-exec (never inherited), with the owner-only access that each
// family states.
typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

// Closes a handle from the table. Returns FALSE with ERROR_INVALID_HANDLE for
// a handle that is not (or no longer) open. See the header comment for calls
// blocked on the handle in other threads.
BOOL CloseHandle(HANDLE handle);

// Reads up to `size` bytes into `buffer` and stores the count in *read (which
// may be null). Blocks until at least one byte, one message or the end
// arrives. What a read returns depends on the object (see pipe.h). Fails with
// ERROR_INVALID_HANDLE for a closed handle, ERROR_ACCESS_DENIED for a handle
// opened without read access, ERROR_INVALID_PARAMETER for a non-null
// `overlapped` or a null buffer with a non-zero size.
BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped);

// Writes `size` bytes and stores the count written in *written (may be null).
// Blocks until everything is written. Failure codes as for ReadFile, with
// ERROR_ACCESS_DENIED for a handle opened without write access.
BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD size, LPDWORD written,
               LPOVERLAPPED overlapped);

namespace winapi {

// An object reachable through a HANDLE. Families derive from it; the table
// keeps one shared reference while the handle is open and every call in
// progress holds another, so the object (and whatever descriptor it owns) is
// destroyed only when the handle is closed and no call uses it any more.
class HandleObject {
 public:
  HandleObject() = default;
  HandleObject(const HandleObject&) = delete;
  HandleObject& operator=(const HandleObject&) = delete;
  // Releases the descriptors. Runs on whichever thread drops the last
  // reference: the closing thread, or the last call to return.
  virtual ~HandleObject();

  // Defaults fail with ERROR_INVALID_FUNCTION: not every object reads or
  // writes.
  virtual BOOL Read(void* buffer, DWORD size, DWORD* read);
  virtual BOOL Write(const void* buffer, DWORD size, DWORD* written);

  // Called once by CloseHandle, after the handle has left the table: makes
  // every call blocked on this object return (for sockets, shutdown()). Calls
  // then see Closed() and fail with ERROR_INVALID_HANDLE.
  virtual void Wake() = 0;

  bool Closed() const { return closed_.load(std::memory_order_acquire); }

 private:
  friend BOOL(::CloseHandle)(HANDLE);
  std::atomic<bool> closed_{false};
};

// Enters `object` into the table and returns its new handle; never fails
// short of running out of memory.
HANDLE RegisterHandle(std::shared_ptr<HandleObject> object);

// The object behind `handle`, or null with ERROR_INVALID_HANDLE when the
// handle is not open. The returned reference keeps the object (and its
// descriptors) alive for the duration of a call.
std::shared_ptr<HandleObject> LookupHandle(HANDLE handle);

}  // namespace winapi
