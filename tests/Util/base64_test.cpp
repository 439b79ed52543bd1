// Encrypt::Base64Encode/Base64Decode: the RFC 4648 vectors, strictness on
// bad texts, the output bound, the fast encoder against the reference table
// encoder, and OpenSSL as an independent oracle.
#include <OskaBase/Encrypt.h>

#include "Util/Base64Codec.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace Encrypt = Oska::Base::Encrypt;
namespace base64 = Oska::Base::base64;

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

struct Vector {
  std::string plain;
  std::string text;
};
const Vector kRfcVectors[] = {{"", ""},          {"f", "Zg=="},         {"fo", "Zm8="},
                              {"foo", "Zm9v"},   {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
                              {"foobar", "Zm9vYmFy"}, {"\xFB\xFF", "+/8="}};

std::string RandomBytes(std::mt19937& rng, std::size_t n) {
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

TEST(Base64, RfcVectorsEncodeAndDecodeInBothForms) {
  for (const auto& v : kRfcVectors) {
    SCOPED_TRACE(v.text);
    char dst[32];
    std::memset(dst, 'x', sizeof dst);
    EXPECT_EQ(Encrypt::Base64Encode(v.plain.data(), static_cast<int>(v.plain.size()), dst),
              static_cast<int>(v.text.size()));
    EXPECT_STREQ(dst, v.text.c_str());
    EXPECT_EQ(Encrypt::Base64Decode(v.text.data(), static_cast<int>(v.text.size()), dst),
              static_cast<int>(v.plain.size()));
    EXPECT_EQ(std::string(dst, v.plain.size()), v.plain);
    std::string text = "old", plain = "old";
    EXPECT_TRUE(Encrypt::Base64Encode(text, v.plain));
    EXPECT_EQ(text, v.text);
    EXPECT_TRUE(Encrypt::Base64Decode(plain, v.text));
    EXPECT_EQ(plain, v.plain);
  }
  EXPECT_EQ(Encrypt::Base64Decode(nullptr, 0, nullptr), 0);
}

TEST(Base64, RefusesMalformedTextsAndLeavesTheStringUnchanged) {
  const std::string bad[] = {"Zm9v\n", "Zm9", "Zm9vY", "Zm=v", "Z===", "====", " Zm9", "Zm9v\r\n",
                             "Zm 9", "Zg=a", "=Zm9", "Zm9vYg=\n", std::string("Zm\0v", 4),
                             "Zm9v\xC3\xA9==", "Zm9vYmFy====", "-_9v", "Zm9vYmE=Zm9v"};
  for (const auto& text : bad) {
    SCOPED_TRACE(text);
    char dst[32];
    EXPECT_EQ(Encrypt::Base64Decode(text.data(), static_cast<int>(text.size()), dst), -1);
    std::string out = "untouched";
    EXPECT_FALSE(Encrypt::Base64Decode(out, text));
    EXPECT_EQ(out, "untouched");
  }
}

TEST(Base64, GroupsBeforeAnInvalidOneStayDecoded) {
  const struct {
    const char* text;
    const char* prefix;
  } cases[] = {{"Zm9v!AAAZm9vZm9v", "foo"}, {"Zm9vYmFy!AAAZm9v", "foobar"}, {"Zm9vYmFyZm9v!AAA", "foobarfoo"},
               {"Zm9vYmFyZm9vZ!==", "foobarfoo"}};
  for (const auto& c : cases) {
    char dst[12];
    std::memset(dst, '#', sizeof dst);
    EXPECT_EQ(Encrypt::Base64Decode(c.text, 16, dst), -1) << c.text;
    EXPECT_EQ(std::string(dst, std::strlen(c.prefix)), c.prefix) << c.text;
  }
}

TEST(Base64, EveryForeignByteInEveryPositionIsRefused) {
  const std::string alphabet(kAlphabet);
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    if (alphabet.find(c) != std::string::npos) continue;
    for (std::size_t pos = 0; pos < 12; ++pos) {
      std::string text = "QUJDREVGR0hJ";  // "ABCDEFGHI"
      text[pos] = c;
      // Up to two "=" at the very end are pads, not foreign characters.
      if (c == '=' && pos >= 10) continue;
      char dst[16];
      ASSERT_EQ(Encrypt::Base64Decode(text.data(), static_cast<int>(text.size()), dst), -1)
          << "byte " << b << " at " << pos;
    }
  }
}

TEST(Base64, NegativeLengthsAreRefusedWithoutTouchingMemory) {
  // Null pointers: any read or write would crash.
  EXPECT_EQ(Encrypt::Base64Encode(nullptr, -1, nullptr), -1);
  EXPECT_EQ(Encrypt::Base64Decode(nullptr, -4, nullptr), -1);
  EXPECT_EQ(Encrypt::Base64Encode(nullptr, 1610612734, nullptr), -1);
}

TEST(Base64, LowBitsOfTheLastCharacterAreIgnored) {
  std::string f, fo;
  EXPECT_TRUE(Encrypt::Base64Decode(f, "Zh==") && f == "f");
  EXPECT_TRUE(Encrypt::Base64Decode(fo, "Zm9=") && fo == "fo");
}

TEST(Base64, DecodeNeverWritesPastItsBound) {
  std::mt19937 rng(7);
  const std::string alphabet = std::string(kAlphabet) + "=";
  for (int round = 0; round < 3000; ++round) {
    const std::size_t len = 4 * std::uniform_int_distribution<std::size_t>(1, 12)(rng);
    std::string text(len, 'A');
    for (auto& c : text) c = alphabet[rng() % alphabet.size()];
    if (round % 3 == 0) text[rng() % len] = static_cast<char>(rng());
    const std::size_t bound = 3 * (len / 4);
    std::vector<unsigned char> dst(bound + 8, 0xEE);
    const int n = Encrypt::Base64Decode(text.data(), static_cast<int>(len), reinterpret_cast<char*>(dst.data()));
    ASSERT_LE(n, static_cast<int>(bound));
    for (std::size_t i = bound; i < dst.size(); ++i) ASSERT_EQ(dst[i], 0xEE) << text;
  }
}

TEST(Base64, FastEncoderMatchesTheReferenceTables) {
  std::mt19937 rng(11);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 100; ++n) lengths.push_back(n);
  for (int i = 0; i < 50; ++i) lengths.push_back(std::uniform_int_distribution<std::size_t>(100, 70000)(rng));
  for (std::size_t n : lengths) {
    // An odd start offset keeps the vector loads unaligned.
    const std::string buffer = RandomBytes(rng, n + 1);
    const auto* src = reinterpret_cast<const unsigned char*>(buffer.data()) + 1;
    std::string fast(base64::EncodedLength(n), '\0');
    std::string reference(base64::EncodedLength(n), '\0');
    ASSERT_EQ(base64::EncodePairTable(src, n, &fast[0]), fast.size());
    ASSERT_EQ(base64::EncodeByteTables(src, n, &reference[0]), reference.size());
    ASSERT_EQ(fast, reference) << "length " << n;
  }
}

TEST(Base64, AgreesWithOpenSsl) {
  std::mt19937 rng(5);
  for (int i = 0; i < 1000; ++i) {
    const std::string plain = RandomBytes(rng, std::uniform_int_distribution<std::size_t>(1, 5000)(rng));
    std::string ours;
    Encrypt::Base64Encode(ours, plain);
    std::vector<unsigned char> theirs(ours.size() + 1);
    const int n = EVP_EncodeBlock(theirs.data(), reinterpret_cast<const unsigned char*>(plain.data()),
                                  static_cast<int>(plain.size()));
    ASSERT_EQ(std::string(reinterpret_cast<char*>(theirs.data()), static_cast<std::size_t>(n)), ours);

    // OpenSSL decodes the pads as zero bytes; ours drops them.
    std::vector<unsigned char> decoded(ours.size());
    const int m = EVP_DecodeBlock(decoded.data(), reinterpret_cast<const unsigned char*>(ours.data()),
                                  static_cast<int>(ours.size()));
    const std::size_t pads = plain.size() % 3 == 0 ? 0 : 3 - plain.size() % 3;
    ASSERT_EQ(static_cast<std::size_t>(m), plain.size() + pads);
    std::string back;
    ASSERT_TRUE(Encrypt::Base64Decode(back, ours));
    ASSERT_EQ(back, std::string(reinterpret_cast<char*>(decoded.data()), plain.size()));
  }
}

TEST(Base64, ThreadsMayEncodeAndDecodeAtOnce) {
  std::mt19937 rng(13);
  const std::string plain = RandomBytes(rng, 100000);
  std::string expected;
  Encrypt::Base64Encode(expected, plain);
  std::vector<int> ok(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      int good = 0;
      for (int i = 0; i < 20; ++i) {
        std::string text, back;
        Encrypt::Base64Encode(text, plain);
        good += text == expected && Encrypt::Base64Decode(back, text) && back == plain;
      }
      ok[static_cast<std::size_t>(t)] = good;
    });
  }
  for (auto& th : threads) th.join();
  for (int good : ok) EXPECT_EQ(good, 20);
}

}  // namespace
