// The library's log: every line goes to the logging library zellog through
// details::KavoFormatLog, synchronously on the calling thread.
#pragma once

#include <OskaBase/Export.h>
#include <OskaBase/MessageLoop.h>
#include <OskaBase/Singleton.h>

#include <string>

namespace Oska {
namespace Base {
namespace details {

// The log singleton. Its work-thread loop is inherited privately and never
// started: nothing is queued, lines are written on the caller's thread.
// Created by the first Instance() call, destroyed at library unload.
//
// zellog is a separate library that this one loads at the first log call,
// from its own folder first; if it cannot be found, InitLog and every log
// line are dropped and nothing fails. InitLog and UninitLog are static, so
// they can be called as CLog::InitLog(...) or through Instance(); both may
// be called from any thread.
class OSKABASE_API CLog : private CMessageLoopWorkThread, public CSingleton<CLog> {
 public:
  ~CLog() override;

  // Passes `config` to zellog's initialise operation (the text's form is
  // documented in zellog/zellog.h and the README: file, max_size,
  // max_files, level, console). The outcome is not reported; a malformed
  // text makes zellog use defaults and say so on stderr.
  //   CLog::InitLog("file=/var/log/app.log; max_size=4M; max_files=3; level=warning");
  static void InitLog(const std::string& config);

  // Does nothing; kept for callers that pair it with InitLog. Any number of
  // calls, before or after InitLog.
  static void UninitLog();

 private:
  friend class CSingleton<CLog>;
  CLog();
};

// Formats `format` printf-style and hands (level, module, text) to zellog:
// `level` and the `module` pointer unchanged, the text whole (no length
// limit). No lock of its own; returns when zellog has taken the line. Any
// thread, concurrently. A format the C library cannot format (its vsnprintf
// reports an error, e.g. a wide character the locale cannot convert) passes
// no line on rather than a partial buffer.
//   KavoFormatLog(5, "QRN", "[%s]exit thread[%s(%d)]", "F", "src/IPC/PipelineWin.cpp", 9)
//     hands zellog (5, "QRN", "[F]exit thread[src/IPC/PipelineWin.cpp(9)]")
OSKABASE_API void KavoFormatLog(int level, const char* module, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

}  // namespace details

template <> OSKABASE_API std::mutex CSingleton<details::CLog>::mutex_;
template <> OSKABASE_API std::unique_ptr<details::CLog> CSingleton<details::CLog>::s_instance_;

}  // namespace Base
}  // namespace Oska
