// The UTF-8 code page against ICU's UTF-8 conversion on arbitrary bytes:
// the same units (one U+FFFD per maximal ill-formed subsequence), exact size
// queries, the strict flag failing exactly when something was replaced, and
// the same bytes back from arbitrary 32-bit wide units.
#include <windows.h>

#include <unicode/ustring.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "mismatch: %s\n", what);
  std::abort();
}

// ICU's UTF-16 widened to UTF-32 (its output pairs are always well formed).
std::vector<wchar_t> Widen(const std::vector<UChar>& u16) {
  std::vector<wchar_t> out;
  for (std::size_t i = 0; i < u16.size(); ++i) {
    const UChar u = u16[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < u16.size()) {
      out.push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (u16[i + 1] - 0xDC00)));
      ++i;
    } else {
      out.push_back(static_cast<wchar_t>(u));
    }
  }
  return out;
}

void CheckEncode(const wchar_t* units, int count);

void CheckDecode(const char* bytes, int size) {
  std::vector<UChar> u16(static_cast<std::size_t>(size) + 1);
  int32_t length = 0;
  int32_t substitutions = 0;
  UErrorCode err = U_ZERO_ERROR;
  u_strFromUTF8WithSub(u16.data(), static_cast<int32_t>(u16.size()), &length, bytes, size, 0xFFFD,
                       &substitutions, &err);
  if (U_FAILURE(err)) Fail("reference failed");
  u16.resize(static_cast<std::size_t>(length));
  const std::vector<wchar_t> expected = Widen(u16);

  const int n = MultiByteToWideChar(CP_UTF8, 0, bytes, size, nullptr, 0);
  if (n != static_cast<int>(expected.size())) Fail("size query");
  std::vector<wchar_t> ours(expected.size() + 1, L'#');
  const int written = MultiByteToWideChar(CP_UTF8, 0, bytes, size, ours.data(), n);
  if (written != n) Fail("written count");
  if (!std::equal(expected.begin(), expected.end(), ours.begin())) Fail("decoded units");
  if (ours[expected.size()] != L'#') Fail("wrote past the count");
  if (n > 1 && MultiByteToWideChar(CP_UTF8, 0, bytes, size, ours.data(), n - 1) != 0) {
    Fail("short output accepted");
  }
  const int strict = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, size, nullptr, 0);
  if ((strict == 0) != (substitutions > 0)) Fail("strict flag");
  // Decoded text is mostly scalar values in runs (CJK, ASCII): encode it too.
  if (!expected.empty()) CheckEncode(expected.data(), static_cast<int>(expected.size()));
}

void CheckEncode(const wchar_t* units, int count) {
  std::vector<UChar> u16(static_cast<std::size_t>(count) * 2 + 1);
  int32_t length = 0;
  UErrorCode err = U_ZERO_ERROR;
  u_strFromUTF32WithSub(u16.data(), static_cast<int32_t>(u16.size()), &length,
                        reinterpret_cast<const UChar32*>(units), count, 0xFFFD, nullptr, &err);
  if (U_FAILURE(err)) Fail("reference UTF-32 failed");
  std::vector<char> expected(static_cast<std::size_t>(length) * 3 + 1);
  int32_t bytes = 0;
  err = U_ZERO_ERROR;
  u_strToUTF8(expected.data(), static_cast<int32_t>(expected.size()), &bytes, u16.data(), length,
              &err);
  if (U_FAILURE(err)) Fail("reference UTF-8 failed");

  const int n = WideCharToMultiByte(CP_UTF8, 0, units, count, nullptr, 0, nullptr, nullptr);
  if (n != bytes) Fail("encode size query");
  std::vector<char> ours(static_cast<std::size_t>(n) + 1, '#');
  if (WideCharToMultiByte(CP_UTF8, 0, units, count, ours.data(), n, nullptr, nullptr) != n) {
    Fail("encode count");
  }
  if (std::memcmp(ours.data(), expected.data(), static_cast<std::size_t>(n)) != 0) Fail("bytes");
  if (ours[static_cast<std::size_t>(n)] != '#') Fail("encode wrote past the count");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > (1u << 16)) return 0;
  CheckDecode(reinterpret_cast<const char*>(data), static_cast<int>(size));
  std::vector<wchar_t> units(size / sizeof(wchar_t));
  if (!units.empty()) {
    std::memcpy(units.data(), data, units.size() * sizeof(wchar_t));
    CheckEncode(units.data(), static_cast<int>(units.size()));
  }
  return 0;
}
