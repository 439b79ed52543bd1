// Addresses and adapters of the runtime, against the machine's real resolver
// and interfaces.
#include <zel/zel.h>

#include <gtest/gtest.h>

#include <cstring>
#include <net/if.h>
#include <string>
#include <vector>

namespace {

std::vector<ZEL_ADDRINFO_S> Resolve(const char* host, int* rc) {
  ZEL_ADDRINFO_S* list = reinterpret_cast<ZEL_ADDRINFO_S*>(1);  // must be overwritten
  *rc = ZEL_GetAddressInfo(host, nullptr, nullptr, &list);
  std::vector<ZEL_ADDRINFO_S> records;
  if (*rc != 0) {
    EXPECT_EQ(list, nullptr);
    return records;
  }
  for (const ZEL_ADDRINFO_S* r = list; r != nullptr; r = r->next) records.push_back(*r);
  ZEL_FreeAddressInfo(list);
  return records;
}

TEST(ZelAddress, NumericAddressIsListedOnceInNetworkOrder) {
  const unsigned char v4[16] = {127, 0, 0, 1};
  const unsigned char v6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  const struct {
    const char* text;
    int family;
    unsigned length;
    const unsigned char* bytes;
  } cases[] = {{"127.0.0.1", ZEL_AF_INET, 4, v4}, {"::1", ZEL_AF_INET6, 16, v6}};
  for (const auto& c : cases) {
    int rc = -1;
    const auto records = Resolve(c.text, &rc);
    ASSERT_EQ(rc, 0) << c.text;
    ASSERT_EQ(records.size(), 1u) << c.text;
    EXPECT_EQ(records[0].family, c.family);
    EXPECT_EQ(records[0].addrlen, c.length);
    EXPECT_EQ(std::memcmp(records[0].addr, c.bytes, c.length), 0) << c.text;
  }
}

TEST(ZelAddress, LocalhostResolvesToLoopback) {
  int rc = -1;
  const auto records = Resolve("localhost", &rc);
  ASSERT_EQ(rc, 0);
  bool v4_loopback = false;
  for (const auto& r : records) {
    ASSERT_TRUE(r.family == ZEL_AF_INET || r.family == ZEL_AF_INET6);
    if (r.family == ZEL_AF_INET && r.addr[0] == 127) v4_loopback = true;
  }
  EXPECT_TRUE(v4_loopback);
}

TEST(ZelAddress, HintsSelectTheFamily) {
  ZEL_ADDRINFO_S hints{};
  hints.family = ZEL_AF_INET6;
  ZEL_ADDRINFO_S* list = nullptr;
  EXPECT_NE(ZEL_GetAddressInfo("127.0.0.1", nullptr, &hints, &list), 0);
  EXPECT_EQ(list, nullptr);
}

TEST(ZelAddress, UnresolvableNameFailsWithEmptyList) {
  int rc = 0;
  const auto records = Resolve("no-such-host.invalid", &rc);
  EXPECT_NE(rc, 0);
  EXPECT_TRUE(records.empty());
  ZEL_FreeAddressInfo(nullptr);
}

TEST(ZelAdapter, EveryAdapterCarriesTheSystemIndexAndLoopbackIsListed) {
  ZEL_ADAPTER_S* list = nullptr;
  ASSERT_EQ(ZEL_GetAdapterInfo(&list), 0);
  ASSERT_NE(list, nullptr);
  bool loopback = false;
  for (const ZEL_ADAPTER_S* a = list; a != nullptr; a = a->next) {
    EXPECT_EQ(a->index, ::if_nametoindex(a->name)) << a->name;
    for (const ZEL_IPADDR_S* ip = a->ip_list; ip != nullptr; ip = ip->next) {
      EXPECT_LE(std::strlen(ip->address), 15u);
      EXPECT_LE(std::strlen(ip->mask), 15u);
      if (std::strcmp(ip->address, "127.0.0.1") == 0) {
        loopback = true;
        EXPECT_STREQ(ip->mask, "255.0.0.0");
      }
    }
  }
  EXPECT_TRUE(loopback);
  ZEL_FreeAdapterInfo(list);
  ZEL_FreeAdapterInfo(nullptr);
}

TEST(ZelInetPton, NumericTextsParseAndNamesDoNot) {
  unsigned char buffer[64];
  std::memset(buffer, 0xAB, sizeof(buffer));
  EXPECT_EQ(ZEL_InetPton("192.168.1.20", buffer), ZEL_AF_INET);
  const unsigned char expected[4] = {192, 168, 1, 20};
  EXPECT_EQ(std::memcmp(buffer, expected, 4), 0);
  EXPECT_EQ(buffer[4], 0xAB);  // only four bytes written

  EXPECT_EQ(ZEL_InetPton("fe80::1", buffer), ZEL_AF_INET6);
  EXPECT_EQ(buffer[0], 0xfe);
  EXPECT_EQ(buffer[15], 1);

  std::memset(buffer, 0xCD, sizeof(buffer));
  for (const char* text : {"localhost", "", "1.2.3", "256.1.1.1", "1.2.3.4 ", "example.com"}) {
    EXPECT_EQ(ZEL_InetPton(text, buffer), -1) << text;
  }
  EXPECT_EQ(ZEL_InetPton(nullptr, buffer), -1);
  for (unsigned char b : buffer) ASSERT_EQ(b, 0xCD);
}

}  // namespace
