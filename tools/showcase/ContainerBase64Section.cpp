// Showcase section: the byte ring, Base64, password grades, GUID/UUID texts
// and the library version.
#include "Section.h"
#include "TextTable.h"

#include <OskaBase/OskaBase.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace Oska::Base;
using Piece = std::pair<uint8_t*, size_t>;

std::string Text(const Piece& p) { return std::string(reinterpret_cast<const char*>(p.first), p.second); }

void ShowRing() {
  std::printf("A ring of 8 bytes: write ABCDEF, consume 4, write GHIJ (it wraps):\n");
  CCircularBuffer ring(8);
  ring.WriteBuffer(reinterpret_cast<const uint8_t*>("ABCDEF"), 6);
  ring.EraseBegin(4);
  ring.WriteBuffer(reinterpret_cast<const uint8_t*>("GHIJ"), 4);
  Piece first, second;
  ring.ReadBuffer(first, second);
  std::printf("  ReadBuffer -> first \"%s\", second \"%s\", linearized: %s\n", Text(first).c_str(),
              Text(second).c_str(), ring.IsLinearized() ? "yes" : "no");
  ring.Linearize();
  ring.ReadBuffer(first, second);
  std::printf("  after Linearize -> first \"%s\", second \"%s\"\n", Text(first).c_str(), Text(second).c_str());
  ring.WriteBuffer(reinterpret_cast<const uint8_t*>("KLMNO"), 5);
  ring.ReadBuffer(first, second);
  std::printf("  write KLMNO into the 2 free bytes: the oldest are overwritten -> \"%s\"\n",
              (Text(first) + Text(second)).c_str());
}

// Encodes and decodes 64 MiB of random bytes in 1 MiB blocks; returns the
// encode and decode speeds in MB/s, or negative ones if a block did not
// come back unchanged.
std::pair<double, double> Base64RoundTrip() {
  constexpr int kBlocks = 64;
  constexpr size_t kBlock = 1u << 20;
  std::vector<char> block(kBlock);
  std::mt19937 rng(2026);
  for (auto& c : block) c = static_cast<char>(rng());
  std::vector<char> text((kBlock + 2) / 3 * 4 + 1);
  std::vector<char> back(kBlock + 3);
  oska_tooling::ProgressLine progress("Base64 round trip");
  double encode_s = 0, decode_s = 0;
  bool same = true;
  for (int i = 0; i < kBlocks; ++i) {
    block[0] = static_cast<char>(i);
    const auto t0 = std::chrono::steady_clock::now();
    const int n = Encrypt::Base64Encode(block.data(), static_cast<int>(kBlock), text.data());
    const auto t1 = std::chrono::steady_clock::now();
    const int m = Encrypt::Base64Decode(text.data(), n, back.data());
    const auto t2 = std::chrono::steady_clock::now();
    encode_s += std::chrono::duration<double>(t1 - t0).count();
    decode_s += std::chrono::duration<double>(t2 - t1).count();
    same = same && m == static_cast<int>(kBlock) && std::equal(block.begin(), block.end(), back.begin());
    progress.Update(i + 1, kBlocks, "MiB");
  }
  progress.Finish();
  const double mb = kBlocks * kBlock / 1e6;
  if (!same) return {-1, -1};
  return {mb / encode_s, mb / decode_s};
}

void Body() {
  std::printf("OskaBase version %s\n", BaseLibVersion());
  const std::string guid = GuidUtil::CreateGuid();
  const std::string uuid = UuidUtil::CreateUuid();
  std::printf("A new GUID: %s\nA new UUID: %s\n\n", guid.c_str(), uuid.c_str());

  ShowRing();

  std::string encoded, decoded;
  Encrypt::Base64Encode(encoded, "foobar");
  Encrypt::Base64Decode(decoded, encoded);
  std::printf("\nBase64: \"foobar\" -> \"%s\" -> \"%s\"; \"Zm9v\\n\" is refused: %s\n", encoded.c_str(),
              decoded.c_str(), Encrypt::Base64Decode(decoded, "Zm9v\n") ? "no" : "yes");
  const auto speed = Base64RoundTrip();

  const char* samples[] = {"secret7", "password", "drowssap", "password2026", "Password2026",
                           "PASSWORD!!",  "correct horse battery staple", "C0rrect-Horse"};
  std::printf("\nSummary; passwords are graded for the user \"password\" (0 refused ... 3 strong):\n");
  oska_tooling::Table table({"what", "result"});
  table.AddRow({"library version", BaseLibVersion()});
  table.AddRow({"GUID", guid});
  table.AddRow({"UUID", uuid});
  table.AddRow({"Base64 encode of 64 MiB", speed.first < 0 ? "ROUND TRIP FAILED" : oska_tooling::Fixed(speed.first, 0) + " MB/s"});
  table.AddRow({"Base64 decode of 64 MiB", speed.second < 0 ? "ROUND TRIP FAILED" : oska_tooling::Fixed(speed.second, 0) + " MB/s"});
  for (const char* pass : samples) {
    table.AddRow({std::string("grade of \"") + pass + "\"",
                  std::to_string(EncryptLevel::GetEnCryptLevel("password", pass))});
  }
  table.Print();
}

showcase::Section section(40, "Byte ring, Base64 and identifiers", &Body);

}  // namespace
