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

// Runs `body` on a fresh thread and waits for it.
template <class Body>
void OnNewThread(Body body) {
  std::thread t(body);
  t.join();
}

TEST(ErrorCode, EveryConstructorFillsCodesAndExactlyTheTwoAttributes) {
  Code none;
  EXPECT_EQ(0, none.primaryCode);
  EXPECT_EQ(0, none.secondaryCode);
  EXPECT_EQ(Expected("0", ""), none.attributes);

  Code two(1, 2);
  EXPECT_EQ(1, two.primaryCode);
  EXPECT_EQ(2, two.secondaryCode);
  EXPECT_EQ(Expected("0", ""), two.attributes);

  Code sub(-5, 1, 2);
  EXPECT_EQ(1, sub.primaryCode);
  EXPECT_EQ(2, sub.secondaryCode);
  EXPECT_EQ(Expected("-5", ""), sub.attributes);

  Code text(1, 2, std::string("(3, 4)"));
  EXPECT_EQ(1, text.primaryCode);
  EXPECT_EQ(2, text.secondaryCode);
  EXPECT_EQ(Expected("0", "(3, 4)"), text.attributes);

  Code all(INT_MIN, 7, 8, "chain");
  EXPECT_EQ(7, all.primaryCode);
  EXPECT_EQ(8, all.secondaryCode);
  EXPECT_EQ(Expected("-2147483648", "chain"), all.attributes);
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
  Code code;
  code.attributes["sub_system"] = "";
  EXPECT_EQ(0, code.GetSubSystemErrorCode());
  code.attributes["sub_system"] = "abc";
  EXPECT_EQ(0, code.GetSubSystemErrorCode());
  code.attributes["sub_system"] = "12abc";
  EXPECT_EQ(12, code.GetSubSystemErrorCode());
  code.attributes["sub_system"] = " 42";
  EXPECT_EQ(42, code.GetSubSystemErrorCode());
  code.attributes["sub_system"] = "99999999999";
  EXPECT_EQ(INT_MAX, code.GetSubSystemErrorCode());
  code.attributes["sub_system"] = "-99999999999";
  EXPECT_EQ(INT_MIN, code.GetSubSystemErrorCode());
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
  EXPECT_EQ(1, assigned.primaryCode);
  EXPECT_EQ(2, assigned.secondaryCode);
  EXPECT_EQ(source.attributes, assigned.attributes);
}

TEST(ErrorCode, MovedFromRecordHasNoAttributesUntilAnAccessorInsertsOne) {
  Code source(5, 1, 2, "a");
  Code moved(std::move(source));
  EXPECT_EQ(1, moved.primaryCode);
  EXPECT_EQ(2, moved.secondaryCode);
  EXPECT_EQ(Expected("5", "a"), moved.attributes);
  EXPECT_TRUE(source.attributes.empty());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(0, source.GetSubSystemErrorCode());
  EXPECT_EQ(1u, source.attributes.count("sub_system"));
  EXPECT_EQ("", source.attributes["sub_system"]);
  EXPECT_EQ("", source.GetCasadingErrorInfo());

  Code target(9, 8, 7, "old");
  target.attributes["stale"] = "s";
  Code other(6, 3, 4, "b");
  target = std::move(other);
  EXPECT_EQ(3, target.primaryCode);
  EXPECT_EQ(4, target.secondaryCode);
  EXPECT_EQ(Expected("6", "b"), target.attributes);
  EXPECT_TRUE(other.attributes.empty());  // NOLINT(bugprone-use-after-move)
}

TEST(ErrorCode, SelfAssignmentLeavesTheRecordUnchanged) {
  Code code(5, 1, 2, "a");
  code.attributes["extra"] = "e";
  const Attributes before = code.attributes;
  Code& alias = code;
  code = alias;
  EXPECT_EQ(1, code.primaryCode);
  EXPECT_EQ(2, code.secondaryCode);
  EXPECT_EQ(before, code.attributes);
  code = std::move(alias);
  EXPECT_EQ(1, code.primaryCode);
  EXPECT_EQ(2, code.secondaryCode);
  EXPECT_EQ(before, code.attributes);
}

TEST(CascadingErrorStr, FormatsBothCodesInParentheses) {
  EXPECT_EQ("(3, 17)", Error::MakeCascadingErrorStr(3, 17));
  EXPECT_EQ("(0, 0)", Error::MakeCascadingErrorStr(0, 0));
  EXPECT_EQ("(-1, 2147483647)", Error::MakeCascadingErrorStr(-1, INT_MAX));
}

TEST(CascadingErrorStr, LongestTextIsReturnedWhole) {
  const std::string text = Error::MakeCascadingErrorStr(INT_MIN, INT_MIN);
  EXPECT_EQ("(-2147483648, -2147483648)", text);
  EXPECT_EQ(26u, text.size());
}

TEST(LastError, ThreadThatStoredNothingReadsTheDefaultRecordEveryTime) {
  OnNewThread([] {
    for (int i = 0; i < 2; ++i) {
      Code code = Error::GetLastError();
      EXPECT_EQ(0, code.primaryCode);
      EXPECT_EQ(0, code.secondaryCode);
      EXPECT_EQ(0, code.GetSubSystemErrorCode());
      EXPECT_EQ("", code.GetCasadingErrorInfo());
      EXPECT_EQ(Expected("0", ""), code.attributes);
    }
  });
}

TEST(LastError, StoredRecordIsReadBackOnlyByItsOwnThread) {
  std::thread owner([] {
    Error::SetLastError(Code(5, 1, 2, "a"));
    std::thread stranger([] {
      Code seen = Error::GetLastError();
      EXPECT_EQ(0, seen.primaryCode);
      EXPECT_EQ(0, seen.secondaryCode);
      EXPECT_EQ(Expected("0", ""), seen.attributes);
    });
    stranger.join();
    for (int i = 0; i < 2; ++i) {  // reading does not clear it
      Code mine = Error::GetLastError();
      EXPECT_EQ(1, mine.primaryCode);
      EXPECT_EQ(2, mine.secondaryCode);
      EXPECT_EQ(5, mine.GetSubSystemErrorCode());
      EXPECT_EQ("a", mine.GetCasadingErrorInfo());
    }
  });
  owner.join();
}

TEST(LastError, StoringReplacesEveryAttributeOfTheEarlierRecord) {
  OnNewThread([] {
    Code first(5, 1, 2, "a");
    first.attributes["extra"] = "x";
    Error::SetLastError(first);
    EXPECT_EQ(3u, Error::GetLastError().attributes.size());

    Error::SetLastError(Code(3, 4));
    Code now = Error::GetLastError();
    EXPECT_EQ(3, now.primaryCode);
    EXPECT_EQ(4, now.secondaryCode);
    EXPECT_EQ(Expected("0", ""), now.attributes);
  });
}

TEST(LastError, ReturnedRecordIsACopyNotAViewOfTheStore) {
  OnNewThread([] {
    Error::SetLastError(Code(1, 2, std::string("kept")));
    Code read = Error::GetLastError();
    read.SetCasadingErrorInfo("changed");
    read.primaryCode = 99;
    Code again = Error::GetLastError();
    EXPECT_EQ(1, again.primaryCode);
    EXPECT_EQ("kept", again.GetCasadingErrorInfo());
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
