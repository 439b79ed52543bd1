// Code-page conversion: multi-byte text in a Windows code page to and from
// wide text.
//
// Wide text is wchar_t, which is 32 bits on Linux: wide strings hold UTF-32
// here (the platform's convention), one unit per code point, where Windows
// holds UTF-16. Every count of wide characters below is a count of wchar_t
// units, so a character outside the Basic Multilingual Plane is one unit here
// and two on Windows.
//
// Code pages:
//  - CP_UTF8 (65001): our own codec, with a fast path for runs of ASCII.
//  - CP_ACP (0): the system's ANSI code page. On Linux that is the character
//    set of the environment's locale as `locale charmap` reports it, taken
//    from LC_ALL, else LC_CTYPE, else LANG (a name the system does not know
//    gives "C", ANSI_X3.4-1968), whether or not the program ever called
//    setlocale. It is read once, at the first use, and kept for the life of
//    the process, as Windows fixes its ANSI code page at boot. A UTF-8 locale
//    gets the CP_UTF8 codec.
//  - Any other Windows code page number (936, 950, 932, 949, 1250-1258, 874,
//    437, 850, 54936 GB18030, 20127 US-ASCII, 28591-28605 ISO-8859-n, 20866
//    KOI8-R, 65000 UTF-7, ...): converted by ICU.
//
// Why ICU and not iconv for the code pages: ICU carries the Windows
// code-page tables themselves (windows-936-2000, windows-950-2000,
// ibm-5348 for 1252 ...), so its bytes match what Windows produces where
// glibc's iconv tables follow other standards (its CP936/GBK and BIG5 differ
// from Windows' in a few dozen mappings). ICU also offers fallback ("best
// fit") mappings and a settable substitution byte, which is what Windows
// does with flags 0. A locale whose character set ICU has no table for
// (ARMSCII-8, GEORGIAN-PS, PT154, RK1048, KOI8-T) leaves CP_ACP unsupported:
// both functions then fail with ERROR_INVALID_PARAMETER, as Windows does for
// a code page it does not have installed.
//
// Invalid input never fails a conversion with flags 0, as on Windows:
//  - Multi-byte to wide: each maximal ill-formed subsequence (Unicode's
//    "maximal subpart" rule, which Windows follows for UTF-8) becomes one
//    U+FFFD. For UTF-8 that covers overlong forms, encoded surrogates, values
//    above U+10FFFF, stray continuation bytes and sequences cut short by the
//    end of the input.
//  - Wide to multi-byte: a wide unit that is not a Unicode scalar value
//    (a surrogate, or above 0x10FFFF) becomes U+FFFD in UTF-8 and the default
//    character in other code pages; a character the code page lacks becomes
//    its best-fit character where the code page's table has one, otherwise
//    the default character "?" (or lpDefaultChar).
//
// Thread safety: every function may be called from any thread at once. ICU
// converters are pooled and each is used by one call at a time.
#pragma once

#include <winapi/base.h>

#define CP_ACP 0u
#define CP_OEMCP 1u
#define CP_UTF7 65000u
#define CP_UTF8 65001u

#define MB_PRECOMPOSED 0x00000001u
#define MB_ERR_INVALID_CHARS 0x00000008u
#define WC_ERR_INVALID_CHARS 0x00000080u

// Converts cbMultiByte bytes of lpMultiByteStr in `CodePage` to wide text.
//  - cbMultiByte == -1: the input is zero-terminated and the terminator is
//    converted too (it is counted in the result).
//  - cchWideChar == 0: size query; returns the exact number of wide units
//    the conversion produces, and lpWideCharStr is not touched.
//  - Otherwise writes at most cchWideChar units and returns how many were
//    written. No terminator is added beyond the input's own.
// dwFlags: 0, or MB_ERR_INVALID_CHARS to fail on invalid input instead of
// substituting U+FFFD (ERROR_NO_UNICODE_TRANSLATION). MB_PRECOMPOSED is
// accepted (and has no effect) except with CP_UTF8 and CP_UTF7, which take
// no other flag, as on Windows. Returns 0 on failure with GetLastError():
//  - ERROR_INVALID_PARAMETER: null input, cbMultiByte 0 or below -1,
//    cchWideChar negative, output null with cchWideChar > 0, input and output
//    at the same address, or an unsupported code page;
//  - ERROR_INVALID_FLAGS: other flags (any flag but MB_ERR_INVALID_CHARS for
//    CP_UTF8);
//  - ERROR_INSUFFICIENT_BUFFER: the output does not fit into cchWideChar
//    units (the output may then hold a partial conversion);
//  - ERROR_NO_UNICODE_TRANSLATION: see MB_ERR_INVALID_CHARS.
// Example: MultiByteToWideChar(CP_UTF8, 0, "\xC3\xA9" "a", 3, nullptr, 0) == 2.
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar);

// Converts cchWideChar wide units of lpWideCharStr to `CodePage`, the mirror
// of MultiByteToWideChar (-1 converts through the terminator, cbMultiByte 0
// is a size query, the same failures and codes).
// lpDefaultChar: the byte text that replaces characters the code page lacks
// (null: "?"); lpUsedDefaultChar: set to TRUE if any replacement happened,
// else FALSE. Both must be null for CP_UTF8 and CP_UTF7
// (ERROR_INVALID_PARAMETER otherwise), as on Windows.
// dwFlags: 0, or WC_ERR_INVALID_CHARS with CP_UTF8 to fail on a unit that is
// not a scalar value (ERROR_NO_UNICODE_TRANSLATION); anything else gives
// ERROR_INVALID_FLAGS.
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        BOOL* lpUsedDefaultChar);

// The number of the system's ANSI code page: the Windows number of the
// locale's character set (UTF-8 65001, GB18030 54936, GBK and GB2312 936,
// BIG5 950, EUC-KR 949, SHIFT_JIS 932, ISO-8859-1 28591, ANSI_X3.4-1968
// 20127, ...), or 0 for a character set without a Windows number. The
// character set itself is what CP_ACP converts with, number or not.
UINT GetACP();

namespace winapi {

// The character-set name CP_ACP converts with, as `locale charmap` prints it
// ("GB18030", "UTF-8", "ANSI_X3.4-1968"). Read once per process.
const char* AnsiCodePageCharset();

}  // namespace winapi
