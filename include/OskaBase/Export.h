// The export macro of the OskaBase shared library. Everything a client may
// call is marked OSKABASE_API; everything else stays inside the library
// (built with hidden visibility on ELF, without dllexport on Windows).
#pragma once

#if defined(_WIN32)
#  if defined(OSKABASE_BUILDING)
#    define OSKABASE_API __declspec(dllexport)
#  else
#    define OSKABASE_API __declspec(dllimport)
#  endif
#else
#  define OSKABASE_API __attribute__((visibility("default")))
#endif
