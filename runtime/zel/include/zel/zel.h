// zel: the portable runtime under OskaBase. A small set of operating-system
// services behind one flat interface (prefix ZEL_): a plain and a recursive
// mutex, debug output, files, directories and their enumeration, the
// executable's path, the host name, address resolution, the adapter list and
// numeric address parsing.
//
// Conventions, for every function below unless its comment says otherwise:
//  - Texts and paths are NUL-terminated narrow strings in the local code page
//    (UTF-8 on Linux).
//  - An int result of 0 means success; -1 means failure, with errno telling
//    why on POSIX.
//  - Every function may be called from any thread at any time; none keeps
//    state between calls except the debug-output switch (ZEL_OutputDebug).
//  - Handles (files, directories) and lists (addresses, adapters) belong to
//    the caller, who gives them back through the matching Close/Free call
//    exactly once.
//  - Descriptors are opened close-on-exec: none leaks into child processes.
//
// Three pieces of this interface are compiled into the OskaBase library
// rather than into zel, and exported from there: ZEL_Guard,
// ZEL_Mutex::operator= and zel::zel_recursive_mutex's copy operations. They
// are marked ZEL_OSKABASE_API.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#  if defined(ZEL_BUILDING)
#    define ZEL_API __declspec(dllexport)
#  else
#    define ZEL_API __declspec(dllimport)
#  endif
#  if defined(OSKABASE_BUILDING)
#    define ZEL_OSKABASE_API __declspec(dllexport)
#  else
#    define ZEL_OSKABASE_API __declspec(dllimport)
#  endif
#  define ZEL_CLASS_VISIBLE
#else
#  define ZEL_API __attribute__((visibility("default")))
#  define ZEL_OSKABASE_API __attribute__((visibility("default")))
// Puts a class's vtable and type information in the dynamic symbol table, so
// that zel and OskaBase (both built with hidden visibility) share them.
#  define ZEL_CLASS_VISIBLE __attribute__((visibility("default")))
#endif

#if defined(__GNUC__)
#  define ZEL_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#  define ZEL_PRINTF_FORMAT(fmt, args)
#endif

// ---------------------------------------------------------------------------
// Locks

// Room for the operating system's mutex inside a lock object. A lock is
// never copied: the copy assignment of this storage keeps the target's own
// lock and state (copying a lock's bytes would give two objects one lock, or
// a lock that believes it is held). ZEL_Mutex and zel_recursive_mutex rely on
// this for their member-by-member copy operations.
struct ZEL_LockStorage {
  ZEL_LockStorage() = default;
  ZEL_LockStorage(const ZEL_LockStorage&) = delete;
  ZEL_LockStorage& operator=(const ZEL_LockStorage&) { return *this; }
  alignas(16) unsigned char bytes[64];
};

// A plain (non-recursive) mutex. Not copy-constructible; assignment is
// member-by-member, which leaves both objects' locks as they were (see
// ZEL_LockStorage), so assigning never shares or corrupts a lock.
//
// Lock() blocks until the calling thread owns the mutex; locking it again on
// the owning thread deadlocks. Unlock() must be called by the owner. Both
// return 0 on success and nonzero on an error of the system's lock (callers
// may ignore it). Destroying a locked mutex is not allowed.
class ZEL_CLASS_VISIBLE ZEL_Mutex {
 public:
  ZEL_API ZEL_Mutex();
  ZEL_API ~ZEL_Mutex();
  ZEL_Mutex(const ZEL_Mutex&) = delete;
  ZEL_OSKABASE_API ZEL_Mutex& operator=(const ZEL_Mutex& other);

  ZEL_API int Lock();
  ZEL_API int Unlock();

 private:
  ZEL_LockStorage m_lock;
};

// A scoped lock over a ZEL_Mutex that can be released early. The guard does
// not own the mutex, which must outlive it.
//
//   ZEL_Mutex m;
//   {
//     ZEL_Guard g(&m);   // m.Lock()
//     g.Release();       // m.Unlock()
//   }                    // nothing more: Unlock ran exactly once
//
// One thread uses a guard: it locks on construction and unlocks on that same
// thread. Copying is deleted: a copy would unlock the mutex a second time.
class ZEL_Guard {
 public:
  // Stores `mutex` and locks it. `mutex` must not be null; a null one is
  // tolerated as a guard that is already released (nothing locked, nothing
  // unlocked) rather than a crash.
  ZEL_OSKABASE_API ZEL_Guard(ZEL_Mutex* mutex);
  // Release().
  ZEL_OSKABASE_API ~ZEL_Guard();
  ZEL_Guard(const ZEL_Guard&) = delete;
  ZEL_Guard& operator=(const ZEL_Guard&) = delete;

  // Unlocks the mutex unless already released, and forgets it; calling it
  // again (or destroying the guard afterwards) does nothing more.
  ZEL_OSKABASE_API void Release();

 private:
  ZEL_Mutex* m_pMutex;  // not owned; null once released
};

namespace zel {

// A recursive mutex: its owner may lock it again and must unlock it as many
// times. Meets BasicLockable/Lockable, so std::lock_guard and
// std::unique_lock work with it. Copying makes a new, unlocked mutex (copy
// construction) or leaves the target's lock as it is (assignment); a lock's
// state is never copied. Destroying a locked mutex is not allowed.
class ZEL_CLASS_VISIBLE zel_recursive_mutex {
 public:
  ZEL_API zel_recursive_mutex();
  ZEL_API virtual ~zel_recursive_mutex();
  ZEL_OSKABASE_API zel_recursive_mutex(const zel_recursive_mutex& other);
  ZEL_OSKABASE_API zel_recursive_mutex& operator=(const zel_recursive_mutex& other);

  ZEL_API void lock();
  // True when the calling thread now owns the mutex (again); never blocks.
  ZEL_API bool try_lock();
  ZEL_API void unlock();

 private:
  ZEL_LockStorage m_lock;
};

}  // namespace zel

extern "C" {

// ---------------------------------------------------------------------------
// Debug output

// Formats printf-style and writes the text, with a line end added when it
// has none, to the debug channel as one write, so concurrent messages never
// interleave. On Linux the channel is stderr, used only while someone
// listens:
//  - the environment variable ZEL_DEBUG_OUTPUT, read once at the first call:
//    "1" always writes, "0" never writes, anything else (or unset) writes
//    while a debugger or tracer is attached (TracerPid in /proc/self/status);
//  - the attachment is checked at the first call and again at most once a
//    second (on a coarse monotonic clock read without a system call), so a
//    debugger attached later starts seeing messages within about a second.
// When no one listens, a call costs a clock read and returns without
// formatting, reading a file or making a system call. Returns the number of
// bytes written, 0 when nothing was written, -1 on a format or write error.
ZEL_API int ZEL_OutputDebug(const char* format, ...) ZEL_PRINTF_FORMAT(1, 2);

// ---------------------------------------------------------------------------
// Files

// ZEL_OpenFile flags (combine with |).
#define ZEL_FILE_READ 0x1u      // open for reading
#define ZEL_FILE_WRITE 0x2u     // open for writing
#define ZEL_FILE_CREATE 0x4u    // create the file when missing
#define ZEL_FILE_TRUNCATE 0x8u  // empty an existing file (needs ZEL_FILE_WRITE)
#define ZEL_FILE_APPEND 0x10u   // every write goes to the end
#define ZEL_FILE_EXCL 0x20u     // with ZEL_FILE_CREATE: fail when the file exists

// ZEL_OpenFile modes: the permission of a file the call creates. The low
// nine bits, when any is set, are the POSIX permission bits; otherwise the
// file is readable and writable by everyone the umask allows (0666 & ~umask).
#define ZEL_FILE_MODE_DEFAULT 0x2000u

// File status, filled by ZEL_FileStat.
#define ZEL_FTYPE_OTHER 0
#define ZEL_FTYPE_FILE 1
#define ZEL_FTYPE_DIR 2
#define ZEL_FTYPE_LINK 3

typedef struct ZEL_FINFO_S {
  std::int64_t size;   // bytes
  std::int64_t mtime;  // last modification, nanoseconds since 1970-01-01 UTC
  std::int64_t atime;  // last access, same unit
  std::int64_t ctime;  // last status change, same unit
  std::uint32_t mode;  // POSIX permission bits (0777 mask)
  std::int32_t type;   // ZEL_FTYPE_*
} ZEL_FINFO_S;

// Opens `path` with `flags` (ZEL_FILE_*) and, when it creates the file, the
// permission `mode`. Returns the native handle, which on POSIX is the file
// descriptor's value cast to a pointer (never 0: a descriptor 0 is moved
// higher), or 0 (null) on failure, including a null or empty path and flags
// without READ or WRITE. Flags 15 (read, write, create, truncate) give a new
// or emptied file open for reading and writing.
ZEL_API void* ZEL_OpenFile(const char* path, unsigned int flags, unsigned int mode);

// Closes a handle from ZEL_OpenFile. -1 for a null handle.
ZEL_API int ZEL_CloseFile(void* file);

// Reads up to `size` bytes at the current position. Returns the count read
// (0 at the end of the file) or -1; interrupted reads are retried.
ZEL_API std::int64_t ZEL_ReadFile(void* file, void* buffer, std::uint32_t size);

// Writes all `size` bytes (retrying short writes). Returns `size` or -1.
ZEL_API std::int64_t ZEL_WriteFile(void* file, const void* buffer, std::uint32_t size);

// Fills `info` for an open file. -1 for a null handle or null `info`.
ZEL_API int ZEL_FileStat(void* file, ZEL_FINFO_S* info);

// Forces the file's written data to the storage device (fsync).
ZEL_API int ZEL_FileFlush(void* file);

// Removes a file (not a directory).
ZEL_API int ZEL_DeleteFile(const char* path);

// ---------------------------------------------------------------------------
// Directories

// Creates one directory (its parent must exist; permission 0777 & ~umask).
// -1 when it exists already.
ZEL_API int ZEL_MakeDir(const char* path);

// Removes an empty directory.
ZEL_API int ZEL_RemoveDir(const char* path);

#define ZEL_MAX_NAME 256

// One directory entry, filled by ZEL_FindFileInDir.
typedef struct ZEL_DIRENT_S {
  char name[ZEL_MAX_NAME];  // the entry's name, NUL-terminated, no path
  std::int64_t mtime;       // last modification, nanoseconds since 1970 UTC;
                            // smaller is older; 0 when the entry vanished
  std::int64_t size;        // bytes (0 for directories and vanished entries)
  std::int32_t type;        // ZEL_FTYPE_* (the link itself, not its target)
} ZEL_DIRENT_S;

// Opens a directory for enumeration. Null when it cannot be opened (missing,
// not a directory, no permission): callers take that as "absent".
ZEL_API void* ZEL_OpenDir(const char* path);

// Writes the next entry into `entry` and returns 0, or returns 1 when no
// entries are left (and -1 on a null argument or a read error). The current
// and parent entries ("." and "..") are listed like any other; callers skip
// them. Order is the file system's.
ZEL_API int ZEL_FindFileInDir(void* dir, ZEL_DIRENT_S* entry);

// Closes a handle from ZEL_OpenDir. -1 for a null handle.
ZEL_API int ZEL_CloseDir(void* dir);

// ---------------------------------------------------------------------------
// The process and the host

// Writes the running executable's full path, NUL-terminated, into `buffer`
// of `size` bytes. -1 when it does not fit (nothing useful written).
ZEL_API int ZEL_GetCurExePath(char* buffer, int size);

// Writes the host name, NUL-terminated, into `buffer` of `size` bytes. -1
// when it does not fit.
ZEL_API int ZEL_GetHostName(char* buffer, int size);

// ---------------------------------------------------------------------------
// Addresses and adapters

#define ZEL_AF_UNSPEC 0
#define ZEL_AF_INET 2
#define ZEL_AF_INET6 23

// One resolved address.
typedef struct ZEL_ADDRINFO_S {
  std::int32_t family;           // ZEL_AF_INET or ZEL_AF_INET6
  std::uint32_t addrlen;         // 4 or 16
  unsigned char addr[16];        // the address in network byte order
  struct ZEL_ADDRINFO_S* next;   // null at the end
} ZEL_ADDRINFO_S;

// Resolves `host` (a name or a numeric address) into a list of addresses in
// the resolver's order, each address listed once per resolver record of the
// stream socket type (so not three times, as POSIX lists one per socket
// type). `service` may be null; `hints` may be null (any family) or give the
// wanted family in its `family` field. On success *result holds the list
// head (free it with ZEL_FreeAddressInfo) and 0 is returned; otherwise
// *result is null and the resolver's nonzero code is returned.
ZEL_API int ZEL_GetAddressInfo(const char* host, const char* service, const ZEL_ADDRINFO_S* hints,
                               ZEL_ADDRINFO_S** result);

// Frees a list from ZEL_GetAddressInfo. Null is allowed.
ZEL_API void ZEL_FreeAddressInfo(ZEL_ADDRINFO_S* list);

// One IPv4 address of an adapter, as dotted-quad texts.
typedef struct ZEL_IPADDR_S {
  struct ZEL_IPADDR_S* next;  // the adapter's next IPv4 address, or null
  char address[16];           // "192.168.1.20"
  char mask[16];              // "255.255.255.0"
} ZEL_IPADDR_S;

// One network adapter (interface).
typedef struct ZEL_ADAPTER_S {
  struct ZEL_ADAPTER_S* next;  // the next adapter, or null
  std::uint32_t index;         // the system's interface index
  char name[ZEL_MAX_NAME];     // the interface name ("eth0", "lo")
  ZEL_IPADDR_S* ip_list;       // first IPv4 address, null when it has none
} ZEL_ADAPTER_S;

// Lists every network interface the system reports, loopback included, in
// the system's order, each with its IPv4 addresses in the system's order
// (interfaces without IPv4 have a null ip_list). On success *list holds the
// head (free it with ZEL_FreeAdapterInfo) and 0 is returned; -1 otherwise,
// with *list null.
ZEL_API int ZEL_GetAdapterInfo(ZEL_ADAPTER_S** list);

// Frees a list from ZEL_GetAdapterInfo. Null is allowed.
ZEL_API void ZEL_FreeAdapterInfo(ZEL_ADAPTER_S* list);

// Parses a numeric address. "127.0.0.1" gives ZEL_AF_INET and 4 bytes in
// network order in `buffer`; "::1" gives ZEL_AF_INET6 and 16 bytes. Any other
// text (names, empty, null) gives -1 and leaves `buffer` unread and
// unwritten. `buffer` must hold 16 bytes.
ZEL_API int ZEL_InetPton(const char* text, void* buffer);

}  // extern "C"
