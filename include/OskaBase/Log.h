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
class OSKABASE_API CLog : private CMessageLoopWorkThread, public CSingleton<CLog> {
 public:
  ~CLog() override;

  // Initialises zellog from one configuration text (see zellog.h for its
  // form). The outcome is not reported.
  static void InitLog(const std::string& config);

  // Does nothing; kept for callers that pair it with InitLog. Any number of
  // calls, before or after InitLog.
  static void UninitLog();

 private:
  friend class CSingleton<CLog>;
  CLog();
};

// Formats `format` printf-style and hands (level, module, text) to zellog.
// No length limit; no lock taken; returns when zellog has taken the line.
// A format the C library cannot format (negative length) writes nothing.
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
