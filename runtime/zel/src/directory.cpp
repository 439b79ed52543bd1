// Directories over opendir/readdir. An entry's time stamp and size come from
// fstatat on the open directory, without following links, so a dangling
// link is still listed; an entry that vanished between readdir and the stat
// is listed with a zero time and size rather than skipped or reported as an
// error, because the caller is walking names.
#include "file_status.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" int ZEL_MakeDir(const char* path) {
  if (path == nullptr) {
    errno = EINVAL;
    return -1;
  }
  return ::mkdir(path, 0777) == 0 ? 0 : -1;
}

extern "C" int ZEL_RemoveDir(const char* path) {
  if (path == nullptr) {
    errno = EINVAL;
    return -1;
  }
  return ::rmdir(path) == 0 ? 0 : -1;
}

extern "C" void* ZEL_OpenDir(const char* path) {
  if (path == nullptr || *path == '\0') {
    errno = EINVAL;
    return nullptr;
  }
  // opendir has no close-on-exec flag of its own; opening the descriptor
  // first gives one.
  const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
  }
  return dir;
}

extern "C" int ZEL_FindFileInDir(void* dir, ZEL_DIRENT_S* entry) {
  if (dir == nullptr || entry == nullptr) {
    errno = EINVAL;
    return -1;
  }
  DIR* d = static_cast<DIR*>(dir);
  errno = 0;
  const dirent* found = ::readdir(d);
  if (found == nullptr) return errno == 0 ? 1 : -1;
  // d_name is at most NAME_MAX (255) bytes on Linux, so it always fits.
  const std::size_t length = ::strnlen(found->d_name, sizeof(entry->name) - 1);
  std::memcpy(entry->name, found->d_name, length);
  entry->name[length] = '\0';
  struct stat st;
  if (::fstatat(::dirfd(d), found->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    entry->mtime = zel_internal::ModificationNs(st);
    entry->type = zel_internal::TypeOfMode(st.st_mode);
    entry->size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::int64_t>(st.st_size);
  } else {
    entry->mtime = 0;
    entry->size = 0;
    entry->type = found->d_type == DT_DIR ? ZEL_FTYPE_DIR
                  : found->d_type == DT_REG ? ZEL_FTYPE_FILE
                  : found->d_type == DT_LNK ? ZEL_FTYPE_LINK
                                            : ZEL_FTYPE_OTHER;
  }
  return 0;
}

extern "C" int ZEL_CloseDir(void* dir) {
  if (dir == nullptr) {
    errno = EBADF;
    return -1;
  }
  return ::closedir(static_cast<DIR*>(dir)) == 0 ? 0 : -1;
}
