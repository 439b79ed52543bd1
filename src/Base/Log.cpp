// The log singleton and the formatting entry point.
#include <OskaBase/Log.h>

#include "Base/LogFormat.h"
#include "Runtime/ZellogBinding.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace Oska {
namespace Base {
namespace details {

CLog::CLog() = default;
CLog::~CLog() = default;

void CLog::InitLog(const std::string& config) { runtime::ZellogInitialize(config.c_str()); }

void CLog::UninitLog() {}

void KavoFormatLog(int level, const char* module, const char* format, ...) {
  // Most lines fit a stack buffer and use only plain conversions, which
  // FormatPlain handles without the C library's setup cost; the rest are
  // formatted by vsnprintf, a long text into a buffer of exactly its length
  // plus the terminating zero. Either way the text passed on is whole and
  // exactly printf's: there is no length limit.
  char small[1024];
  va_list args;
  va_start(args, format);
  int length = FormatPlain(small, sizeof(small), format, args);
  if (length >= 0) {
    va_end(args);
    runtime::ZellogWrite(level, module, small);
    return;
  }
  va_list again;
  va_copy(again, args);
  length = std::vsnprintf(small, sizeof(small), format, args);
  va_end(args);
  if (length >= 0 && static_cast<std::size_t>(length) < sizeof(small)) {
    runtime::ZellogWrite(level, module, small);
  } else if (length >= 0) {
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    if (std::vsnprintf(text.data(), text.size(), format, again) == length) {
      runtime::ZellogWrite(level, module, text.data());
    }
  }
  // A negative length is a formatter error (an unconvertible wide character,
  // a text past INT_MAX): no line, and no half-formatted buffer passed on.
  va_end(again);
}

}  // namespace details
}  // namespace Base
}  // namespace Oska
