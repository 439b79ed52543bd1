// The performance counter on CLOCK_MONOTONIC, which has nanosecond resolution
// on Linux; reporting a fixed frequency of 1e9 keeps conversions exact.
#include <winapi/counter.h>
#include <winapi/error.h>

#include <ctime>

namespace {
constexpr LONGLONG kNanosPerSecond = 1000000000LL;

LONGLONG MonotonicNanos() {
  timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<LONGLONG>(ts.tv_sec) * kNanosPerSecond + ts.tv_nsec;
}
}  // namespace

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  if (frequency == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  frequency->QuadPart = kNanosPerSecond;
  return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  if (count == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  count->QuadPart = MonotonicNanos();
  return TRUE;
}

ULONGLONG GetTickCount64() { return static_cast<ULONGLONG>(MonotonicNanos() / 1000000LL); }
