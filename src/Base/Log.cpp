// The log singleton and the formatting entry point.
#include <OskaBase/Log.h>

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
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length >= 0) {
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    runtime::ZellogWrite(level, module, text.data());
  }
  va_end(args);
}

}  // namespace details
}  // namespace Base
}  // namespace Oska
