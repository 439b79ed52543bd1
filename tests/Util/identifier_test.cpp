// GuidUtil::CreateGuid, UuidUtil::CreateUuid and BaseLibVersion.
#include <OskaBase/Identifier.h>
#include <OskaBase/Version.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

TEST(Identifier, GuidIs32UpperCaseHexDigitsOfAVersion4Guid) {
  for (int i = 0; i < 200; ++i) {
    const std::string guid = Oska::Base::GuidUtil::CreateGuid();
    ASSERT_EQ(guid.size(), 32u);
    for (char c : guid) ASSERT_TRUE(IsUpperHex(c)) << guid;
    EXPECT_EQ(guid[12], '4') << guid;                                // Data3's version nibble
    EXPECT_NE(std::string("89AB").find(guid[16]), std::string::npos) << guid;  // variant 10xx
  }
}

TEST(Identifier, UuidHasDashesAtTheirPlaces) {
  for (int i = 0; i < 200; ++i) {
    const std::string uuid = Oska::Base::UuidUtil::CreateUuid();
    ASSERT_EQ(uuid.size(), 36u);
    for (std::size_t p = 0; p < uuid.size(); ++p) {
      if (p == 8 || p == 13 || p == 18 || p == 23) {
        ASSERT_EQ(uuid[p], '-') << uuid;
      } else {
        ASSERT_TRUE(IsUpperHex(uuid[p])) << uuid;
      }
    }
    EXPECT_EQ(uuid[14], '4') << uuid;
    EXPECT_NE(std::string("89AB").find(uuid[19]), std::string::npos) << uuid;
  }
}

TEST(Identifier, EveryCallGivesANewIdentifier) {
  std::set<std::string> seen;
  for (int i = 0; i < 20000; ++i) {
    ASSERT_TRUE(seen.insert(Oska::Base::GuidUtil::CreateGuid()).second);
    ASSERT_TRUE(seen.insert(Oska::Base::UuidUtil::CreateUuid()).second);
  }
}

TEST(Identifier, ThreadsCreatingAtOnceNeverCollide) {
  std::vector<std::vector<std::string>> made(4);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < made.size(); ++t) {
    threads.emplace_back([&made, t] {
      for (int i = 0; i < 2000; ++i) made[t].push_back(Oska::Base::UuidUtil::CreateUuid());
    });
  }
  for (auto& th : threads) th.join();
  std::set<std::string> all;
  for (const auto& list : made) {
    for (const auto& uuid : list) {
      ASSERT_EQ(uuid.size(), 36u);
      ASSERT_TRUE(all.insert(uuid).second);
    }
  }
}

TEST(Version, IsFourZeroZeroZero) { EXPECT_STREQ(Oska::Base::BaseLibVersion(), "4.0.0.0"); }

}  // namespace
