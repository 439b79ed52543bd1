// The handle table. Windows keeps a per-process table of kernel object
// references indexed by handle; POSIX hands out descriptors, which are reused
// the moment they are closed, so a descriptor closed on one thread while
// another thread is still reading it may already belong to an unrelated file
// when the read is retried. Here a handle is a never-reused number that maps
// to a reference-counted object; calls hold a reference for their duration,
// and the object closes its descriptors only when the last reference goes.
// Closing wakes blocked calls through the object's Wake() (shutdown() on a
// socket), which POSIX close() alone would not do.
#include <winapi/handle.h>
#include <winapi/error.h>

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace winapi {
namespace {

struct Table {
  std::mutex mutex;
  std::unordered_map<std::uintptr_t, std::shared_ptr<HandleObject>> objects;  // guarded by mutex
  std::uintptr_t next = 0x10000;                                              // guarded by mutex
};

Table& GetTable() {
  // Never destroyed: handles may be closed from static destructors of other
  // translation units.
  static Table* table = new Table;
  return *table;
}

}  // namespace

HandleObject::~HandleObject() = default;

BOOL HandleObject::Read(void*, DWORD, DWORD* read) {
  if (read != nullptr) *read = 0;
  SetLastError(ERROR_INVALID_FUNCTION);
  return FALSE;
}

BOOL HandleObject::Write(const void*, DWORD, DWORD* written) {
  if (written != nullptr) *written = 0;
  SetLastError(ERROR_INVALID_FUNCTION);
  return FALSE;
}

HANDLE RegisterHandle(std::shared_ptr<HandleObject> object) {
  Table& table = GetTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  const std::uintptr_t value = table.next;
  table.next += 4;
  table.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<HandleObject> LookupHandle(HANDLE handle) {
  Table& table = GetTable();
  {
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it != table.objects.end()) return it->second;
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

}  // namespace winapi

BOOL CloseHandle(HANDLE handle) {
  winapi::Table& table = winapi::GetTable();
  std::shared_ptr<winapi::HandleObject> object;
  {
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == table.objects.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    object = std::move(it->second);
    table.objects.erase(it);
  }
  object->closed_.store(true, std::memory_order_release);
  object->Wake();
  // `object` goes out of scope here; if no call still holds it, its
  // descriptors close now, otherwise when the last call returns.
  return TRUE;
}

namespace {

bool CheckOverlapped(LPOVERLAPPED overlapped) {
  if (overlapped == nullptr) return true;
  SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

}  // namespace

namespace {

// ReadFile and WriteFile share their checks; `transfer` is the object's Read
// or Write.
template <class Buffer, class Op>
BOOL Transfer(HANDLE handle, Buffer buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped,
              Op transfer) {
  if (done != nullptr) *done = 0;
  if (!CheckOverlapped(overlapped)) return FALSE;
  if (buffer == nullptr && size != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::shared_ptr<winapi::HandleObject> object = winapi::LookupHandle(handle);
  if (!object) return FALSE;
  DWORD count = 0;
  const BOOL ok = transfer(*object, buffer, size, &count);
  if (done != nullptr) *done = count;
  return ok;
}

}  // namespace

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
  return Transfer(handle, buffer, size, read, overlapped,
                  [](winapi::HandleObject& o, LPVOID b, DWORD n, LPDWORD c) { return o.Read(b, n, c); });
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD size, LPDWORD written,
               LPOVERLAPPED overlapped) {
  return Transfer(handle, buffer, size, written, overlapped,
                  [](winapi::HandleObject& o, LPCVOID b, DWORD n, LPDWORD c) { return o.Write(b, n, c); });
}
