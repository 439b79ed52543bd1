// Text encodings and string utilities.
//
// Three encodings meet in the library: UTF-8 (code page 65001; file paths at
// the library's interface), Local (code page 0, the system's ANSI code page;
// the platform's narrow interfaces) and Wide (wchar_t strings). Wide strings
// are UTF-16 on Windows; on Linux wchar_t is 32 bits and wide strings hold
// UTF-32, one unit per character, the platform's convention. str_len counts
// UTF-16 units on both.
//
// On Linux the Local code page is the character set of the environment's
// locale as `locale charmap` reports it (LC_ALL, else LC_CTYPE, else LANG),
// read once at first use, whether or not the program called setlocale.
//
// Every function is stateless and may be called from any thread. Nothing here
// throws except std::bad_alloc from the by-value forms and StringUtil, and
// nothing sets the library's error record.
#pragma once

#include <OskaBase/Export.h>

#include <cstddef>
#include <string>

namespace Oska {
namespace Base {

// --- Conversions, first family: pointer and length in, result through `out`.
//
// Each sizes its output exactly with the platform's size query, allocates
// without throwing, converts, and replaces *out with the result. `length` is
// a count of input units (bytes, or wchar_t units); zero bytes inside it are
// converted like any other character. Only the low 32 bits of `length` reach
// the platform, whose counts are 32-bit: a text of 2^31 units or more is not
// converted as a whole.
//
// Returns false, leaving *out untouched, only when `text` or `out` is null or
// a buffer cannot be allocated. Everything else returns true: invalid input
// sequences become replacement characters (U+FFFD in Unicode, "?" in the
// Local code page), and an empty input or a conversion the platform refuses
// (an unsupported Local character set) leaves *out empty.
//
//   std::wstring w; UTF8ToWide("\xC3\xA9" "a", 3, &w) && w.size() == 2
//   std::string s;  LocalToUTF8("x", 0, &s) && s.empty()
//   UTF8ToLocal(nullptr, 5, &s) == false        // s unchanged

// UTF-8 -> Wide -> Local.
OSKABASE_API bool UTF8ToLocal(const char* text, size_t length, std::string* out);
// Local -> Wide -> UTF-8.
OSKABASE_API bool LocalToUTF8(const char* text, size_t length, std::string* out);
OSKABASE_API bool UTF8ToWide(const char* text, size_t length, std::basic_string<wchar_t>* out);
OSKABASE_API bool WideToUTF8(const wchar_t* text, size_t length, std::string* out);
OSKABASE_API bool LocalToWide(const char* text, size_t length, std::basic_string<wchar_t>* out);
OSKABASE_API bool WideToLocal(const wchar_t* text, size_t length, std::string* out);

// --- Conversions, second family: the whole string in, the result by value.
// Each calls its first-family twin on the string's data and size and returns
// what it produced; empty on failure. UTF8ToWide(std::string()) is empty.
OSKABASE_API std::string UTF8ToLocal(const std::string& text);
OSKABASE_API std::string LocalToUTF8(const std::string& text);
OSKABASE_API std::basic_string<wchar_t> UTF8ToWide(const std::string& text);
OSKABASE_API std::string WideToUTF8(const std::basic_string<wchar_t>& text);
OSKABASE_API std::basic_string<wchar_t> LocalToWide(const std::string& text);
OSKABASE_API std::string WideToLocal(const std::basic_string<wchar_t>& text);

namespace StringUtil {

// A code page identifier, passed to the platform unchanged by str_len. Any
// identifier may be used (static_cast<STR_TYPE>(936)); the named ones are
// the common cases.
enum STR_TYPE : int {
  STR_LOCAL = 0,       // the system's ANSI code page
  STR_ANSI = 0,        // the same
  STR_GBK = 936,       // simplified Chinese (Windows)
  STR_BIG5 = 950,      // traditional Chinese (Windows)
  STR_GB18030 = 54936,
  STR_UTF8 = 65001,
};

// Replaces occurrences of `from` in the zero-terminated `text` by `to`,
// searching left to right. After each replacement the next search starts at
// found position + len(to) - len(from) + 1: for a one-character `from` that
// is the plain replace-all where inserted text is not searched again; for a
// longer `from` the search resumes len(from) - 1 characters before the end of
// the inserted text, so an occurrence straddling its end is replaced too.
// An empty `from` inserts `to` before every character and at the end.
// Where that next start would be negative (`from` at least two characters
// longer than `to`, the occurrence near the start), the search restarts at 0
// rather than wrapping past the end and silently stopping: every occurrence
// is then replaced, and the text shrinks with each replacement so the loop
// ends.
//   StringReplace("a.b.c", ".", "::") == "a::b::c"
//   StringReplace("abb", "ab", "xa") == "xxa"
//   StringReplace("ab", "", "-") == "-a-b-"
//   StringReplace("abcabc", "abc", "") == ""
// `text` must not be null.
OSKABASE_API std::string StringReplace(const char* text, const std::string& from,
                                       const std::string& to);
// The pointer overload on text.c_str(): the text ends at its first zero.
OSKABASE_API std::string StringReplace(const std::string& text, const std::string& from,
                                       const std::string& to);
// As above on the first `limit` characters of the text (taken up to its first
// zero); the rest is dropped from the result.
//   StringReplace("hello world", 5, "l", "L") == "heLLo"
OSKABASE_API std::string StringReplace(const std::string& text, size_t limit,
                                       const std::string& from, const std::string& to);

// Every byte through the C library's toupper / tolower of the process's
// current C locale. Bytes are passed as unsigned char values (never as
// negative numbers, which toupper is not defined for); in the default "C"
// locale only ASCII letters change and bytes above 0x7F stay as they are.
//   UpperCase("Abc-1") == "ABC-1"
OSKABASE_API std::string UpperCase(const std::string& text);
OSKABASE_API std::string LowerCase(const std::string& text);

// Local -> UTF-8 (UTF82Local: UTF-8 -> Local) of the text up to its first
// zero byte. Never fails: when the platform refuses a step, one line is
// logged (level 5, module "Base", "MultiByteToWideChar failed, error
// code[<GetLastError()>]." or the WideCharToMultiByte twin) and the input is
// returned unchanged. An empty text returns empty without any conversion;
// pure ASCII comes back as it went in.
OSKABASE_API std::string Local2UTF8(const std::string& text);
OSKABASE_API std::string UTF82Local(const std::string& text);

// True if the text holds any of the nine characters a Windows file name may
// not contain: \ / : * ? " < > |  (all of the string, embedded zeros
// included, is searched).
//   ContainsIllegalCharacters("a<b") && ContainsIllegalCharacters("C:\\dir")
//   !ContainsIllegalCharacters("name.txt") && !ContainsIllegalCharacters("")
OSKABASE_API bool ContainsIllegalCharacters(const std::string& text);

// printf-style formatting into a string of exactly the needed size, with no
// length limit. A format the C library reports an error for (a negative
// count), or a null format, gives an empty string.
//   str_fmt("+%02d", 8) == "+08"
OSKABASE_API std::string str_fmt(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The number of UTF-16 units the text makes when read in code page `type`
// (a character outside the Basic Multilingual Plane counts two, on Linux
// too). Empty text, an unsupported code page or a failed conversion give 0;
// ill-formed bytes count as the replacement characters they become.
//   str_len("\xE6\x97\xA5\xE6\x9C\xAC", STR_UTF8) == 2
//   str_len("\xF0\x9F\x98\x80", STR_UTF8) == 2
OSKABASE_API int str_len(const std::string& text, STR_TYPE type);

}  // namespace StringUtil
}  // namespace Base
}  // namespace Oska
