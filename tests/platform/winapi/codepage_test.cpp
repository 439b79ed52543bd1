// Code-page conversions: the UTF-8 codec, the ICU-backed Windows code pages,
// and the ANSI code page taken from the environment's locale (in children
// started with LANG / LC_ALL set, as a program meets them at start-up).
#include <windows.h>

#include "platform/winapi/ErrorOf.h"
#include "support/RerunInChild.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using oska_test::InChild;

// Converts as callers do, size query first; both answers must agree.
template <typename Out, typename Convert>
Out Converted(Convert convert) {
  const int n = convert(nullptr, 0);
  Out out(static_cast<std::size_t>(n), 0);
  if (n > 0) {
    EXPECT_EQ(convert(&out[0], n), n) << "size query and conversion disagree";
  }
  return out;
}

std::wstring ToWide(UINT cp, const std::string& bytes, DWORD flags = 0) {
  return Converted<std::wstring>([&](wchar_t* out, int n) {
    return MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), out, n);
  });
}

std::string ToBytes(UINT cp, const std::wstring& wide) {
  return Converted<std::string>([&](char* out, int n) {
    return WideCharToMultiByte(cp, 0, wide.data(), static_cast<int>(wide.size()), out, n, nullptr, nullptr);
  });
}

const wchar_t kFffd = 0xFFFD;

TEST(Utf8CodePage, DecodesWellFormedTextWithAstralCharactersAndZeros) {
  EXPECT_EQ(ToWide(CP_UTF8, "\xC3\xA9" "a"), std::wstring(L"\u00E9a"));
  EXPECT_EQ(ToWide(CP_UTF8, std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
  // One astral character is one UTF-32 unit.
  EXPECT_EQ(ToWide(CP_UTF8, "\xF0\x9F\x98\x80"), std::wstring(1, static_cast<wchar_t>(0x1F600)));
  EXPECT_EQ(ToWide(CP_UTF8, "\xE6\x97\xA5\xE6\x9C\xAC"), std::wstring(L"\u65E5\u672C"));
  EXPECT_EQ(ToWide(CP_UTF8, "\xEF\xBF\xBF\xF4\x8F\xBF\xBF"),
            (std::wstring{static_cast<wchar_t>(0xFFFF), static_cast<wchar_t>(0x10FFFF)}));
}

TEST(Utf8CodePage, EachMaximalIllFormedSubsequenceBecomesOneReplacement) {
  struct Case {
    std::string in;
    std::wstring out;
  };
  const std::vector<Case> cases = {
      {"\x80", {kFffd}},
      {"\xFF", {kFffd}},
      {"\xC0\xAF", {kFffd, kFffd}},              // overlong lead: each byte alone
      {"\xE0\x80\x80", {kFffd, kFffd, kFffd}},   // overlong three-byte form
      {"\xED\xA0\x80", {kFffd, kFffd, kFffd}},   // an encoded surrogate
      {"\xF4\x90\x80\x80", {kFffd, kFffd, kFffd, kFffd}},  // above U+10FFFF
      {"\xE6\x97", {kFffd}},                     // cut short by the end
      {"\xF0\x9F\x98", {kFffd}},
      {"\xE6\x97" "A", {kFffd, L'A'}},
      // The worked example of the Unicode standard, section 3.9.
      {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
       {L'a', kFffd, kFffd, kFffd, L'b', kFffd, L'c', kFffd, kFffd, L'd'}},
  };
  for (const Case& c : cases) EXPECT_EQ(ToWide(CP_UTF8, c.in), c.out) << "input " << c.in.size();
}

TEST(Utf8CodePage, StrictFlagFailsOnIllFormedInput) {
  SetLastError(0);
  EXPECT_EQ(ErrorOf(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "ok\xC0", 3, nullptr, 0)),
            ERROR_NO_UNICODE_TRANSLATION);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "ok", 2, nullptr, 0), 2);
  const wchar_t lone[] = {0xD800};
  EXPECT_EQ(ErrorOf(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 1, nullptr, 0, nullptr, nullptr)),
            ERROR_NO_UNICODE_TRANSLATION);
}

TEST(Utf8CodePage, EncodesScalarValuesAndReplacesTheRest) {
  EXPECT_EQ(ToBytes(CP_UTF8, std::wstring{L'A', 0xE9, 0x65E5, static_cast<wchar_t>(0x1F600)}),
            "A\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80");
  EXPECT_EQ(ToBytes(CP_UTF8, std::wstring{0xD800, L'x', 0xDFFF}),
            "\xEF\xBF\xBDx\xEF\xBF\xBD");
  EXPECT_EQ(ToBytes(CP_UTF8, std::wstring{static_cast<wchar_t>(0x110000), static_cast<wchar_t>(-1)}),
            "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(ToBytes(CP_UTF8, std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
}

// The ASCII fast path works on blocks; a non-ASCII character at every offset
// around a block boundary, and at the very end, must come through unchanged.
TEST(Utf8CodePage, RoundTripsAcrossEveryBlockBoundary) {
  for (std::size_t at = 0; at < 70; ++at) {
    for (const char* ch : {"\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80"}) {
      std::string text(70, 'x');
      text.insert(at, ch);
      const std::wstring wide = ToWide(CP_UTF8, text);
      ASSERT_EQ(wide.size(), 71u) << at;
      EXPECT_EQ(wide[at], ToWide(CP_UTF8, ch)[0]);
      EXPECT_EQ(ToBytes(CP_UTF8, wide), text) << at;
    }
  }
}

// CJK runs are decoded several characters a step; a sequence that needs the
// careful path (E0 and ED leads, overlongs, encoded surrogates, a stray
// continuation byte, a four-byte character) at any position of a run must
// decode as it does on its own.
TEST(Utf8CodePage, CjkRunsDecodeLikeTheirPiecesAtEveryPosition) {
  const std::string cjk = "\xE4\xB8\xAD";  // U+4E2D
  const char* const odd[] = {"\xE0\xA0\x80", "\xED\x9F\xBF", "\xED\xA0\x80", "\xE0\x80\x80",
                             "\x80",          "\xF0\x9F\x98\x80", "a", "\xC3\xA9"};
  for (const char* piece : odd) {
    for (int at = 0; at <= 20; ++at) {
      std::string text;
      std::wstring expected;
      for (int k = 0; k <= 20; ++k) {
        if (k == at) {
          text += piece;
          expected += ToWide(CP_UTF8, piece);
        }
        if (k < 20) {
          text += cjk;
          expected += static_cast<wchar_t>(0x4E2D);
        }
      }
      EXPECT_EQ(ToWide(CP_UTF8, text), expected) << at;
      EXPECT_EQ(ToBytes(CP_UTF8, ToWide(CP_UTF8, text)), ToBytes(CP_UTF8, expected)) << at;
    }
  }
}

// Outputs of many megabytes are written past the caches; the result must be
// the same, whatever the alignment of the output.
TEST(Utf8CodePage, LargeOutputsConvertExactly) {
  std::string text;
  std::wstring expected;
  while (text.size() < (5u << 20)) {
    text.append(777777, 'a');
    expected.append(777777, L'a');
    text += "\xC3\xA9";
    expected += static_cast<wchar_t>(0xE9);
  }
  for (const std::size_t shift : {std::size_t{0}, std::size_t{1}, std::size_t{3}}) {
    std::vector<wchar_t> out(expected.size() + 8, L'#');
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      out.data() + shift, static_cast<int>(expected.size()));
    ASSERT_EQ(n, static_cast<int>(expected.size()));
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin() + shift)) << shift;
    EXPECT_EQ(out[expected.size() + shift], L'#');
  }
}

TEST(Utf8CodePage, MinusOneLengthConvertsThroughTheTerminator) {
  wchar_t out[8] = {L'#', L'#', L'#', L'#', L'#', L'#', L'#', L'#'};
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 0), 4);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, out, 8), 4);
  EXPECT_EQ(std::wstring(out, 4), std::wstring(L"abc\0", 4));
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"\u00E9", -1, nullptr, 0, nullptr, nullptr), 3);
}

TEST(CodePageConversion, TooSmallOutputFailsWithoutWritingPastIt) {
  const std::string text(40, 'a');
  std::vector<wchar_t> wide(41, L'#');
  SetLastError(0);
  EXPECT_EQ(ErrorOf(MultiByteToWideChar(CP_UTF8, 0, text.data(), 40, wide.data(), 39)), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(wide[39], L'#');
  std::vector<char> bytes(8, '#');
  const std::wstring chinese(4, static_cast<wchar_t>(0x4E2D));
  for (const UINT cp : {UINT{CP_UTF8}, 936u}) {
    EXPECT_EQ(ErrorOf(WideCharToMultiByte(cp, 0, chinese.data(), 4, bytes.data(), 7, nullptr, nullptr)),
              ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(bytes[7], '#');
  }
}

TEST(CodePageConversion, RejectsBadArgumentsWithWindowsCodes) {
  wchar_t w[4];
  char b[4];
  auto mb = [&](UINT cp, DWORD flags, const char* in, int n, wchar_t* out, int cap) {
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(cp, flags, in, n, out, cap), 0);
    return GetLastError();
  };
  EXPECT_EQ(mb(CP_UTF8, 0, nullptr, 3, w, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(mb(CP_UTF8, 0, "abc", 0, w, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(mb(CP_UTF8, 0, "abc", -2, w, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(mb(CP_UTF8, 0, "abc", 3, w, -1), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(mb(CP_UTF8, 0, "abc", 3, nullptr, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(mb(CP_UTF8, MB_PRECOMPOSED, "abc", 3, w, 4), ERROR_INVALID_FLAGS);
  EXPECT_EQ(mb(1200, 0, "abc", 3, w, 4), ERROR_INVALID_PARAMETER);   // UTF-16 is no byte code page
  EXPECT_EQ(mb(59999, 0, "abc", 3, w, 4), ERROR_INVALID_PARAMETER);  // no such code page
  BOOL used = FALSE;
  SetLastError(0);
  EXPECT_EQ(ErrorOf(WideCharToMultiByte(CP_UTF8, 0, L"a", 1, b, 4, nullptr, &used)), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(ErrorOf(WideCharToMultiByte(1252, WC_ERR_INVALID_CHARS, L"a", 1, b, 4, nullptr, nullptr)),
            ERROR_INVALID_FLAGS);
  EXPECT_EQ(ErrorOf(WideCharToMultiByte(CP_UTF8, 0, L"a", 0, b, 4, nullptr, nullptr)), ERROR_INVALID_PARAMETER);
}

TEST(WindowsCodePages, UseTheWindowsTables) {
  // GBK (936), Big5 (950), Shift-JIS (932), Western European (1252).
  EXPECT_EQ(ToWide(936, "\xD6\xD0\xCE\xC4"), std::wstring(L"\u4E2D\u6587"));
  EXPECT_EQ(ToBytes(936, L"\u4E2D\u6587"), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(ToWide(950, "\xA4\xA4"), std::wstring(L"\u4E2D"));
  EXPECT_EQ(ToWide(932, "\x93\xFA"), std::wstring(L"\u65E5"));
  EXPECT_EQ(ToWide(1252, "\x80\xE9"), std::wstring(L"\u20AC\u00E9"));  // euro sign at 0x80
  // A position 1252 leaves undefined passes through as that control character.
  EXPECT_EQ(ToWide(1252, "\x81"), std::wstring(1, static_cast<wchar_t>(0x81)));
  EXPECT_EQ(ToBytes(1252, L"\u20AC"), "\x80");
  // GB18030 (54936) reaches every code point, astral ones included.
  const std::wstring astral{static_cast<wchar_t>(0x1F600), L'a', static_cast<wchar_t>(0x20000)};
  const std::string gb = ToBytes(54936, astral);
  EXPECT_EQ(gb.size(), 9u);
  EXPECT_EQ(ToWide(54936, gb), astral);
}

TEST(WindowsCodePages, MissingCharactersBecomeTheDefaultCharacter) {
  char out[8] = {};
  BOOL used = FALSE;
  EXPECT_EQ(WideCharToMultiByte(1252, 0, L"a\u4E2Db", 3, out, 8, nullptr, &used), 3);
  EXPECT_EQ(std::string(out, 3), "a?b");
  EXPECT_EQ(used, TRUE);
  EXPECT_EQ(WideCharToMultiByte(1252, 0, L"a\u4E2Db", 3, out, 8, "*", &used), 3);
  EXPECT_EQ(std::string(out, 3), "a*b");
  EXPECT_EQ(WideCharToMultiByte(1252, 0, L"ab", 2, out, 8, nullptr, &used), 2);
  EXPECT_EQ(used, FALSE);
  // The custom default character does not stick to later calls.
  EXPECT_EQ(ToBytes(1252, L"\u4E2D"), "?");
  // A wide unit that is no scalar value is replaced too, never paired up.
  EXPECT_EQ(ToBytes(936, std::wstring{0xD83D, 0xDE00}), "??");
}

TEST(WindowsCodePages, IllFormedBytesBecomeReplacementCharacters) {
  // A GBK lead byte with no trail byte, at the end and before ASCII.
  EXPECT_EQ(ToWide(936, "a\x81"), (std::wstring{L'a', kFffd}));
  const std::wstring w = ToWide(54936, "\x81\x20z");
  ASSERT_FALSE(w.empty());
  EXPECT_EQ(w[0], kFffd);
  EXPECT_EQ(w.back(), L'z');
}

// Large size queries of GB18030 and the single-byte code pages are answered
// from a per-character table; they must equal what the conversion writes,
// whatever the text holds (unmappable, astral and invalid units included).
TEST(WindowsCodePages, LargeSizeQueriesEqualTheConversion) {
  std::wstring text;
  unsigned seed = 12345;
  while (text.size() < 20000) {
    seed = seed * 1103515245u + 12345u;
    const unsigned r = (seed >> 8) % 100;
    const unsigned v = seed >> 12;
    if (r < 40) {
      text += static_cast<wchar_t>(v % 0x80);
    } else if (r < 70) {
      text += static_cast<wchar_t>(0x4E00 + v % 0x5000);
    } else if (r < 85) {
      text += static_cast<wchar_t>(0x80 + v % 0xFF00);  // BMP, surrogates included
    } else if (r < 95) {
      text += static_cast<wchar_t>(0x10000 + v % 0x100000);
    } else {
      text += static_cast<wchar_t>(r < 98 ? 0x110000 + v % 1000 : -static_cast<int>(v % 5) - 1);
    }
  }
  for (const UINT cp : {54936u, 1252u, 28591u, 20127u, 936u}) {
    for (const int size : {5000, static_cast<int>(text.size())}) {
      const std::string whole = ToBytes(cp, text.substr(0, static_cast<std::size_t>(size)));
      ASSERT_FALSE(whole.empty()) << cp;
      std::string out(whole.size(), '\0');
      EXPECT_EQ(WideCharToMultiByte(cp, 0, text.data(), size, &out[0], static_cast<int>(out.size()) - 1,
                                    nullptr, nullptr), 0) << cp;
    }
  }
}

// Converters are shared through a pool and the size tables are built on
// first use; threads converting at once must each get their own converter
// and all see the same finished table.
TEST(WindowsCodePages, ConcurrentConversionsAgree) {
  std::wstring text;
  for (int i = 0; i < 6000; ++i) text += static_cast<wchar_t>(i % 3 ? 0x4E00 + i : L'a' + i % 26);
  const std::string expected_gb = ToBytes(54936, text);
  const std::string expected_1252 = ToBytes(1252, text);
  std::vector<std::thread> threads;
  std::atomic<int> mismatches{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 20; ++round) {
        const UINT cp = (t + round) % 2 ? 54936u : 1252u;
        const std::string bytes = ToBytes(cp, text);
        if (bytes != (cp == 54936u ? expected_gb : expected_1252)) ++mismatches;
        if (cp == 54936u && ToWide(cp, bytes) != text) ++mismatches;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(mismatches.load(), 0);
}

// --- The ANSI code page, in children with the locale variables set.

TEST(AnsiCodePageInChild, Gb18030LocaleRoundTripsChineseAndAstralText) {
  if (!InChild()) GTEST_SKIP() << "runs in a child with LANG=zh_CN.GB18030";
  EXPECT_STREQ(winapi::AnsiCodePageCharset(), "GB18030");
  EXPECT_EQ(GetACP(), 54936u);
  const std::wstring text{L'A', 0x4E2D, 0x6587, static_cast<wchar_t>(0x1F600), 0, L'z'};
  const std::string bytes = ToBytes(CP_ACP, text);
  EXPECT_EQ(bytes.substr(0, 5), "A\xD6\xD0\xCE\xC4");
  EXPECT_EQ(ToWide(CP_ACP, bytes), text);
  // The process's own C locale was never changed.
  EXPECT_EQ(MB_CUR_MAX, 1u);
}

TEST(AnsiCodePageInChild, LcAllOverridesLang) {
  if (!InChild()) GTEST_SKIP() << "runs in a child with LC_ALL=en_US.UTF-8";
  EXPECT_STREQ(winapi::AnsiCodePageCharset(), "UTF-8");
  EXPECT_EQ(GetACP(), 65001u);
  EXPECT_EQ(ToWide(CP_ACP, "\xE4\xB8\xAD\xFF"), (std::wstring{0x4E2D, kFffd}));
}

TEST(AnsiCodePageInChild, UnknownLocaleMeansAscii) {
  if (!InChild()) GTEST_SKIP() << "runs in a child with LANG=xx_NO.SUCH";
  EXPECT_STREQ(winapi::AnsiCodePageCharset(), "ANSI_X3.4-1968");
  EXPECT_EQ(GetACP(), 20127u);
  EXPECT_EQ(ToWide(CP_ACP, "a\xE9"), (std::wstring{L'a', kFffd}));
  EXPECT_EQ(ToBytes(CP_ACP, L"a\u00E9"), "a?");
}

TEST(AnsiCodePageInChild, CharsetWithoutATableIsUnsupported) {
  if (!InChild()) GTEST_SKIP() << "runs in a child with LANG=hy_AM.ARMSCII-8";
  EXPECT_STREQ(winapi::AnsiCodePageCharset(), "ARMSCII-8");
  EXPECT_EQ(ErrorOf(MultiByteToWideChar(CP_ACP, 0, "abc", 3, nullptr, 0)), ERROR_INVALID_PARAMETER);
  // UTF-8 is unaffected by the locale.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, nullptr, 0), 3);
}

TEST(AnsiCodePage, FollowsTheEnvironmentLocale) {
  EXPECT_CHILD_PASSES("AnsiCodePageInChild.Gb18030LocaleRoundTripsChineseAndAstralText",
                      {{"LANG", "zh_CN.GB18030"}});
  EXPECT_CHILD_PASSES("AnsiCodePageInChild.LcAllOverridesLang",
                      {{"LANG", "zh_CN.GB18030"}, {"LC_ALL", "en_US.UTF-8"}});
  EXPECT_CHILD_PASSES("AnsiCodePageInChild.UnknownLocaleMeansAscii", {{"LANG", "xx_NO.SUCH"}});
  EXPECT_CHILD_PASSES("AnsiCodePageInChild.CharsetWithoutATableIsUnsupported",
                      {{"LANG", "hy_AM.ARMSCII-8"}});
}

}  // namespace
