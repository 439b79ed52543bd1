// oskabase-bench-base64: Base64 encode and decode of 16 MiB of random bytes,
// OskaBase beside OpenSSL's EVP_EncodeBlock/EVP_DecodeBlock and a plain
// bit-shifting codec. Figures are MB/s of binary data (the 16 MiB), best of
// several runs taken in turn; the "x OpenSSL" columns divide by OpenSSL's figure.
#include <OskaBase/Encrypt.h>

#include "PlainBase64.h"
#include "TextTable.h"
#include "Util/Base64Codec.h"

#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kBytes = 16u << 20;
constexpr int kRuns = 12;

using Clock = std::chrono::steady_clock;

// MB/s of one call of `work` over kBytes of binary data.
double MBps(const std::function<void()>& work) {
  const auto t0 = Clock::now();
  work();
  const double s = std::chrono::duration<double>(Clock::now() - t0).count();
  return static_cast<double>(kBytes) / 1e6 / s;
}

struct Codec {
  std::string name;
  std::function<void()> encode;
  std::function<void()> decode;  // empty: the row has no decoder of its own
  double encode_best = 0;
  double decode_best = 0;
};

}  // namespace

int main() {
  std::vector<unsigned char> data(kBytes);
  std::mt19937_64 rng(42);
  for (std::size_t i = 0; i < kBytes; i += 8) {
    const auto v = rng();
    std::memcpy(&data[i], &v, 8);
  }
  const std::size_t text_len = Oska::Base::base64::EncodedLength(kBytes);
  std::vector<char> text(text_len + 1);
  std::vector<char> check(text_len + 1);
  std::vector<unsigned char> back(kBytes + 3);
  const int n = static_cast<int>(kBytes);
  const int tn = static_cast<int>(text_len);

  // Every codec must agree with ours before it is timed.
  Oska::Base::Encrypt::Base64Encode(reinterpret_cast<const char*>(data.data()), n, text.data());
  EVP_EncodeBlock(reinterpret_cast<unsigned char*>(check.data()), data.data(), n);
  if (std::memcmp(text.data(), check.data(), text_len) != 0) {
    std::printf("OpenSSL disagrees with OskaBase\n");
    return 1;
  }
  bench_base64::PlainEncode(data.data(), kBytes, check.data());
  if (std::memcmp(text.data(), check.data(), text_len) != 0) {
    std::printf("the plain codec disagrees with OskaBase\n");
    return 1;
  }
  Oska::Base::base64::EncodeByteTables(data.data(), kBytes, check.data());
  if (std::memcmp(text.data(), check.data(), text_len) != 0) {
    std::printf("the reference encoder disagrees with the library's\n");
    return 1;
  }

  std::printf("Base64 over %zu MiB of random bytes, best of %d interleaved runs\n", kBytes >> 20, kRuns);
  std::vector<Codec> codecs;
  codecs.push_back({"OskaBase Encrypt::Base64Encode/Decode",
                    [&] {
                      Oska::Base::Encrypt::Base64Encode(reinterpret_cast<const char*>(data.data()), n,
                                                        text.data());
                    },
                    [&] {
                      Oska::Base::Encrypt::Base64Decode(text.data(), tn, reinterpret_cast<char*>(back.data()));
                    }});
  codecs.push_back({"OskaBase byte tables (reference encoder)",
                    [&] { Oska::Base::base64::EncodeByteTables(data.data(), kBytes, check.data()); },
                    nullptr});
  codecs.push_back({"OpenSSL EVP_EncodeBlock/EVP_DecodeBlock",
                    [&] { EVP_EncodeBlock(reinterpret_cast<unsigned char*>(check.data()), data.data(), n); },
                    [&] {
                      EVP_DecodeBlock(back.data(), reinterpret_cast<const unsigned char*>(text.data()), tn);
                    }});
  codecs.push_back({"plain bit-shifting codec",
                    [&] { bench_base64::PlainEncode(data.data(), kBytes, check.data()); },
                    [&] { bench_base64::PlainDecode(text.data(), text_len, back.data()); }});
  // Round-robin, so that a busy moment of the machine hits every codec alike.
  for (int run = 0; run < kRuns; ++run) {
    for (Codec& c : codecs) {
      c.encode_best = std::max(c.encode_best, MBps(c.encode));
      if (c.decode) c.decode_best = std::max(c.decode_best, MBps(c.decode));
    }
  }
  if (std::memcmp(back.data(), data.data(), kBytes) != 0) {
    std::printf("round trip failed\n");
    return 1;
  }

  const double ssl_encode = codecs[2].encode_best;
  const double ssl_decode = codecs[2].decode_best;
  oska_tooling::Table table({"codec", "encode MB/s", "decode MB/s", "encode x OpenSSL", "decode x OpenSSL"});
  for (const Codec& c : codecs) {
    const bool has_decoder = static_cast<bool>(c.decode);
    table.AddRow({c.name, oska_tooling::Fixed(c.encode_best, 0),
                  has_decoder ? oska_tooling::Fixed(c.decode_best, 0) : "-",
                  oska_tooling::Fixed(c.encode_best / ssl_encode, 2),
                  has_decoder ? oska_tooling::Fixed(c.decode_best / ssl_decode, 2) : "-"});
  }
  table.Print();
  return 0;
}
