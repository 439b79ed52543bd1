// The plain-conversion fast path gives exactly what vsnprintf gives, and
// declines everything it does not handle.
#include "Base/LogFormat.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

using Oska::Base::details::FormatPlain;

// FormatPlain's result, or "<declined>".
std::string Plain(std::size_t capacity, const char* format, ...) {
  std::string out(capacity, '\x7f');
  va_list args;
  va_start(args, format);
  const int length = FormatPlain(out.data(), capacity, format, args);
  va_end(args);
  if (length < 0) return "<declined>";
  EXPECT_EQ(out[static_cast<std::size_t>(length)], '\0');
  return out.substr(0, static_cast<std::size_t>(length));
}

std::string Printf(const char* format, ...) {
  char out[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(out, sizeof(out), format, args);
  va_end(args);
  return out;
}

#define EXPECT_SAME(format, ...) EXPECT_EQ(Plain(512, format, __VA_ARGS__), Printf(format, __VA_ARGS__)) << format

TEST(FormatPlain, PlainConversionsMatchPrintf) {
  EXPECT_SAME("[%s]ReadFile error, %s.[%s(%d)]", "Oska::Base::CPipeLine::CPipeLineImpl::Read", "ERROR_IO_PENDING",
              "src/IPC/PipelineWin.cpp", 123);
  EXPECT_SAME("%d %d %d %i", 0, -1, INT_MIN, INT_MAX);
  EXPECT_SAME("%u %x %X", 0u, 0xdeadbeefu, 0xdeadbeefu);
  EXPECT_SAME("%ld %lu %lx", LONG_MIN, ULONG_MAX, 255ul);
  EXPECT_SAME("%lld %llu %llX", LLONG_MIN, ULLONG_MAX, 0xABCDEFull);
  EXPECT_SAME("%zu %zd %zx", static_cast<std::size_t>(123456789), static_cast<std::ptrdiff_t>(-5),
              static_cast<std::size_t>(4096));
  EXPECT_SAME("%hd %hu %hhd %hhu", 70000, 70000, 300, 300);
  EXPECT_SAME("%c%c%c", 'a', 'b', 'c');
  EXPECT_SAME("100%% sure, %s%%", "very");
  EXPECT_SAME("%s", "");
  EXPECT_SAME("no conversions at all%s", "");
}

TEST(FormatPlain, NullStringPrintsAsPrintfDoes) {
  EXPECT_EQ(Plain(64, "[%s]", static_cast<const char*>(nullptr)), "[(null)]");
}

TEST(FormatPlain, DeclinesFlagsWidthsPrecisionsAndOtherConversions) {
  for (const char* format : {"%5d", "%-d", "%+d", "% d", "%05d", "%.3s", "%*d", "%f", "%e", "%g", "%p", "%n",
                             "%ls", "%lc", "%o", "%", "abc%", "%q", "%jd", "%Lf"}) {
    EXPECT_EQ(Plain(64, format, 1, 2, 3), "<declined>") << format;
  }
}

TEST(FormatPlain, DeclinesTextsThatDoNotFitWithTheirTerminator) {
  EXPECT_EQ(Plain(6, "%s", "abcde"), "abcde");
  EXPECT_EQ(Plain(5, "%s", "abcde"), "<declined>");
  EXPECT_EQ(Plain(4, "abcd"), "<declined>");
  EXPECT_EQ(Plain(3, "%d", -12), "<declined>");
  EXPECT_EQ(Plain(4, "%d", -12), "-12");
  EXPECT_EQ(Plain(1, ""), "");
}

}  // namespace
