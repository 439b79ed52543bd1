// Fuzzes the Base64 decoder with arbitrary text. Checks that it never
// writes past 3 * (len / 4) bytes (the output is a heap block of exactly
// that size, so AddressSanitizer sees any overrun), that the int form agrees
// with the codec, that a success has the length the text promises, and that
// what decodes re-encodes, through both encoders, to the same text once the
// ignored low bits of the last character are put back to zero.
#include <OskaBase/Encrypt.h>

#include "Util/Base64Codec.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

namespace base64 = Oska::Base::base64;

int ValueOf(char c) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const char* p = std::strchr(kAlphabet, c);
  return c != '\0' && p != nullptr ? static_cast<int>(p - kAlphabet) : -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const std::size_t bound = 3 * (size / 4);
  std::vector<unsigned char> out(bound);
  const std::ptrdiff_t n = base64::Decode(text, size, out.data());

  // The int form must agree with the codec.
  std::vector<char> out2(bound + 1);
  const int m = Oska::Base::Encrypt::Base64Decode(text, static_cast<int>(size), out2.data());
  if (m != n) std::abort();
  if (n < 0) return 0;
  if (static_cast<std::size_t>(n) > bound) std::abort();
  if (n > 0 && std::memcmp(out.data(), out2.data(), static_cast<std::size_t>(n)) != 0) std::abort();

  std::size_t pads = 0;
  if (size > 0 && text[size - 1] == '=') pads = (size > 1 && text[size - 2] == '=') ? 2 : 1;
  if (size > 0 && static_cast<std::size_t>(n) != bound - pads) std::abort();

  // The canonical text: the input with the bits below a whole byte cleared.
  std::string canonical(text, size);
  if (pads > 0) {
    const std::size_t last = size - pads - 1;
    const int v = ValueOf(canonical[last]);
    if (v < 0) std::abort();
    const int kept = pads == 2 ? (v & 0x30) : (v & 0x3C);
    canonical[last] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"[kept];
  }
  std::string again(base64::EncodedLength(static_cast<std::size_t>(n)), '\0');
  std::string reference(again.size(), '\0');
  base64::EncodePairTable(out.data(), static_cast<std::size_t>(n), &again[0]);
  base64::EncodeByteTables(out.data(), static_cast<std::size_t>(n), &reference[0]);
  if (again != canonical || reference != canonical) std::abort();
  return 0;
}
