// The debug channel of the pipelines: the short companion of each log line,
// without function name, file and line.
#pragma once

namespace Oska {
namespace Base {

// printf-style; the text goes to the debug channel when someone listens.
void PipeDebugOutput(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace Base
}  // namespace Oska
