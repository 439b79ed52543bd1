// GuidUtil::CreateGuid, UuidUtil::CreateUuid and BaseLibVersion.
#include <OskaBase/Identifier.h>
#include <OskaBase/Version.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(Identifier, GuidAndUuidAreUpperCaseHexOfAVersion4Guid) {
  for (int i = 0; i < 200; ++i) {
    const std::string guid = Oska::Base::GuidUtil::CreateGuid();
    const std::string uuid = Oska::Base::UuidUtil::CreateUuid();
    ASSERT_EQ(uuid.size(), 36u);
    // The uuid is the guid's form with dashes at 8, 13, 18 and 23.
    std::string undashed;
    for (std::size_t p = 0; p < uuid.size(); ++p) {
      if (p == 8 || p == 13 || p == 18 || p == 23) {
        ASSERT_EQ(uuid[p], '-') << uuid;
      } else {
        undashed += uuid[p];
      }
    }
    for (const std::string& hex : {guid, undashed}) {
      ASSERT_EQ(hex.size(), 32u);
      EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hex;
      EXPECT_EQ(hex[12], '4') << hex;                                          // Data3's version nibble
      EXPECT_NE(std::string("89AB").find(hex[16]), std::string::npos) << hex;  // variant 10xx
    }
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
