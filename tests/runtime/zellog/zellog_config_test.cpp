// The configuration text: what each item does and how bad text is handled.
#include "config.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zellog::ParseConfig;
using zellog::Settings;

TEST(ZellogConfig, EveryKeyIsApplied) {
  const Settings s = ParseConfig(" file = /var/log/app.log ;max_size=4M\nmax_files=3; level=warning; console=yes ");
  EXPECT_TRUE(s.problems.empty());
  EXPECT_EQ(s.file, "/var/log/app.log");
  EXPECT_EQ(s.max_size, 4u * 1024 * 1024);
  EXPECT_EQ(s.max_files, 3u);
  EXPECT_EQ(s.level, 3);
  EXPECT_TRUE(s.console);
}

TEST(ZellogConfig, SizesAndLevelsHaveTheirForms) {
  EXPECT_EQ(ParseConfig("max_size=1K").max_size, 1024u);
  EXPECT_EQ(ParseConfig("max_size=2048").max_size, 2048u);
  EXPECT_EQ(ParseConfig("max_size=1g").max_size, 1024u * 1024 * 1024);
  EXPECT_EQ(ParseConfig("level=0").level, 0);
  EXPECT_EQ(ParseConfig("level=CRITICAL").level, 5);
  EXPECT_EQ(ParseConfig("level=warn").level, 3);
  EXPECT_EQ(ParseConfig("level=off").level, 6);
  EXPECT_EQ(ParseConfig("max_files=0").max_files, 0u);
  EXPECT_FALSE(ParseConfig("console=off").console);
}

TEST(ZellogConfig, EmptyTextGivesDefaultsAndSaysSo) {
  for (const char* text : {"", "   ", static_cast<const char*>(nullptr)}) {
    const Settings s = ParseConfig(text);
    EXPECT_EQ(s.file, "");
    EXPECT_EQ(s.max_size, 10u * 1024 * 1024);
    EXPECT_EQ(s.max_files, 5u);
    EXPECT_EQ(s.level, 2);
    EXPECT_FALSE(s.console);
    ASSERT_EQ(s.problems.size(), 1u);
    EXPECT_NE(s.problems[0].find("empty configuration"), std::string::npos);
  }
}

TEST(ZellogConfig, BadItemsKeepTheirDefaultsAndAreEachReported) {
  const Settings s = ParseConfig(
      "max_size=12Q; max_size=10; max_size=99999999999999999999999; max_files=-1; max_files=1001;"
      "level=loud; console=maybe; colour=red; nonsense; file=; file=/ok.log");
  EXPECT_EQ(s.max_size, 10u * 1024 * 1024);
  EXPECT_EQ(s.max_files, 5u);
  EXPECT_EQ(s.level, 2);
  EXPECT_FALSE(s.console);
  EXPECT_EQ(s.file, "/ok.log");
  ASSERT_EQ(s.problems.size(), 10u);
  EXPECT_EQ(s.problems[0], "max_size: '12Q' is not a size from 1K to 1024G; using 10485760 bytes");
  EXPECT_EQ(s.problems[5], "level: 'loud' is not a level (0-6 or trace, debug, info, warning, error, "
                           "critical, off); using info");
  EXPECT_EQ(s.problems[7], "unknown key 'colour' ignored");
  EXPECT_EQ(s.problems[8], "item 'nonsense' has no '='; ignored");
}

TEST(ZellogConfig, HostileTextIsQuotedPrintablyAndShort) {
  const std::string value(500, '\x01');
  const Settings s = ParseConfig(("level=" + value).c_str());
  ASSERT_EQ(s.problems.size(), 1u);
  EXPECT_LT(s.problems[0].size(), 200u);
  EXPECT_EQ(s.problems[0].find('\x01'), std::string::npos);
}

TEST(ZellogConfig, DefaultFileIsInTheTemporaryFolderNamedAfterTheProgram) {
  const std::string file = zellog::DefaultLogFile();
  EXPECT_NE(file.find("oska_zellog_tests-zellog.log"), std::string::npos) << file;
}

}  // namespace
