// Error records and the per-thread last-error store.
#include <OskaBase/Error.h>

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Oska::Base::Error;
using Code = Error::ErrorCode;
using Attributes = std::map<std::string, std::string>;

Attributes Expected(const std::string& sub, const std::string& info) {
  return Attributes{{"sub_system", sub}, {"cascading_error_info", info}};
}

// Checks both codes and the whole attribute map of `code`.
void ExpectRecord(const Code& code, int primary, int secondary, const Attributes& attributes) {
  EXPECT_EQ(primary, code.primaryCode);
  EXPECT_EQ(secondary, code.secondaryCode);
  EXPECT_EQ(attributes, code.attributes);
}

// Runs `body` on a fresh thread and waits for it.
template <class Body>
void OnNewThread(Body body) {
  std::thread t(body);
  t.join();
}

TEST(ErrorCode, EveryConstructorFillsCodesAndExactlyTheTwoAttributes) {
  ExpectRecord(Code(), 0, 0, Expected("0", ""));
  ExpectRecord(Code(1, 2), 1, 2, Expected("0", ""));
  ExpectRecord(Code(-5, 1, 2), 1, 2, Expected("-5", ""));
  ExpectRecord(Code(1, 2, std::string("(3, 4)")), 1, 2, Expected("0", "(3, 4)"));
  Code all(INT_MIN, 7, 8, "chain");
  ExpectRecord(all, 7, 8, Expected("-2147483648", "chain"));
  EXPECT_EQ(INT_MIN, all.GetSubSystemErrorCode());
}

TEST(ErrorCode, SubSystemCodeRoundTripsThroughItsDecimalText) {
  Code code;
  code.SetSubSystemErrorCode(-7);
  EXPECT_EQ("-7", code.attributes["sub_system"]);
  EXPECT_EQ(-7, code.GetSubSystemErrorCode());
  code.SetSubSystemErrorCode(INT_MAX);
  EXPECT_EQ(INT_MAX, code.GetSubSystemErrorCode());
}

TEST(ErrorCode, SubSystemTextThatIsNotANumberReadsAsZeroOrItsLeadingNumber) {
  const std::pair<const char*, int> cases[] = {{"", 0},        {"abc", 0},
                                               {"12abc", 12},  {" 42", 42},
                                               {"99999999999", INT_MAX},
                                               {"-99999999999", INT_MIN}};
  for (const auto& [text, value] : cases) {
    Code code;
    code.attributes["sub_system"] = text;
    EXPECT_EQ(value, code.GetSubSystemErrorCode()) << '"' << text << '"';
  }
}

TEST(ErrorCode, CascadingTextIsStoredUnchanged) {
  Code code(1, 2);
  const std::string text("(1, 2)\n(3, 4) \xC3\xA9", 16);
  code.SetCasadingErrorInfo(text);
  EXPECT_EQ(text, code.GetCasadingErrorInfo());
  EXPECT_EQ(2u, code.attributes.size());
}

TEST(ErrorCode, CopiesAreIndependentOfTheirSource) {
  Code source(3, 1, 2, "x");
  Code copy(source);
  copy.SetCasadingErrorInfo("y");
  copy.attributes["extra"] = "z";
  EXPECT_EQ("x", source.GetCasadingErrorInfo());
  EXPECT_EQ(2u, source.attributes.size());

  Code assigned(9, 9, 9, "old");
  assigned.attributes["stale"] = "gone after assignment";
  assigned = source;
  ExpectRecord(assigned, 1, 2, source.attributes);
}

TEST(ErrorCode, MovedFromRecordHasNoAttributesUntilAnAccessorInsertsOne) {
  Code source(5, 1, 2, "a");
  Code moved(std::move(source));
  ExpectRecord(moved, 1, 2, Expected("5", "a"));
  EXPECT_TRUE(source.attributes.empty());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(0, source.GetSubSystemErrorCode());
  EXPECT_EQ("", source.GetCasadingErrorInfo());
  EXPECT_EQ(Expected("", ""), source.attributes);

  Code target(9, 8, 7, "old");
  target.attributes["stale"] = "s";
  Code other(6, 3, 4, "b");
  target = std::move(other);
  ExpectRecord(target, 3, 4, Expected("6", "b"));
  EXPECT_TRUE(other.attributes.empty());  // NOLINT(bugprone-use-after-move)
}

TEST(ErrorCode, SelfAssignmentLeavesTheRecordUnchanged) {
  Code code(5, 1, 2, "a");
  code.attributes["extra"] = "e";
  const Attributes before = code.attributes;
  Code& alias = code;
  code = alias;
  ExpectRecord(code, 1, 2, before);
  code = std::move(alias);
  ExpectRecord(code, 1, 2, before);
}

TEST(CascadingErrorStr, FormatsBothCodesInParenthesesUpToTheLongestText) {
  EXPECT_EQ("(3, 17)", Error::MakeCascadingErrorStr(3, 17));
  EXPECT_EQ("(0, 0)", Error::MakeCascadingErrorStr(0, 0));
  EXPECT_EQ("(-1, 2147483647)", Error::MakeCascadingErrorStr(-1, INT_MAX));
  EXPECT_EQ("(-2147483648, -2147483648)", Error::MakeCascadingErrorStr(INT_MIN, INT_MIN));
}

TEST(LastError, ThreadThatStoredNothingReadsTheDefaultRecordEveryTime) {
  OnNewThread([] {
    for (int i = 0; i < 2; ++i) {
      ExpectRecord(Error::GetLastError(), 0, 0, Expected("0", ""));
    }
  });
}

TEST(LastError, StoredRecordIsReadBackOnlyByItsOwnThread) {
  std::thread owner([] {
    Error::SetLastError(Code(5, 1, 2, "a"));
    std::thread stranger([] {
      ExpectRecord(Error::GetLastError(), 0, 0, Expected("0", ""));
    });
    stranger.join();
    for (int i = 0; i < 2; ++i) {  // reading does not clear it
      ExpectRecord(Error::GetLastError(), 1, 2, Expected("5", "a"));
    }
  });
  owner.join();
}

TEST(LastError, StoringReplacesEveryAttributeAndReadingReturnsACopy) {
  OnNewThread([] {
    Code first(5, 1, 2, "a");
    first.attributes["extra"] = "x";
    Error::SetLastError(first);
    Code read = Error::GetLastError();
    EXPECT_EQ(3u, read.attributes.size());
    read.SetCasadingErrorInfo("changed");
    read.primaryCode = 99;
    EXPECT_EQ(first.attributes, Error::GetLastError().attributes);
    EXPECT_EQ(1, Error::GetLastError().primaryCode);

    Error::SetLastError(Code(3, 4));
    ExpectRecord(Error::GetLastError(), 3, 4, Expected("0", ""));
  });
}

TEST(LastError, ManyThreadsStoringAtOnceEachReadTheirOwn) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kRounds; ++i) {
        const std::string text = Error::MakeCascadingErrorStr(t, i);
        Error::SetLastError(Code(t, i, -i, text));
        Code back = Error::GetLastError();
        ASSERT_EQ(i, back.primaryCode);
        ASSERT_EQ(-i, back.secondaryCode);
        ASSERT_EQ(t, back.GetSubSystemErrorCode());
        ASSERT_EQ(text, back.GetCasadingErrorInfo());
      }
    });
  }
  for (auto& thread : threads) thread.join();
}

}  // namespace
