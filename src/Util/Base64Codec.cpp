// The Base64 codec: whole groups per step.
//
// The library's encoder hands the input to the vector front first (whole
// twelve-byte blocks, when the processor has SSSE3) and finishes with the
// twelve-bit pair table, six bytes per step while a 64-bit read stays inside
// the input, then three, then the padded tail. Every path writes the same
// characters as the byte-table reference encoder, which the tests hold it
// to.
//
// Decoding reads each group of four characters as one little-endian word,
// first character in the low byte; indexing the characters one by one is
// the same thing on any byte order. Inside the loop a group's result is
// stored as a whole 32-bit word: the fourth byte lands where the next
// group's first byte will go, and the loop always leaves at least one more
// group (the last one is decoded after it), so the store stays inside the
// 3 * (len / 4) bytes the caller provides.
#include "Util/Base64Codec.h"

#include "Util/Base64Tables.h"
#include "Util/Base64Vector.h"

#include <cstdint>
#include <cstring>

namespace Oska {
namespace Base {
namespace base64 {
namespace {

inline void PutPair(char* dst, std::uint32_t twelve_bits) {
  std::memcpy(dst, kEncodePairs.pair[twelve_bits].c, 2);
}

inline std::uint64_t LoadBigEndian64(const unsigned char* s) {
  return static_cast<std::uint64_t>(s[0]) << 56 | static_cast<std::uint64_t>(s[1]) << 48 |
         static_cast<std::uint64_t>(s[2]) << 40 | static_cast<std::uint64_t>(s[3]) << 32 |
         static_cast<std::uint64_t>(s[4]) << 24 | static_cast<std::uint64_t>(s[5]) << 16 |
         static_cast<std::uint64_t>(s[6]) << 8 | static_cast<std::uint64_t>(s[7]);
}

inline std::uint32_t LookupGroup(const unsigned char* s) {
  return kDecode.position[0][s[0]] | kDecode.position[1][s[1]] | kDecode.position[2][s[2]] |
         kDecode.position[3][s[3]];
}

// Stores the word's low three bytes, first byte lowest, and one byte more
// where it is known to be room for it.
inline void PutWordWithSpare(unsigned char* dst, std::uint32_t word) {
#if defined(_WIN32) || (defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__)
  std::memcpy(dst, &word, 4);
#else
  dst[0] = static_cast<unsigned char>(word);
  dst[1] = static_cast<unsigned char>(word >> 8);
  dst[2] = static_cast<unsigned char>(word >> 16);
#endif
}

inline void PutThree(unsigned char* dst, std::uint32_t word) {
  dst[0] = static_cast<unsigned char>(word);
  dst[1] = static_cast<unsigned char>(word >> 8);
  dst[2] = static_cast<unsigned char>(word >> 16);
}

// The one or two bytes left after the whole groups, with their pads.
std::size_t EncodeTail(const unsigned char* s, std::size_t rest, char* d) {
  if (rest == 1) {
    d[0] = kEncode.first[s[0]];
    d[1] = kEncode.second[(s[0] & 3) << 4];
    d[2] = '=';
    d[3] = '=';
    return 4;
  }
  if (rest == 2) {
    d[0] = kEncode.first[s[0]];
    d[1] = kEncode.second[((s[0] & 3) << 4) | (s[1] >> 4)];
    d[2] = kEncode.third[(s[1] & 0x0F) << 2];
    d[3] = '=';
    return 4;
  }
  return 0;
}

}  // namespace

std::size_t EncodeByteTables(const unsigned char* src, std::size_t len, char* dst) {
  const unsigned char* s = src;
  char* d = dst;
  for (std::size_t groups = len / 3; groups > 0; --groups, s += 3, d += 4) {
    const unsigned t1 = s[0], t2 = s[1], t3 = s[2];
    d[0] = kEncode.first[t1];
    d[1] = kEncode.second[((t1 & 3) << 4) | (t2 >> 4)];
    d[2] = kEncode.second[((t2 & 0x0F) << 2) | (t3 >> 6)];
    d[3] = kEncode.third[t3];
  }
  d += EncodeTail(s, len % 3, d);
  return static_cast<std::size_t>(d - dst);
}

std::size_t EncodePairTable(const unsigned char* src, std::size_t len, char* dst) {
  const std::size_t vector_done = EncodeVectorPrefix(src, len, dst);
  const unsigned char* s = src + vector_done;
  char* d = dst + vector_done / 3 * 4;
  std::size_t rest = len - vector_done;
  // Six bytes make eight characters: four lookups of twelve bits, read from
  // one 64-bit load while at least eight bytes remain readable.
  for (; rest >= 8; rest -= 6, s += 6, d += 8) {
    const std::uint64_t x = LoadBigEndian64(s);
    PutPair(d + 0, static_cast<std::uint32_t>(x >> 52) & 0xFFF);
    PutPair(d + 2, static_cast<std::uint32_t>(x >> 40) & 0xFFF);
    PutPair(d + 4, static_cast<std::uint32_t>(x >> 28) & 0xFFF);
    PutPair(d + 6, static_cast<std::uint32_t>(x >> 16) & 0xFFF);
  }
  for (; rest >= 3; rest -= 3, s += 3, d += 4) {
    const std::uint32_t a = static_cast<std::uint32_t>(s[0]) << 16 | s[1] << 8 | s[2];
    PutPair(d + 0, a >> 12);
    PutPair(d + 2, a & 0xFFF);
  }
  d += EncodeTail(s, rest, d);
  return static_cast<std::size_t>(d - dst);
}

std::ptrdiff_t Decode(const char* src, std::size_t len, unsigned char* dst) {
  if (len == 0) return 0;
  if (len < 4 || len % 4 != 0) return -1;
  std::size_t effective = len;
  if (src[len - 1] == '=') {
    --effective;
    if (src[len - 2] == '=') --effective;
  }
  const std::size_t k = effective / 4;
  const std::size_t r = effective % 4;
  if (r == 1) return -1;  // unreachable with at most two pads; kept as a guard

  const auto* s = reinterpret_cast<const unsigned char*>(src);
  unsigned char* d = dst;
  std::size_t loop_groups = r > 0 ? k : k - 1;
  // Two groups per step share one validity test; on a failure the first
  // group's bytes are still written if it was valid.
  for (; loop_groups >= 2; loop_groups -= 2, s += 8, d += 6) {
    const std::uint32_t w1 = LookupGroup(s);
    const std::uint32_t w2 = LookupGroup(s + 4);
    if ((w1 | w2) >= kInvalidGroup) {
      if (w1 < kInvalidGroup) PutThree(d, w1);
      return -1;
    }
    PutWordWithSpare(d, w1);
    PutWordWithSpare(d + 3, w2);
  }
  if (loop_groups == 1) {
    const std::uint32_t w = LookupGroup(s);
    if (w >= kInvalidGroup) return -1;
    PutWordWithSpare(d, w);
    s += 4;
    d += 3;
  }

  if (r == 0) {
    const std::uint32_t w = LookupGroup(s);
    if (w >= kInvalidGroup) return -1;
    PutThree(d, w);
    return static_cast<std::ptrdiff_t>(3 * k);
  }
  if (r == 2) {
    const std::uint32_t w = kDecode.position[0][s[0]] | kDecode.position[1][s[1]];
    if (w >= kInvalidGroup) return -1;
    d[0] = static_cast<unsigned char>(w);
    return static_cast<std::ptrdiff_t>(3 * k + 1);
  }
  const std::uint32_t w =
      kDecode.position[0][s[0]] | kDecode.position[1][s[1]] | kDecode.position[2][s[2]];
  if (w >= kInvalidGroup) return -1;
  d[0] = static_cast<unsigned char>(w);
  d[1] = static_cast<unsigned char>(w >> 8);
  return static_cast<std::ptrdiff_t>(3 * k + 2);
}

}  // namespace base64
}  // namespace Base
}  // namespace Oska
