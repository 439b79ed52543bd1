// StringUtil::str_fmt: printf-style formatting into an exactly sized string.
#include <OskaBase/StringUtil.h>

#include <cstdarg>
#include <cstdio>

namespace Oska {
namespace Base {
namespace StringUtil {

std::string str_fmt(const char* format, ...) {
  if (format == nullptr) return std::string();
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string result;
  if (length > 0) {
    // The string keeps room for its terminating zero; the formatter may write it.
    result.resize(static_cast<size_t>(length));
    std::vsnprintf(&result[0], static_cast<size_t>(length) + 1, format, args);
  }
  va_end(args);
  return result;
}

}  // namespace StringUtil
}  // namespace Base
}  // namespace Oska
