// Files over POSIX descriptors. A file handle is the descriptor's value cast
// to a pointer, the platform's native handle, so code holding it can pass it
// to other descriptor-based calls. Descriptor 0 would read as the null
// failure value; open() only returns it when stdin was closed, and then the
// descriptor is moved above 2.
#include "file_status.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int Fd(void* file) { return static_cast<int>(reinterpret_cast<std::intptr_t>(file)); }

void* Handle(int fd) { return reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)); }

std::int64_t Nanoseconds(const timespec& ts) {
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

}  // namespace

namespace zel_internal {

std::int32_t TypeOfMode(mode_t mode) {
  if (S_ISREG(mode)) return ZEL_FTYPE_FILE;
  if (S_ISDIR(mode)) return ZEL_FTYPE_DIR;
  if (S_ISLNK(mode)) return ZEL_FTYPE_LINK;
  return ZEL_FTYPE_OTHER;
}

std::int64_t ModificationNs(const struct stat& st) { return Nanoseconds(st.st_mtim); }

}  // namespace zel_internal

extern "C" void* ZEL_OpenFile(const char* path, unsigned int flags, unsigned int mode) {
  if (path == nullptr || *path == '\0') {
    errno = EINVAL;
    return nullptr;
  }
  int oflags = O_CLOEXEC;
  const bool read = (flags & ZEL_FILE_READ) != 0;
  const bool write = (flags & ZEL_FILE_WRITE) != 0;
  if (read && write) {
    oflags |= O_RDWR;
  } else if (write) {
    oflags |= O_WRONLY;
  } else if (read) {
    oflags |= O_RDONLY;
  } else {
    errno = EINVAL;
    return nullptr;
  }
  if (flags & ZEL_FILE_CREATE) oflags |= O_CREAT;
  if ((flags & ZEL_FILE_TRUNCATE) && write) oflags |= O_TRUNC;
  if (flags & ZEL_FILE_APPEND) oflags |= O_APPEND;
  if ((flags & ZEL_FILE_EXCL) && (flags & ZEL_FILE_CREATE)) oflags |= O_EXCL;
  const mode_t permission = (mode & 0777u) != 0 ? static_cast<mode_t>(mode & 0777u) : 0666;
  int fd;
  do {
    fd = ::open(path, oflags, permission);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return nullptr;
  if (fd == 0) {
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    const int saved = errno;
    ::close(fd);
    if (moved < 0) {
      errno = saved;
      return nullptr;
    }
    fd = moved;
  }
  return Handle(fd);
}

extern "C" int ZEL_CloseFile(void* file) {
  if (file == nullptr) {
    errno = EBADF;
    return -1;
  }
  // Linux releases the descriptor even when close reports EINTR; retrying
  // could close a descriptor another thread has just been given.
  return ::close(Fd(file)) == 0 || errno == EINTR ? 0 : -1;
}

extern "C" std::int64_t ZEL_ReadFile(void* file, void* buffer, std::uint32_t size) {
  if (file == nullptr || (buffer == nullptr && size != 0)) {
    errno = EINVAL;
    return -1;
  }
  for (;;) {
    const ssize_t n = ::read(Fd(file), buffer, size);
    if (n >= 0) return n;
    if (errno != EINTR) return -1;
  }
}

extern "C" std::int64_t ZEL_WriteFile(void* file, const void* buffer, std::uint32_t size) {
  if (file == nullptr || (buffer == nullptr && size != 0)) {
    errno = EINVAL;
    return -1;
  }
  const char* data = static_cast<const char*>(buffer);
  std::uint32_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(Fd(file), data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    done += static_cast<std::uint32_t>(n);
  }
  return size;
}

extern "C" int ZEL_FileStat(void* file, ZEL_FINFO_S* info) {
  if (file == nullptr || info == nullptr) {
    errno = EINVAL;
    return -1;
  }
  struct stat st;
  if (::fstat(Fd(file), &st) != 0) return -1;
  info->size = static_cast<std::int64_t>(st.st_size);
  info->mtime = Nanoseconds(st.st_mtim);
  info->atime = Nanoseconds(st.st_atim);
  info->ctime = Nanoseconds(st.st_ctim);
  info->mode = static_cast<std::uint32_t>(st.st_mode & 0777);
  info->type = zel_internal::TypeOfMode(st.st_mode);
  return 0;
}

extern "C" int ZEL_FileFlush(void* file) {
  if (file == nullptr) {
    errno = EBADF;
    return -1;
  }
  return ::fsync(Fd(file)) == 0 ? 0 : -1;
}

extern "C" int ZEL_DeleteFile(const char* path) {
  if (path == nullptr) {
    errno = EINVAL;
    return -1;
  }
  return ::unlink(path) == 0 ? 0 : -1;
}
