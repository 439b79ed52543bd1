// CoCreateGuid: argument check, version and variant bits, randomness.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

std::string Bytes(const GUID& g) { return std::string(reinterpret_cast<const char*>(&g), sizeof g); }

TEST(CoCreateGuid, NullPointerIsAnInvalidArgument) { EXPECT_EQ(CoCreateGuid(nullptr), E_INVALIDARG); }

TEST(CoCreateGuid, MakesDistinctVersion4GuidsOfTheStandardVariantWhoseOtherBitsAllVary) {
  std::set<std::string> seen;
  unsigned char ones[sizeof(GUID)] = {};
  unsigned char zeros[sizeof(GUID)] = {};
  for (int i = 0; i < 2000; ++i) {
    GUID g;
    ASSERT_EQ(CoCreateGuid(&g), S_OK);
    ASSERT_TRUE(seen.insert(Bytes(g)).second);
    EXPECT_EQ(g.Data3 >> 12, 4);
    EXPECT_EQ(g.Data4[0] >> 6, 2);
    unsigned char raw[sizeof(GUID)];
    std::memcpy(raw, &g, sizeof raw);
    for (std::size_t b = 0; b < sizeof raw; ++b) {
      ones[b] |= raw[b];
      zeros[b] |= static_cast<unsigned char>(~raw[b]);
    }
  }
  // Data3 (bytes 6-7 in memory, little-endian) fixes its top nibble, Data4[0]
  // (byte 8) its top two bits; all 122 other bits took both values.
  for (std::size_t b = 0; b < sizeof(GUID); ++b) {
    unsigned char fixed = 0;
    if (b == 7) fixed = 0xF0;
    if (b == 8) fixed = 0xC0;
    EXPECT_EQ(static_cast<unsigned char>(ones[b] | fixed), 0xFF) << "byte " << b;
    EXPECT_EQ(static_cast<unsigned char>(zeros[b] | fixed), 0xFF) << "byte " << b;
  }
}

}  // namespace
