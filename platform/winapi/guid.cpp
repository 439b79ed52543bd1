// CoCreateGuid on Linux. Windows makes a version-4 GUID from its kernel's
// cryptographic random generator; here the bytes come from getrandom(2),
// which blocks only until the kernel's pool is first seeded at boot and
// never fails afterwards except when interrupted by a signal, which is
// retried. Unlike Windows, a process that runs before the pool is seeded
// waits instead of getting a GUID at once.
#include <winapi/error.h>
#include <winapi/guid.h>

#include <sys/random.h>

#include <cerrno>
#include <cstring>

HRESULT CoCreateGuid(GUID* guid) {
  if (guid == nullptr) return E_INVALIDARG;
  unsigned char bytes[sizeof(GUID)];
  std::size_t filled = 0;
  while (filled < sizeof(bytes)) {
    const ssize_t n = ::getrandom(bytes + filled, sizeof(bytes) - filled, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return HRESULT_FROM_WIN32(winapi::WinErrorFromErrno(errno));
    }
    filled += static_cast<std::size_t>(n);
  }
  GUID made;
  std::memcpy(&made, bytes, sizeof(made));
  made.Data3 = static_cast<WORD>((made.Data3 & 0x0FFFu) | 0x4000u);
  made.Data4[0] = static_cast<BYTE>((made.Data4[0] & 0x3Fu) | 0x80u);
  *guid = made;
  return S_OK;
}
