// A fast path for the printf formatting of log lines. Library log formats
// use a handful of plain conversions ("[%s]ReadFile error, %s.[%s(%d)]"),
// for which the C library's vsnprintf spends most of its time setting up;
// formatting them directly makes a log call about as fast as the logging
// library behind it. Anything else is left to vsnprintf, so the text is
// always exactly what printf would give.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace Oska {
namespace Base {
namespace details {

// Formats `format` with `args` into `out` of `capacity` bytes when every
// conversion in it is one of %s %c %d %i %u %x %X %% with no flags, width or
// precision and an optional length h, hh, l, ll or z; a null %s gives
// "(null)". Returns the text's length (zero-terminated in `out`), or -1
// when the format has another conversion or the text needs `capacity` bytes
// or more (`out` then holds nothing useful). `args` is read through a copy:
// the caller's list is left unread for a vsnprintf fallback.
//   FormatPlain(out, 64, "[%s]%d", ("F", -12)) == 6, out == "[F]-12"
//   FormatPlain(out, 64, "%5d", (1)) == -1       (width: vsnprintf's job)
int FormatPlain(char* out, std::size_t capacity, const char* format, va_list args);

}  // namespace details
}  // namespace Base
}  // namespace Oska
