// The pipelines' two outlets, captured: this binary compiles the pipeline
// sources itself and supplies the log entry (KavoFormatLog, formatting as the
// library does) and the runtime's debug channel (ZEL_OutputDebug), recording
// every line.
#pragma once

#include <string>
#include <vector>

namespace log_capture {

struct LogLine {
  int level;
  std::string module;
  std::string text;  // with the source line number replaced by N
};

// Everything recorded since the last call, and forgets it.
std::vector<LogLine> TakeLogLines();
std::vector<std::string> TakeDebugLines();

}  // namespace log_capture
