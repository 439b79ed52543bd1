// A plain Base64 codec of the kind found in small libraries: encoding
// shifts 24-bit groups apart and indexes the alphabet, decoding maps each
// character through a comparison chain and shifts the values together. The
// benchmark's yardstick for "no tables, no tricks".
#pragma once

#include <cstddef>

namespace bench_base64 {

// Writes 4 * ceil(len / 3) characters to dst and returns that count.
std::size_t PlainEncode(const unsigned char* src, std::size_t len, char* dst);

// Decodes a padded text; returns the decoded length or -1 when invalid.
long PlainDecode(const char* src, std::size_t len, unsigned char* dst);

}  // namespace bench_base64
