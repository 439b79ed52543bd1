// The Base64 codec behind Encrypt::Base64Encode/Base64Decode, on size_t
// lengths so the std::string forms are not limited to what an int counts.
// Private to the library; tests, the fuzzer and the benchmark compile
// Base64Codec.cpp in directly.
#pragma once

#include <cstddef>

namespace Oska {
namespace Base {
namespace base64 {

// 4 * ceil(len / 3): the characters `len` bytes encode to.
constexpr std::size_t EncodedLength(std::size_t len) { return (len + 2) / 3 * 4; }

// The reference encoder: per group of three bytes t1 t2 t3 it writes
// first[t1], second[((t1 & 3) << 4) | (t2 >> 4)],
// second[((t2 & 0x0F) << 2) | (t3 >> 6)], third[t3], then pads the last
// one or two bytes. Writes EncodedLength(len) characters, no terminator,
// and returns that count.
std::size_t EncodeByteTables(const unsigned char* src, std::size_t len, char* dst);

// Same output as EncodeByteTables, two characters per lookup in the
// twelve-bit pair table and several groups per step. This is the encoder the
// library uses; EncodeByteTables stays as the reference it is tested against.
std::size_t EncodePairTable(const unsigned char* src, std::size_t len, char* dst);

// Decodes `len` characters into `dst`, which must hold 3 * (len / 4) bytes
// and is never written past that. Returns the decoded length, or -1 for an
// invalid text (length not a multiple of 4, a foreign character, "=" other
// than up to two at the end). len 0 returns 0.
std::ptrdiff_t Decode(const char* src, std::size_t len, unsigned char* dst);

}  // namespace base64
}  // namespace Base
}  // namespace Oska
