// Code pages on POSIX. Windows converts between its code pages and UTF-16
// with tables it ships; Linux has no code-page numbers at all. We name a
// Windows code page's table in ICU (which carries the Windows tables), keep
// UTF-8 in our own codec, and give the ANSI code page the meaning a Linux
// program's narrow text has: the character set of the environment's locale.
// Wide text is UTF-32 here, so ICU's UTF-16 passes through a small chunk
// buffer on its way in or out. What cannot match Windows: wide counts are
// code points rather than UTF-16 units; a locale character set that ICU has
// no table for is an unsupported code page; and the ANSI code page follows
// the environment at first use instead of a system setting.
#include <winapi/codepage.h>
#include <winapi/error.h>

#include "utf8_codec.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucnv_err.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <langinfo.h>
#include <memory>
#include <mutex>
#include <utility>
#include <locale.h>
#include <string>
#include <strings.h>
#include <vector>

namespace winapi {
namespace {

bool IsUtf8Name(const char* name) {
  return ::strcasecmp(name, "UTF-8") == 0 || ::strcasecmp(name, "UTF8") == 0;
}

const std::string& AnsiCharset() {
  // newlocale(..., "") applies the POSIX precedence LC_ALL > LC_CTYPE > LANG
  // without touching the process's own locale, which stays "C" until the
  // program calls setlocale.
  static const std::string charset = [] {
    locale_t loc = ::newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) {
      loc = ::newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    }
    std::string name = "ANSI_X3.4-1968";
    if (loc != static_cast<locale_t>(nullptr)) {
      const char* codeset = ::nl_langinfo_l(CODESET, loc);
      if (codeset != nullptr && *codeset != '\0') name = codeset;
      ::freelocale(loc);
    }
    return name;
  }();
  return charset;
}

bool AnsiIsUtf8() {
  static const bool utf8 = IsUtf8Name(AnsiCharset().c_str());
  return utf8;
}

// The ANSI, OEM, Macintosh and thread code pages all mean the locale's
// character set here.
bool IsAnsiAlias(UINT cp) { return cp <= 3; }

bool UsesUtf8Codec(UINT cp) { return cp == CP_UTF8 || (IsAnsiAlias(cp) && AnsiIsUtf8()); }

// ICU names to try for a Windows code page number, most specific first.
std::vector<std::string> IcuNamesFor(UINT cp) {
  if (IsAnsiAlias(cp)) return {AnsiCharset()};
  switch (cp) {
    case 20127: return {"US-ASCII"};
    case 54936: return {"GB18030"};
    case 20866: return {"KOI8-R"};
    case 21866: return {"KOI8-U"};
    case 20932:
    case 51932: return {"EUC-JP"};
    case 51949: return {"EUC-KR"};
    case 20936: return {"GB2312"};
    case 65000: return {"UTF-7"};
    // UTF-16 and UTF-32 are not code pages the byte conversions take.
    case 1200:
    case 1201:
    case 12000:
    case 12001: return {};
    default: break;
  }
  // snprintf rather than std::to_string: the latter's digit table is a
  // unique symbol, which would keep the library from ever being unloaded.
  char n[16];
  if (cp >= 28591 && cp <= 28606) {
    std::snprintf(n, sizeof n, "%u", cp - 28590);
    return {std::string("ISO-8859-") + n};
  }
  std::snprintf(n, sizeof n, "%u", cp);
  return {std::string("windows-") + n, std::string("cp") + n, std::string("ibm-") + n};
}

// Writes U+FFFD for each ill-formed sequence, whatever the converter's own
// substitution character (single-byte tables would give U+001A).
void ToUnicodeReplacement(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                          UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close, clone: nothing to write
  static const UChar kReplacement = 0xFFFD;
  *err = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, err);
}

// Substitutes the default character and notes that it did.
void FromUnicodeDefaultChar(const void* context, UConverterFromUnicodeArgs* args,
                            const UChar* units, int32_t length, UChar32 cp,
                            UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;
  if (context != nullptr) *static_cast<bool*>(const_cast<void*>(context)) = true;
  UCNV_FROM_U_CALLBACK_SUBSTITUTE(nullptr, args, units, length, cp, reason, err);
}

UConverter* OpenConverter(UINT cp) {
  for (const std::string& name : IcuNamesFor(cp)) {
    UErrorCode err = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(name.c_str(), &err);
    if (U_SUCCESS(err) && converter != nullptr) {
      // Windows maps to best-fit characters with flags 0, and its default
      // character is "?" in every ANSI and OEM code page.
      ucnv_setFallback(converter, TRUE);
      err = U_ZERO_ERROR;
      ucnv_setSubstChars(converter, "?", 1, &err);
      return converter;
    }
    if (converter != nullptr) ucnv_close(converter);
  }
  return nullptr;
}

// Open converters not in use, shared by all threads: a call takes one for
// its code page (or opens one) and gives it back when done, so a converter
// is only ever used by one thread at a time and opening one, the costly
// part, happens once per code page and concurrent caller. The pool is a
// static object of the library, closed when the library is unloaded; a
// per-thread cache would instead pin the library in memory for as long as a
// thread that converted is alive.
class ConverterPool {
 public:
  ~ConverterPool() {
    for (const Entry& e : idle_) ucnv_close(e.converter);
  }

  // A reset converter for `cp`, or null when the code page is unsupported.
  UConverter* Take(UINT cp) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (std::size_t i = 0; i < idle_.size(); ++i) {
        if (idle_[i].cp == cp) {
          UConverter* converter = idle_[i].converter;
          idle_[i] = idle_.back();
          idle_.pop_back();
          ucnv_reset(converter);
          return converter;
        }
      }
      for (const UINT u : unsupported_) {
        if (u == cp) return nullptr;
      }
    }
    UConverter* converter = OpenConverter(cp);
    if (converter == nullptr) {
      std::lock_guard<std::mutex> lock(mutex_);
      unsupported_.push_back(cp);
    }
    return converter;
  }

  void Give(UINT cp, UConverter* converter) {
    std::lock_guard<std::mutex> lock(mutex_);
    idle_.push_back(Entry{cp, converter});
  }

 private:
  struct Entry {
    UINT cp;
    UConverter* converter;
  };
  std::mutex mutex_;
  std::vector<Entry> idle_;         // guarded by mutex_
  std::vector<UINT> unsupported_;   // guarded by mutex_
};

ConverterPool& Pool() {
  static ConverterPool pool;
  return pool;
}

// A converter taken from the pool for one call.
class Lease {
 public:
  explicit Lease(UINT cp) : cp_(cp), converter_(Pool().Take(cp)) {}
  ~Lease() {
    if (converter_ != nullptr) Pool().Give(cp_, converter_);
  }
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;
  UConverter* get() const { return converter_; }

 private:
  UINT cp_;
  UConverter* converter_;
};

constexpr std::size_t kChunk = 2048;  // UTF-16 units per pass through ICU

// Code page bytes -> UTF-32 through ICU. Returns the unit count, or -1 with
// the last error set.
int IcuToWide(UConverter* cnv, const char* in, std::size_t length, wchar_t* out,
              std::size_t capacity, bool strict) {
  UErrorCode err = U_ZERO_ERROR;
  if (strict) {
    ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
  } else {
    ucnv_setToUCallBack(cnv, ToUnicodeReplacement, nullptr, nullptr, nullptr, &err);
  }
  UChar chunk[kChunk];
  const char* src = in;
  const char* const end = in + length;
  std::size_t produced = 0;
  UChar pending_lead = 0;
  auto put = [&](wchar_t c) -> bool {
    if (out != nullptr) {
      if (produced == capacity) return false;
      out[produced] = c;
    }
    ++produced;
    return true;
  };
  for (;;) {
    UChar* target = chunk;
    err = U_ZERO_ERROR;
    ucnv_toUnicode(cnv, &target, chunk + kChunk, &src, end, nullptr, TRUE, &err);
    if (U_FAILURE(err) && err != U_BUFFER_OVERFLOW_ERROR) {
      SetLastError(strict ? ERROR_NO_UNICODE_TRANSLATION : ERROR_INVALID_PARAMETER);
      return -1;
    }
    for (const UChar* p = chunk; p != target; ++p) {
      const UChar u = *p;
      wchar_t c;
      if (pending_lead != 0) {
        if (u >= 0xDC00 && u <= 0xDFFF) {
          c = static_cast<wchar_t>(0x10000 + ((pending_lead - 0xD800) << 10) + (u - 0xDC00));
          pending_lead = 0;
          if (!put(c)) return SetLastError(ERROR_INSUFFICIENT_BUFFER), -1;
          continue;
        }
        pending_lead = 0;
        if (!put(0xFFFD)) return SetLastError(ERROR_INSUFFICIENT_BUFFER), -1;
      }
      if (u >= 0xD800 && u <= 0xDBFF) {
        pending_lead = u;
        continue;
      }
      c = (u >= 0xDC00 && u <= 0xDFFF) ? 0xFFFD : static_cast<wchar_t>(u);
      if (!put(c)) return SetLastError(ERROR_INSUFFICIENT_BUFFER), -1;
    }
    if (err != U_BUFFER_OVERFLOW_ERROR) break;
  }
  if (pending_lead != 0 && !put(0xFFFD)) return SetLastError(ERROR_INSUFFICIENT_BUFFER), -1;
  if (produced > 0x7FFFFFFF) return SetLastError(ERROR_INSUFFICIENT_BUFFER), -1;
  return static_cast<int>(produced);
}

// Size queries without a conversion. For a converter that maps every
// character on its own (no shift states, no many-to-one sequences), the
// size of a text is the sum of its characters' sizes, so a table of the
// bytes each BMP character becomes answers a size query with one lookup per
// character instead of a full pass through ICU. Built once per code page on
// the first large size query, from ICU itself with the same fallback and
// substitution settings, and shared, read-only, by every thread. Used for
// GB18030 (every astral character is four bytes there) and the single-byte
// code pages (astral characters go the ICU way).
struct LengthTable {
  unsigned char bmp[0x10000];
  unsigned char astral;  // bytes of any astral character; 0: ask ICU
};

constexpr std::size_t kTableWorthIt = 4096;  // units; smaller queries use ICU

const LengthTable* LengthTableFor(UINT cp, UConverter* cnv) {
  static std::mutex mutex;
  static std::vector<std::pair<UINT, std::unique_ptr<LengthTable>>> tables;  // guarded by mutex
  std::lock_guard<std::mutex> lock(mutex);
  for (const auto& t : tables) {
    if (t.first == cp) return t.second.get();
  }
  UErrorCode err = U_ZERO_ERROR;
  const char* name = ucnv_getName(cnv, &err);
  const UConverterType type = ucnv_getType(cnv);
  const bool gb18030 = U_SUCCESS(err) && ::strcasecmp(name, "gb18030") == 0;
  const bool single_byte = type == UCNV_SBCS || type == UCNV_LATIN_1 || type == UCNV_US_ASCII;
  std::unique_ptr<LengthTable> table;
  if (gb18030 || single_byte) {
    table.reset(new LengthTable);
    table->astral = gb18030 ? 4 : 0;
    err = U_ZERO_ERROR;
    ucnv_setFromUCallBack(cnv, FromUnicodeDefaultChar, nullptr, nullptr, nullptr, &err);
    bool ok = true;
    for (std::uint32_t c = 0; c <= 0xFFFF && ok; ++c) {
      const UChar unit = static_cast<UChar>(c);
      char bytes[16];
      err = U_ZERO_ERROR;
      const int32_t n = ucnv_fromUChars(cnv, bytes, sizeof bytes, &unit, 1, &err);
      ok = U_SUCCESS(err) && n > 0 && n < 256;
      table->bmp[c] = static_cast<unsigned char>(n);
    }
    ucnv_reset(cnv);
    if (!ok) table.reset();
  }
  tables.emplace_back(cp, std::move(table));
  return tables.back().second.get();
}

// The byte count of `in` from the table; false when a character needs ICU.
bool CountWithTable(const LengthTable& table, const wchar_t* in, std::size_t length,
                    std::size_t* bytes) {
  std::size_t total = 0;
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint32_t c = static_cast<std::uint32_t>(in[i]);
    if (c <= 0xFFFF) {
      total += table.bmp[c];
    } else if (c <= 0x10FFFF) {
      if (table.astral == 0) return false;
      total += table.astral;
    } else {
      total += table.bmp[0xDFFF];  // not a scalar value: substituted like a lone surrogate
    }
  }
  *bytes = total;
  return true;
}

// UTF-32 -> code page bytes through ICU.
int IcuFromWide(UConverter* cnv, const wchar_t* in, std::size_t length, char* out,
                std::size_t capacity, bool* used_default) {
  // The callback keeps its context pointer; it is cleared again on the way
  // out so a converter back in the pool never points at this frame.
  struct ClearContext {
    UConverter* cnv;
    ~ClearContext() {
      UErrorCode e = U_ZERO_ERROR;
      ucnv_setFromUCallBack(cnv, FromUnicodeDefaultChar, nullptr, nullptr, nullptr, &e);
    }
  } clear{cnv};
  UErrorCode err = U_ZERO_ERROR;
  ucnv_setFromUCallBack(cnv, FromUnicodeDefaultChar, used_default, nullptr, nullptr, &err);
  UChar chunk[kChunk];
  char sink[4 * kChunk];  // scratch target of the size query
  std::size_t produced = 0;
  std::size_t i = 0;
  do {
    // Refill the UTF-16 chunk, never splitting a surrogate pair. A unit that
    // is not a scalar value becomes a lone trail surrogate, which cannot pair
    // with anything before it and so reaches the substitution callback.
    std::size_t n = 0;
    while (i < length && n + 2 <= kChunk) {
      const std::uint32_t c = static_cast<std::uint32_t>(in[i++]);
      if (c < 0xD800 || (c > 0xDFFF && c < 0x10000)) {
        chunk[n++] = static_cast<UChar>(c);
      } else if (c >= 0x10000 && c <= 0x10FFFF) {
        chunk[n++] = static_cast<UChar>(0xD7C0 + (c >> 10));
        chunk[n++] = static_cast<UChar>(0xDC00 | (c & 0x3FF));
      } else {
        chunk[n++] = 0xDFFF;
      }
    }
    const UBool flush = i == length ? TRUE : FALSE;
    const UChar* src = chunk;
    for (;;) {
      char* target;
      char* target_end;
      if (out != nullptr) {
        target = out + produced;
        target_end = out + capacity;
      } else {
        target = sink;
        target_end = sink + sizeof sink;
      }
      char* const begin = target;
      err = U_ZERO_ERROR;
      ucnv_fromUnicode(cnv, &target, target_end, &src, chunk + n, nullptr, flush, &err);
      produced += static_cast<std::size_t>(target - begin);
      if (err == U_BUFFER_OVERFLOW_ERROR) {
        if (out != nullptr) return SetLastError(ERROR_INSUFFICIENT_BUFFER), -1;
        continue;  // the size query drains the scratch buffer and goes on
      }
      if (U_FAILURE(err)) return SetLastError(ERROR_INVALID_PARAMETER), -1;
      break;
    }
  } while (i < length);
  if (produced > 0x7FFFFFFF) return SetLastError(ERROR_INSUFFICIENT_BUFFER), -1;
  return static_cast<int>(produced);
}

}  // namespace

const char* AnsiCodePageCharset() { return AnsiCharset().c_str(); }

}  // namespace winapi

namespace {

// The result of a UTF-8 conversion as the Windows calls report it: the unit
// count, or 0 with the error that stopped it. A count of 2^31 units or more
// cannot be returned; so large an input exceeds the int length the calls
// take anyway.
int Utf8Outcome(const winapi::utf8::Result& r, bool strict) {
  if (strict && r.invalid) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (r.overflow) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return static_cast<int>(r.units);
}

}  // namespace

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
  if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (cchWideChar > 0 && lpWideCharStr == nullptr) ||
      static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const bool utf8 = winapi::UsesUtf8Codec(CodePage);
  const DWORD allowed = (utf8 || CodePage == CP_UTF7) ? MB_ERR_INVALID_CHARS
                                                      : (MB_ERR_INVALID_CHARS | MB_PRECOMPOSED);
  if ((dwFlags & ~allowed) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  const bool strict = (dwFlags & MB_ERR_INVALID_CHARS) != 0;
  const std::size_t length = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1
                                               : static_cast<std::size_t>(cbMultiByte);
  wchar_t* const out = cchWideChar == 0 ? nullptr : lpWideCharStr;
  const std::size_t capacity = static_cast<std::size_t>(cchWideChar);

  if (utf8) {
    return Utf8Outcome(winapi::utf8::DecodeToUtf32(
                           reinterpret_cast<const unsigned char*>(lpMultiByteStr), length, out,
                           capacity, strict),
                       strict);
  }

  const winapi::Lease lease(CodePage);
  UConverter* cnv = lease.get();
  if (cnv == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const int n = winapi::IcuToWide(cnv, lpMultiByteStr, length, out, capacity, strict);
  return n < 0 ? 0 : n;
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        BOOL* lpUsedDefaultChar) {
  if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && lpMultiByteStr == nullptr) ||
      static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const bool utf8 = winapi::UsesUtf8Codec(CodePage);
  if ((utf8 || CodePage == CP_UTF7) && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const DWORD allowed = utf8 ? WC_ERR_INVALID_CHARS : 0u;
  if ((dwFlags & ~allowed) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  const std::size_t length = cchWideChar == -1 ? std::wcslen(lpWideCharStr) + 1
                                               : static_cast<std::size_t>(cchWideChar);
  char* const out = cbMultiByte == 0 ? nullptr : lpMultiByteStr;
  const std::size_t capacity = static_cast<std::size_t>(cbMultiByte);

  if (utf8) {
    const bool strict = (dwFlags & WC_ERR_INVALID_CHARS) != 0;
    return Utf8Outcome(winapi::utf8::EncodeFromUtf32(
                           lpWideCharStr, length, reinterpret_cast<unsigned char*>(out), capacity,
                           strict),
                       strict);
  }

  const winapi::Lease lease(CodePage);
  UConverter* cnv = lease.get();
  if (cnv == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  bool used_default = false;
  bool custom_default = false;
  if (lpDefaultChar != nullptr && *lpDefaultChar != '\0') {
    // Windows takes one character: a single byte, or a lead and trail byte.
    UErrorCode err = U_ZERO_ERROR;
    ucnv_setSubstChars(cnv, lpDefaultChar, lpDefaultChar[1] != '\0' ? 2 : 1, &err);
    custom_default = U_SUCCESS(err);
  }
  if (out == nullptr && !custom_default && lpUsedDefaultChar == nullptr &&
      length >= winapi::kTableWorthIt) {
    const winapi::LengthTable* table = winapi::LengthTableFor(CodePage, cnv);
    std::size_t bytes = 0;
    if (table != nullptr && winapi::CountWithTable(*table, lpWideCharStr, length, &bytes)) {
      if (bytes > 0x7FFFFFFF) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
      }
      return static_cast<int>(bytes);
    }
  }
  const int n = winapi::IcuFromWide(cnv, lpWideCharStr, length, out, capacity, &used_default);
  if (custom_default) {
    UErrorCode err = U_ZERO_ERROR;
    ucnv_setSubstChars(cnv, "?", 1, &err);
  }
  if (n < 0) return 0;
  if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = used_default ? TRUE : FALSE;
  return n;
}

UINT GetACP() {
  struct Known {
    const char* charset;
    UINT cp;
  };
  static const Known kKnown[] = {
      {"UTF-8", 65001},       {"GB18030", 54936},     {"GBK", 936},
      {"GB2312", 936},        {"BIG5", 950},          {"BIG5-HKSCS", 950},
      {"EUC-KR", 949},        {"SHIFT_JIS", 932},     {"EUC-JP", 20932},
      {"ISO-8859-1", 28591},  {"ISO-8859-2", 28592},  {"ISO-8859-5", 28595},
      {"ISO-8859-7", 28597},  {"ISO-8859-9", 28599},  {"ISO-8859-15", 28605},
      {"KOI8-R", 20866},      {"KOI8-U", 21866},      {"CP1251", 1251},
      {"CP1252", 1252},       {"CP1255", 1255},       {"TIS-620", 874},
      {"ANSI_X3.4-1968", 20127},
  };
  const char* charset = winapi::AnsiCodePageCharset();
  for (const Known& k : kKnown) {
    if (::strcasecmp(k.charset, charset) == 0) return k.cp;
  }
  return 0;
}
