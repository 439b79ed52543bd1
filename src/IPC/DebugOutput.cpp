// Until the runtime's debug channel is linked in, the text goes to stderr
// when ZEL_DEBUG_OUTPUT=1, the switch that channel uses.
#include "IPC/DebugOutput.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Oska {
namespace Base {

void PipeDebugOutput(const char* format, ...) {
  static const bool enabled = [] {
    const char* value = std::getenv("ZEL_DEBUG_OUTPUT");
    return value != nullptr && std::strcmp(value, "1") == 0;
  }();
  if (!enabled) return;
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  std::fprintf(stderr, "%s\n", text);
}

}  // namespace Base
}  // namespace Oska
