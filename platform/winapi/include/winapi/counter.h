// The high-resolution performance counter and the millisecond tick count, on
// CLOCK_MONOTONIC: neither moves when the wall clock is set.
#pragma once

#include <winapi/base.h>

// Counts per second of QueryPerformanceCounter: always 1,000,000,000 here
// (nanoseconds). Returns FALSE with ERROR_INVALID_PARAMETER for a null pointer.
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);

// The current value of the monotonic counter, in units of the frequency
// above. Never decreases. Returns FALSE with ERROR_INVALID_PARAMETER for a
// null pointer.
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);

// Milliseconds on the monotonic clock (since boot on Linux, as on Windows).
ULONGLONG GetTickCount64();
