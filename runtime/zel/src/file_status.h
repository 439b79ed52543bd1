// What files and directory entries share: the file type and time stamp of a
// stat record in zel's terms.
#pragma once

#include <zel/zel.h>

#include <sys/stat.h>

namespace zel_internal {

// ZEL_FTYPE_* of a st_mode.
std::int32_t TypeOfMode(mode_t mode);

// st_mtim in nanoseconds since 1970-01-01 UTC.
std::int64_t ModificationNs(const struct stat& st);

}  // namespace zel_internal
