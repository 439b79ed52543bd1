// StringUtil and the two conversion families, through the installed
// interface. Cases that depend on the Local code page run in children
// started with LANG set, since the Local character set is taken from the
// environment once per process.
#include <OskaBase/OskaBase.h>

#include "support/RerunInChild.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

using namespace Oska::Base;
using oska_test::InChild;

const std::wstring::value_type kFffd = 0xFFFD;

// --- StringReplace

TEST(StringReplace, ReplacesLeftToRightResumingAfterThePatternStart) {
  const char* const cases[][4] = {
      {"a.b.c", ".", "::", "a::b::c"}, {"aaa", "a", "aa", "aaaaaa"}, {"abc", "x", "y", "abc"}, {"", "a", "b", ""},
      // After "ab" -> "xa" at 0 the search resumes at 1, inside the insertion,
      // and finds the "ab" made of the inserted "a" and the original "b".
      {"abb", "ab", "xa", "xxa"}, {"aXbXc", "X", "--", "a--b--c"},
      // Shrinking replacements near the start still replace every occurrence.
      {"abcabc", "abc", "", ""}, {"xyz-xyz-xyz", "xyz", "1", "1-1-1"}, {"aaaa", "aaa", "b", "ba"}};
  for (const auto& c : cases) EXPECT_EQ(StringUtil::StringReplace(c[0], c[1], c[2]), c[3]) << c[0];
}

TEST(StringReplace, EmptyPatternInsertsBeforeEveryCharacterAndAtTheEnd) {
  EXPECT_EQ(StringUtil::StringReplace("ab", "", "-"), "-a-b-");
  EXPECT_EQ(StringUtil::StringReplace("ab", "", ""), "ab");
}

TEST(StringReplace, StopsAtTheFirstZeroAndHonoursTheLimit) {
  EXPECT_EQ(StringUtil::StringReplace(std::string("a.b\0.c", 6), ".", "!"), "a!b");
  EXPECT_EQ(StringUtil::StringReplace(std::string("hello world"), 5, "l", "L"), "heLLo");
  EXPECT_EQ(StringUtil::StringReplace(std::string("hello"), 50, "l", "L"), "heLLo");
  EXPECT_EQ(StringUtil::StringReplace(std::string("he\0llo world", 12), 5, "l", "L"), "he");
  EXPECT_EQ(StringUtil::StringReplace(std::string("hello"), 0, "", "-"), "-");
}

// --- Case, file-name characters, formatting

TEST(CaseMapping, ChangesOnlyAsciiLettersInTheDefaultLocale) {
  EXPECT_EQ(StringUtil::UpperCase("Abc-1"), "ABC-1");
  EXPECT_EQ(StringUtil::LowerCase("AbC-1"), "abc-1");
  const std::string high("\xE9\xC9\xFF\x80", 4);
  EXPECT_EQ(StringUtil::UpperCase(high), high);
  EXPECT_EQ(StringUtil::LowerCase(high), high);
  EXPECT_EQ(StringUtil::UpperCase(std::string("a\0b", 3)), std::string("A\0B", 3));
}

TEST(CaseMapping, FollowsTheProcessCLocale) {
  const std::string saved = std::setlocale(LC_CTYPE, nullptr);
  ASSERT_NE(std::setlocale(LC_CTYPE, "en_US.ISO-8859-1"), nullptr) << "locales-all is needed";
  EXPECT_EQ(StringUtil::UpperCase("\xE9t\xE9"), "\xC9T\xC9");  // e-acute in Latin-1
  EXPECT_EQ(StringUtil::LowerCase("\xC9T\xC9"), "\xE9t\xE9");
  std::setlocale(LC_CTYPE, saved.c_str());
  EXPECT_EQ(StringUtil::UpperCase("\xE9"), "\xE9");
}

TEST(ContainsIllegalCharacters, FindsAnyOfTheNineFileNameCharacters) {
  EXPECT_TRUE(StringUtil::ContainsIllegalCharacters("a<b"));
  EXPECT_TRUE(StringUtil::ContainsIllegalCharacters("C:\\dir"));
  for (const char c : std::string("\\/:*?\"<>|")) {
    EXPECT_TRUE(StringUtil::ContainsIllegalCharacters(std::string("name") + c)) << c;
  }
  EXPECT_FALSE(StringUtil::ContainsIllegalCharacters("name.txt"));
  EXPECT_FALSE(StringUtil::ContainsIllegalCharacters(""));
  EXPECT_TRUE(StringUtil::ContainsIllegalCharacters(std::string("ok\0|", 4)));
}

TEST(StrFmt, FormatsIntoAnExactlySizedString) {
  EXPECT_EQ(StringUtil::str_fmt("+%02d", 8), "+08");
  const std::string long_text(1000, 'q');
  const std::string formatted = StringUtil::str_fmt("%s", long_text.c_str());
  EXPECT_EQ(formatted, long_text);
  EXPECT_EQ(formatted.size(), 1000u);
  EXPECT_EQ(StringUtil::str_fmt("%s", ""), "");
  EXPECT_EQ(StringUtil::str_fmt(nullptr), "");
  EXPECT_EQ(StringUtil::str_fmt("%d-%s-%c", 7, "x", 'y'), "7-x-y");
}

// --- str_len and the UTF-8 conversions (independent of the locale)

TEST(StrLen, CountsUtf16UnitsOfTheText) {
  EXPECT_EQ(StringUtil::str_len("\xE6\x97\xA5\xE6\x9C\xAC", StringUtil::STR_UTF8), 2);
  EXPECT_EQ(StringUtil::str_len("\xF0\x9F\x98\x80" "a", StringUtil::STR_UTF8), 3);
  EXPECT_EQ(StringUtil::str_len(std::string("a\0b", 3), StringUtil::STR_UTF8), 3);
  EXPECT_EQ(StringUtil::str_len("", StringUtil::STR_UTF8), 0);
  EXPECT_EQ(StringUtil::str_len("abc", static_cast<StringUtil::STR_TYPE>(59999)), 0);
  EXPECT_EQ(StringUtil::str_len("\xD6\xD0\xCE\xC4", StringUtil::STR_GBK), 2);
  EXPECT_EQ(StringUtil::str_len("\xC0\xAF", StringUtil::STR_UTF8), 2);  // two replacements
}

TEST(Utf8WideConversion, ConvertsWholeLengthsIncludingZeros) {
  std::wstring w;
  ASSERT_TRUE(UTF8ToWide("\xC3\xA9" "a", 3, &w));
  EXPECT_EQ(w, std::wstring(L"\u00E9a"));
  EXPECT_EQ(UTF8ToWide(std::string("x\0y", 3)), std::wstring(L"x\0y", 3));
  EXPECT_EQ(WideToUTF8(std::wstring(L"x\0\u65E5", 3)), std::string("x\0\xE6\x97\xA5", 5));
  const std::wstring astral(1, static_cast<wchar_t>(0x1F600));
  EXPECT_EQ(UTF8ToWide("\xF0\x9F\x98\x80"), astral);
  EXPECT_EQ(WideToUTF8(astral), "\xF0\x9F\x98\x80");
  EXPECT_TRUE(UTF8ToWide(std::string()).empty());
}

TEST(Utf8WideConversion, InvalidInputBecomesReplacementCharacters) {
  EXPECT_EQ(UTF8ToWide("a\xFF" "b\xE6\x97"), (std::wstring{L'a', kFffd, L'b', kFffd}));
  EXPECT_EQ(WideToUTF8(std::wstring{0xD800}), "\xEF\xBF\xBD");
}

TEST(ConversionFamilies, AnOutputWithRoomHoldsExactlyTheNewResult) {
  std::wstring w(100, L'x');
  ASSERT_TRUE(UTF8ToWide("ab", 2, &w));
  EXPECT_EQ(w, std::wstring(L"ab"));
  std::string s(100, 'x');
  ASSERT_TRUE(WideToUTF8(L"\u00E9", 1, &s));
  EXPECT_EQ(s, "\xC3\xA9");
  ASSERT_TRUE(WideToUTF8(L"abc", 0, &s));
  EXPECT_TRUE(s.empty());
  // Growing beyond the room it has.
  const std::string long_text(5000, 'q');
  ASSERT_TRUE(UTF8ToWide(long_text.data(), long_text.size(), &w));
  EXPECT_EQ(w, std::wstring(5000, L'q'));
}

TEST(ConversionFamilies, NullArgumentsFailAndLeaveTheOutputAlone) {
  std::string s = "keep";
  std::wstring w = L"keep";
  EXPECT_FALSE(UTF8ToLocal(nullptr, 5, &s));
  EXPECT_FALSE(LocalToUTF8(nullptr, 5, &s));
  EXPECT_FALSE(UTF8ToWide(nullptr, 5, &w));
  EXPECT_FALSE(WideToUTF8(nullptr, 5, &s));
  EXPECT_FALSE(LocalToWide(nullptr, 5, &w));
  EXPECT_FALSE(WideToLocal(nullptr, 5, &s));
  EXPECT_FALSE(UTF8ToLocal("abc", 3, nullptr));
  EXPECT_FALSE(WideToUTF8(L"abc", 3, nullptr));
  EXPECT_EQ(s, "keep");
  EXPECT_EQ(w, std::wstring(L"keep"));
}

TEST(ConversionFamilies, EmptyInputSucceedsWithEmptyOutput) {
  std::string s = "old";
  EXPECT_TRUE(LocalToUTF8("x", 0, &s));
  EXPECT_TRUE(s.empty());
  std::wstring w = L"old";
  EXPECT_TRUE(UTF8ToWide("x", 0, &w));
  EXPECT_TRUE(w.empty());
  s = "old";
  EXPECT_TRUE(WideToUTF8(L"x", 0, &s));
  EXPECT_TRUE(s.empty());
}

// --- The Local code page, in children.

TEST(LocalCodePageInChild, Gb18030RoundTripsThroughTheLocalCodePage) {
  if (!InChild()) GTEST_SKIP() << "runs in a child with LANG=zh_CN.GB18030";
  const std::string utf8 = "A\xE4\xB8\xAD\xE6\x96\x87\xF0\x9F\x98\x80";  // A, zhong wen, U+1F600
  const std::string local = UTF8ToLocal(utf8);
  EXPECT_EQ(local.substr(0, 5), "A\xD6\xD0\xCE\xC4");
  EXPECT_EQ(local.size(), 9u);
  EXPECT_EQ(LocalToUTF8(local), utf8);
  EXPECT_EQ(StringUtil::UTF82Local(utf8), local);
  EXPECT_EQ(StringUtil::Local2UTF8(local), utf8);
  EXPECT_EQ(LocalToWide(local), UTF8ToWide(utf8));
  EXPECT_EQ(WideToLocal(UTF8ToWide(utf8)), local);
  // Zero bytes inside the length convert; the logging forms stop at the first.
  const std::string with_zero("\xD6\xD0\0\xCE\xC4", 5);
  std::string out;
  ASSERT_TRUE(LocalToUTF8(with_zero.data(), with_zero.size(), &out));
  EXPECT_EQ(out, std::string("\xE4\xB8\xAD\0\xE6\x96\x87", 7));
  EXPECT_EQ(StringUtil::Local2UTF8(with_zero), "\xE4\xB8\xAD");
  EXPECT_EQ(StringUtil::str_len(local, StringUtil::STR_LOCAL), 5);  // the astral one counts two
  // Invalid UTF-8 reaches the Local text as the GB18030 form of U+FFFD.
  EXPECT_EQ(UTF8ToLocal("\xFF"), "\x84\x31\xA4\x37");
}

TEST(LocalCodePageInChild, Utf8LocaleMakesLocalAndUtf8TheSame) {
  if (!InChild()) GTEST_SKIP() << "runs in a child with LANG=en_US.UTF-8";
  const std::string text = "caf\xC3\xA9 \xE6\x97\xA5";
  EXPECT_EQ(UTF8ToLocal(text), text);
  EXPECT_EQ(StringUtil::Local2UTF8(text), text);
  EXPECT_EQ(LocalToUTF8("a\xFF"), "a\xEF\xBF\xBD");
}

TEST(LocalCodePageInChild, UnsupportedLocalCharsetFallsBackToTheInput) {
  if (!InChild()) GTEST_SKIP() << "runs in a child with LANG=hy_AM.ARMSCII-8";
  // The logging forms return their input (checked with their log lines in the
  // log tests); the first family reports success with an empty result.
  const std::string text = "abc\xA2";
  std::string out = "old";
  EXPECT_TRUE(LocalToUTF8(text.data(), text.size(), &out));
  EXPECT_TRUE(out.empty());
}

TEST(LocalCodePageInChild, AsciiLocaleReplacesWhatItCannotHold) {
  if (!InChild()) GTEST_SKIP() << "runs in a child with LANG=C";
  EXPECT_EQ(UTF8ToLocal("a\xC3\xA9z"), "a?z");
  EXPECT_EQ(StringUtil::Local2UTF8("plain ascii"), "plain ascii");
  EXPECT_EQ(LocalToUTF8("a\xE9"), "a\xEF\xBF\xBD");
}

TEST(LocalCodePage, ConversionsFollowTheEnvironmentLocale) {
  EXPECT_CHILD_PASSES("LocalCodePageInChild.Gb18030RoundTripsThroughTheLocalCodePage",
                      {{"LANG", "zh_CN.GB18030"}});
  EXPECT_CHILD_PASSES("LocalCodePageInChild.Utf8LocaleMakesLocalAndUtf8TheSame",
                      {{"LANG", "en_US.UTF-8"}});
  EXPECT_CHILD_PASSES("LocalCodePageInChild.UnsupportedLocalCharsetFallsBackToTheInput",
                      {{"LANG", "hy_AM.ARMSCII-8"}});
  EXPECT_CHILD_PASSES("LocalCodePageInChild.AsciiLocaleReplacesWhatItCannotHold",
                      {{"LANG", "C"}});
}

}  // namespace
