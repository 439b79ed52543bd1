// The executable's path and the host name. /proc/self/exe is the kernel's
// own record of the running image, so it holds even when argv[0] was a
// relative path or a link.
#include <zel/zel.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

extern "C" int ZEL_GetCurExePath(char* buffer, int size) {
  if (buffer == nullptr || size <= 0) {
    errno = EINVAL;
    return -1;
  }
  // readlink does not say whether it cut the path; reading into one byte
  // more than the caller may take tells.
  std::vector<char> path(static_cast<std::size_t>(size) + 1);
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n < 0) return -1;
  if (n >= size) {
    errno = ENAMETOOLONG;
    return -1;
  }
  std::memcpy(buffer, path.data(), static_cast<std::size_t>(n));
  buffer[n] = '\0';
  return 0;
}

extern "C" int ZEL_GetHostName(char* buffer, int size) {
  if (buffer == nullptr || size <= 0) {
    errno = EINVAL;
    return -1;
  }
  char name[256 + 1] = {};
  if (::gethostname(name, sizeof(name) - 1) != 0) return -1;
  const std::size_t length = std::strlen(name);
  if (length >= static_cast<std::size_t>(size)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  std::memcpy(buffer, name, length + 1);
  return 0;
}
