// A plain scalar UTF-8 <-> UTF-32 codec, one character per step with full
// validation and U+FFFD for ill-formed input: the baseline a programmer
// writes without a fast path. Used by the text benchmark only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bench_text {

// Decodes `n` bytes into `out` (room for n units); returns the unit count.
inline std::size_t ScalarDecode(const unsigned char* s, std::size_t n, wchar_t* out) {
  std::size_t i = 0, o = 0;
  while (i < n) {
    const unsigned b0 = s[i];
    unsigned cp = 0xFFFD;
    std::size_t len = 1;
    if (b0 < 0x80) {
      cp = b0;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
      if (i + 1 < n && (s[i + 1] & 0xC0) == 0x80) {
        cp = ((b0 & 0x1F) << 6) | (s[i + 1] & 0x3F);
        len = 2;
      }
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      if (i + 2 < n && (s[i + 1] & 0xC0) == 0x80 && (s[i + 2] & 0xC0) == 0x80) {
        const unsigned c = ((b0 & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
        if (c >= 0x800 && (c < 0xD800 || c > 0xDFFF)) {
          cp = c;
          len = 3;
        }
      }
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      if (i + 3 < n && (s[i + 1] & 0xC0) == 0x80 && (s[i + 2] & 0xC0) == 0x80 &&
          (s[i + 3] & 0xC0) == 0x80) {
        const unsigned c = ((b0 & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) |
                           ((s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F);
        if (c >= 0x10000 && c <= 0x10FFFF) {
          cp = c;
          len = 4;
        }
      }
    }
    out[o++] = static_cast<wchar_t>(cp);
    i += len;
  }
  return o;
}

// Encodes `n` units into `out` (room for 4n bytes); returns the byte count.
inline std::size_t ScalarEncode(const wchar_t* w, std::size_t n, unsigned char* out) {
  std::size_t o = 0;
  for (std::size_t i = 0; i < n; ++i) {
    std::uint32_t c = static_cast<std::uint32_t>(w[i]);
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
    if (c < 0x80) {
      out[o++] = static_cast<unsigned char>(c);
    } else if (c < 0x800) {
      out[o++] = static_cast<unsigned char>(0xC0 | (c >> 6));
      out[o++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out[o++] = static_cast<unsigned char>(0xE0 | (c >> 12));
      out[o++] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      out[o++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else {
      out[o++] = static_cast<unsigned char>(0xF0 | (c >> 18));
      out[o++] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
      out[o++] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      out[o++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
  }
  return o;
}

}  // namespace bench_text
