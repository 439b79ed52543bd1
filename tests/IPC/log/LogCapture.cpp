#include "LogCapture.h"

#include <OskaBase/Log.h>

#include <zel/zel.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <regex>

namespace log_capture {
namespace {

std::mutex g_mutex;
std::vector<LogLine> g_log;          // guarded by g_mutex
std::vector<std::string> g_debug;    // guarded by g_mutex

std::string Format(const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length < 0) return "<format error>";
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(&text[0], text.size(), format, args);
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace

std::vector<LogLine> TakeLogLines() {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::vector<LogLine> out;
  out.swap(g_log);
  return out;
}

std::vector<std::string> TakeDebugLines() {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::vector<std::string> out;
  out.swap(g_debug);
  return out;
}

}  // namespace log_capture

namespace Oska {
namespace Base {
namespace details {

void KavoFormatLog(int level, const char* module, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = log_capture::Format(format, args);
  va_end(args);
  static const std::regex kLine(R"(\((\d+)\)\]$)");
  text = std::regex_replace(text, kLine, "(N)]");
  std::lock_guard<std::mutex> lock(log_capture::g_mutex);
  log_capture::g_log.push_back({level, module, text});
}

}  // namespace details

}  // namespace Base
}  // namespace Oska

extern "C" int ZEL_OutputDebug(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = log_capture::Format(format, args);
  va_end(args);
  std::lock_guard<std::mutex> lock(log_capture::g_mutex);
  log_capture::g_debug.push_back(text);
  return static_cast<int>(text.size());
}
