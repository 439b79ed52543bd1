// The C runtime's calendar calls under one set of names. Windows and POSIX
// runtimes offer the same five operations with different spellings and
// failure reports (_localtime64_s returns an error number, localtime_r a null
// pointer); everything above this header is the same on both.
//
// Both platforms are held to the Windows runtime's range, 1970-01-01 to
// 3000-12-31 23:59:59 UTC: a time value outside it does not break down and a
// breakdown that lands outside it does not make a time value, so the
// library answers alike wherever it runs.
#pragma once

#include <cstdint>
#include <ctime>

namespace Oska {
namespace Base {
namespace calendar {

// 3000-12-31 23:59:59 UTC, the Windows runtime's last 64-bit time value.
constexpr std::int64_t kLastTime = 32535215999LL;

inline bool InRange(std::int64_t t) { return t >= 0 && t <= kLastTime; }

// Re-reads the process's time-zone setting.
inline void ReloadZone() {
#if defined(_WIN32)
  _tzset();
#else
  tzset();
#endif
}

// Local breakdown of t; false if t is out of range or the runtime fails.
inline bool LocalBreakdown(std::int64_t t, std::tm* out) {
  if (!InRange(t)) return false;
#if defined(_WIN32)
  const __time64_t value = t;
  return _localtime64_s(out, &value) == 0;
#else
  const std::time_t value = static_cast<std::time_t>(t);
  return localtime_r(&value, out) != nullptr;
#endif
}

// UTC breakdown of t (daylight flag 0); false if out of range or failed.
inline bool UtcBreakdown(std::int64_t t, std::tm* out) {
  if (!InRange(t)) return false;
#if defined(_WIN32)
  const __time64_t value = t;
  return _gmtime64_s(out, &value) == 0;
#else
  const std::time_t value = static_cast<std::time_t>(t);
  return gmtime_r(&value, out) != nullptr;
#endif
}

// Local breakdown -> time value as the runtime makes it, normalising the
// fields and honouring the daylight flag (-1: let the runtime decide). False
// when the runtime reports failure. The value is not range-checked: offset
// arithmetic needs the intermediate values on either side of 1970.
inline bool MakeTimeRaw(std::tm* fields, std::int64_t* t) {
#if defined(_WIN32)
  *t = _mktime64(fields);
#else
  *t = static_cast<std::int64_t>(std::mktime(fields));
#endif
  return *t != -1;
}

// MakeTimeRaw held to the range: -1 when the moment cannot be represented.
inline std::int64_t MakeTime(std::tm* fields) {
  std::int64_t t = -1;
  if (!MakeTimeRaw(fields, &t)) return -1;
  return InRange(t) ? t : -1;
}

// The current time value.
inline std::int64_t Now() {
#if defined(_WIN32)
  return _time64(nullptr);
#else
  return static_cast<std::int64_t>(std::time(nullptr));
#endif
}

}  // namespace calendar
}  // namespace Base
}  // namespace Oska
