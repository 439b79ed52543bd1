// The log lines of StringUtil's Local/UTF-8 conversions when the platform
// refuses them: here the locale's character set has no conversion table, so
// code page 0 is unsupported (a child started with LANG=hy_AM.ARMSCII-8).
#include <OskaBase/StringUtil.h>

#include "Log/CapturingZellog.h"
#include "support/RerunInChild.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

using oska_test::CapturedZellog;
using oska_test::InChild;

TEST(StringUtilLogInChild, RefusedConversionsLogOnceAndReturnTheInput) {
  if (!InChild()) GTEST_SKIP() << "runs in a child with LANG=hy_AM.ARMSCII-8";
  CapturedZellog::Take();
  EXPECT_EQ(Oska::Base::StringUtil::Local2UTF8("abc\xA2"), "abc\xA2");
  EXPECT_EQ(Oska::Base::StringUtil::UTF82Local("d\xC3\xA9"), "d\xC3\xA9");
  const auto lines = CapturedZellog::Take();
  ASSERT_EQ(lines.size(), 2u);
  const char* const expected[] = {
      R"(\[Oska::Base::StringUtil::Local2UTF8\]MultiByteToWideChar failed, )",
      R"(\[Oska::Base::StringUtil::UTF82Local\]WideCharToMultiByte failed, )"};
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(lines[i].level, 5);
    EXPECT_STREQ(lines[i].module, "Base");
    EXPECT_TRUE(std::regex_match(
        lines[i].text,
        std::regex(expected[i] + std::string(R"(error code\[87\]\.\[src/Util/StringUtil\.cpp\(\d+\)\])"))))
        << lines[i].text;
  }
  // Nothing to convert, nothing to log.
  EXPECT_EQ(Oska::Base::StringUtil::Local2UTF8(""), "");
  EXPECT_TRUE(CapturedZellog::Take().empty());
}

TEST(StringUtilLog, RefusedConversionsLogOnceAndReturnTheInput) {
  EXPECT_CHILD_PASSES("StringUtilLogInChild.RefusedConversionsLogOnceAndReturnTheInput",
                      {{"LANG", "hy_AM.ARMSCII-8"}});
}

}  // namespace
