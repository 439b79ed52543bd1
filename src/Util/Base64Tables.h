// The Base64 lookup tables, computed at compile time from the alphabet.
//
// Encoding, one lookup per output character:
//   kEncode.first[b]  == alphabet[b >> 2]   (the top six bits of a byte)
//   kEncode.second[b] == kEncode.third[b] == alphabet[b & 63]
// so a six-bit value needs no masking. kEncodePairs[v] holds the two
// characters of a twelve-bit value v, for the encoder that emits two
// characters per lookup.
//
// Decoding, one table per character position in a group of four. For an
// alphabet character of value v:
//   kDecode[0][c] == v << 2
//   kDecode[1][c] == (v >> 4) | ((v & 0x0F) << 12)
//   kDecode[2][c] == ((v >> 2) & 0x0F) << 8 | (v & 3) << 22
//   kDecode[3][c] == v << 16
// and every other byte value (the pad "=", blanks, line breaks, bytes above
// 0x7F) gives kInvalidGroup. The four words of a group or-ed together hold
// the three decoded bytes in their low 24 bits, first byte lowest; any
// invalid character makes the result kInvalidGroup or more, which one
// comparison detects.
#pragma once

#include <cstdint>

namespace Oska {
namespace Base {
namespace base64 {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint32_t kInvalidGroup = 0x01FFFFFF;

struct EncodeTables {
  char first[256];
  char second[256];
  char third[256];
};

struct CharPair {
  char c[2];
};

struct DecodeTables {
  std::uint32_t position[4][256];
};

constexpr EncodeTables MakeEncodeTables() {
  EncodeTables t{};
  for (int b = 0; b < 256; ++b) {
    t.first[b] = kAlphabet[b >> 2];
    t.second[b] = kAlphabet[b & 63];
    t.third[b] = kAlphabet[b & 63];
  }
  return t;
}

struct PairTable {
  CharPair pair[4096];
};

constexpr PairTable MakePairTable() {
  PairTable t{};
  for (int v = 0; v < 4096; ++v) {
    t.pair[v].c[0] = kAlphabet[v >> 6];
    t.pair[v].c[1] = kAlphabet[v & 63];
  }
  return t;
}

constexpr DecodeTables MakeDecodeTables() {
  DecodeTables t{};
  for (int p = 0; p < 4; ++p) {
    for (int c = 0; c < 256; ++c) t.position[p][c] = kInvalidGroup;
  }
  for (std::uint32_t v = 0; v < 64; ++v) {
    const auto c = static_cast<unsigned char>(kAlphabet[v]);
    t.position[0][c] = v << 2;
    t.position[1][c] = (v >> 4) | ((v & 0x0F) << 12);
    t.position[2][c] = ((v >> 2) & 0x0F) << 8 | (v & 3) << 22;
    t.position[3][c] = v << 16;
  }
  return t;
}

inline constexpr EncodeTables kEncode = MakeEncodeTables();
inline constexpr PairTable kEncodePairs = MakePairTable();
inline constexpr DecodeTables kDecode = MakeDecodeTables();

}  // namespace base64
}  // namespace Base
}  // namespace Oska
