#include "PlainBase64.h"

#include <cstdint>

namespace bench_base64 {
namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int ValueOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}
}  // namespace

std::size_t PlainEncode(const unsigned char* src, std::size_t len, char* dst) {
  char* d = dst;
  std::size_t i = 0;
  for (; i + 3 <= len; i += 3) {
    const std::uint32_t v = static_cast<std::uint32_t>(src[i]) << 16 | src[i + 1] << 8 | src[i + 2];
    *d++ = kAlphabet[(v >> 18) & 63];
    *d++ = kAlphabet[(v >> 12) & 63];
    *d++ = kAlphabet[(v >> 6) & 63];
    *d++ = kAlphabet[v & 63];
  }
  if (len - i == 1) {
    const std::uint32_t v = static_cast<std::uint32_t>(src[i]) << 16;
    *d++ = kAlphabet[(v >> 18) & 63];
    *d++ = kAlphabet[(v >> 12) & 63];
    *d++ = '=';
    *d++ = '=';
  } else if (len - i == 2) {
    const std::uint32_t v = static_cast<std::uint32_t>(src[i]) << 16 | src[i + 1] << 8;
    *d++ = kAlphabet[(v >> 18) & 63];
    *d++ = kAlphabet[(v >> 12) & 63];
    *d++ = kAlphabet[(v >> 6) & 63];
    *d++ = '=';
  }
  return static_cast<std::size_t>(d - dst);
}

long PlainDecode(const char* src, std::size_t len, unsigned char* dst) {
  if (len % 4 != 0) return -1;
  unsigned char* d = dst;
  for (std::size_t i = 0; i < len; i += 4) {
    const bool last = i + 4 == len;
    const int pads = last ? (src[i + 3] == '=') + (src[i + 2] == '=' && src[i + 3] == '=') : 0;
    std::uint32_t v = 0;
    for (int k = 0; k < 4 - pads; ++k) {
      const int x = ValueOf(src[i + k]);
      if (x < 0) return -1;
      v |= static_cast<std::uint32_t>(x) << (18 - 6 * k);
    }
    *d++ = static_cast<unsigned char>(v >> 16);
    if (pads < 2) *d++ = static_cast<unsigned char>(v >> 8);
    if (pads < 1) *d++ = static_cast<unsigned char>(v);
  }
  return static_cast<long>(d - dst);
}

}  // namespace bench_base64
