// The vector front of the Base64 encoder, used when the processor has SSSE3
// (checked once, at the first call). It encodes whole blocks of twelve bytes
// into sixteen characters with byte shuffles and lane arithmetic instead of
// table lookups, producing exactly the characters of the table encoder.
#pragma once

#include <cstddef>

namespace Oska {
namespace Base {
namespace base64 {

// Encodes a prefix of `src` whose length is a multiple of twelve and returns
// that length (0 when the processor lacks SSSE3, on other architectures, or
// for inputs under sixteen bytes). Writes 4/3 of it in characters to `dst`.
// Reads never go past src + len.
std::size_t EncodeVectorPrefix(const unsigned char* src, std::size_t len, char* dst);

}  // namespace base64
}  // namespace Base
}  // namespace Oska
