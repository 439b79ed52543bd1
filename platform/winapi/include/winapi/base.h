// Windows base types and constants for the POSIX layer, with the SDK's real
// sizes and values, defined once here and used by every family.
//
// Differences from the SDK that callers can see:
//  - WCHAR is wchar_t, which is 32 bits on Linux: wide strings hold UTF-32
//    there, the platform's own convention.
//  - HANDLE is an opaque pointer like the SDK's; what it refers to is stated
//    by the family that hands it out (threads: a pthread_t, see thread.h).
#pragma once

#include <cstddef>
#include <cstdint>

typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef std::uint32_t ULONG;
typedef std::int64_t LONGLONG;
typedef std::uint64_t ULONGLONG;
typedef std::uint16_t WORD;
typedef std::uint8_t BYTE;
typedef int BOOL;
typedef unsigned int UINT;
typedef void* HANDLE;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef char CHAR;
typedef wchar_t WCHAR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))
#define INFINITE 0xFFFFFFFFu

// The 64-bit value of the high-resolution counter, laid out as the SDK's union.
typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
} LARGE_INTEGER;

static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4, "Windows LONG and DWORD are 32 bits");
static_assert(sizeof(LARGE_INTEGER) == 8, "LARGE_INTEGER is 8 bytes");

// COM status codes: negative values are failures.
typedef LONG HRESULT;
#define S_OK static_cast<HRESULT>(0)
#define E_POINTER static_cast<HRESULT>(0x80004003u)
#define E_FAIL static_cast<HRESULT>(0x80004005u)
#define E_INVALIDARG static_cast<HRESULT>(0x80070057u)
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
// A Win32 error code as an HRESULT (facility WIN32), as the SDK's macro.
#define HRESULT_FROM_WIN32(x)                                                    \
  (static_cast<HRESULT>(x) <= 0 ? static_cast<HRESULT>(x)                        \
                                : static_cast<HRESULT>(((x) & 0x0000FFFFu) | (7u << 16) | 0x80000000u))

// A 128-bit identifier, laid out as the SDK's GUID (Data1 is the SDK's
// 32-bit unsigned long).
typedef struct _GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
} GUID;

static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");
