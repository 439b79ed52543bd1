// The UTF-8 codec of the code-page family. Windows converts UTF-8 itself
// rather than through a code-page table; so do we, because the general
// converters (ICU, iconv) pay a per-character dispatch that plain UTF-8 text,
// mostly ASCII in practice, need not pay. Validation follows the Unicode
// standard's table of well-formed byte sequences (no overlongs, no encoded
// surrogates, nothing above U+10FFFF).
#include "utf8_codec.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace winapi {
namespace utf8 {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

inline bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

#if defined(__SSE2__)
inline int CountTrailingZeros(unsigned mask) { return __builtin_ctz(mask); }
#endif

// One decoder for both the size query (kWrite false) and the conversion.
template <bool kWrite>
Result Decode(const unsigned char* in, std::size_t length, wchar_t* out, std::size_t capacity,
              bool stop_on_invalid) {
  Result r;
  std::size_t i = 0;
  std::size_t o = 0;
  // Emits one unit; false once the output is full.
  auto emit = [&](wchar_t c) -> bool {
    if (kWrite) {
      if (o == capacity) {
        r.overflow = true;
        return false;
      }
      out[o] = c;
    }
    ++o;
    return true;
  };
  auto bad = [&](std::size_t consumed) -> bool {
    r.invalid = true;
    if (stop_on_invalid) return false;
    i += consumed;
    return emit(kReplacement);
  };

  while (i < length) {
    if (in[i] < 0x80) {
#if defined(__SSE2__)
      // Sixteen ASCII bytes at a time until a byte with its top bit set.
      const __m128i zero = _mm_setzero_si128();
      while (i + 16 <= length) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(v));
        if (mask != 0) {
          const int ascii = CountTrailingZeros(mask);
          for (int k = 0; k < ascii; ++k) {
            if (!emit(in[i])) return r.units = o, r;
            ++i;
          }
          break;
        }
        if (kWrite) {
          if (capacity - o < 16) break;  // finish byte by byte up to the limit
          const __m128i lo = _mm_unpacklo_epi8(v, zero);
          const __m128i hi = _mm_unpackhi_epi8(v, zero);
          __m128i* dst = reinterpret_cast<__m128i*>(out + o);
          _mm_storeu_si128(dst + 0, _mm_unpacklo_epi16(lo, zero));
          _mm_storeu_si128(dst + 1, _mm_unpackhi_epi16(lo, zero));
          _mm_storeu_si128(dst + 2, _mm_unpacklo_epi16(hi, zero));
          _mm_storeu_si128(dst + 3, _mm_unpackhi_epi16(hi, zero));
        }
        i += 16;
        o += 16;
      }
#endif
      while (i < length && in[i] < 0x80) {
        if (!emit(in[i])) return r.units = o, r;
        ++i;
      }
      continue;
    }

    // Non-ASCII: decode sequences until the next ASCII byte.
    while (i < length && in[i] >= 0x80) {
      const unsigned char b0 = in[i];
      const std::size_t left = length - i;
      // The common case first: a well-formed three-byte sequence (CJK text).
      if ((b0 & 0xF0) == 0xE0 && left >= 3 && IsContinuation(in[i + 1]) &&
          IsContinuation(in[i + 2])) {
        const unsigned cp = (static_cast<unsigned>(b0 & 0x0F) << 12) |
                            (static_cast<unsigned>(in[i + 1] & 0x3F) << 6) | (in[i + 2] & 0x3Fu);
        if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) {
          if (!emit(static_cast<wchar_t>(cp))) return r.units = o, r;
          i += 3;
          continue;
        }
      }
      if (b0 >= 0xC2 && b0 <= 0xDF) {
        if (left >= 2 && IsContinuation(in[i + 1])) {
          const unsigned cp = (static_cast<unsigned>(b0 & 0x1F) << 6) | (in[i + 1] & 0x3Fu);
          if (!emit(static_cast<wchar_t>(cp))) return r.units = o, r;
          i += 2;
        } else if (!bad(1)) {
          return r.units = o, r;
        }
        continue;
      }
      if (b0 >= 0xE0 && b0 <= 0xEF) {
        // Second byte ranges exclude overlongs (E0) and surrogates (ED).
        const unsigned char lo = b0 == 0xE0 ? 0xA0 : 0x80;
        const unsigned char hi = b0 == 0xED ? 0x9F : 0xBF;
        if (left < 2 || in[i + 1] < lo || in[i + 1] > hi) {
          if (!bad(1)) return r.units = o, r;
        } else if (left < 3 || !IsContinuation(in[i + 2])) {
          if (!bad(2)) return r.units = o, r;
        } else {
          const unsigned cp = (static_cast<unsigned>(b0 & 0x0F) << 12) |
                              (static_cast<unsigned>(in[i + 1] & 0x3F) << 6) |
                              (in[i + 2] & 0x3Fu);
          if (!emit(static_cast<wchar_t>(cp))) return r.units = o, r;
          i += 3;
        }
        continue;
      }
      if (b0 >= 0xF0 && b0 <= 0xF4) {
        // Second byte ranges exclude overlongs (F0) and values past U+10FFFF (F4).
        const unsigned char lo = b0 == 0xF0 ? 0x90 : 0x80;
        const unsigned char hi = b0 == 0xF4 ? 0x8F : 0xBF;
        if (left < 2 || in[i + 1] < lo || in[i + 1] > hi) {
          if (!bad(1)) return r.units = o, r;
        } else if (left < 3 || !IsContinuation(in[i + 2])) {
          if (!bad(2)) return r.units = o, r;
        } else if (left < 4 || !IsContinuation(in[i + 3])) {
          if (!bad(3)) return r.units = o, r;
        } else {
          const unsigned cp = (static_cast<unsigned>(b0 & 0x07) << 18) |
                              (static_cast<unsigned>(in[i + 1] & 0x3F) << 12) |
                              (static_cast<unsigned>(in[i + 2] & 0x3F) << 6) |
                              (in[i + 3] & 0x3Fu);
          if (!emit(static_cast<wchar_t>(cp))) return r.units = o, r;
          i += 4;
        }
        continue;
      }
      // 80-C1 (stray continuation, overlong lead) and F5-FF never start a
      // sequence.
      if (!bad(1)) return r.units = o, r;
    }
  }
  r.units = o;
  return r;
}

template <bool kWrite>
Result Encode(const wchar_t* in, std::size_t length, unsigned char* out, std::size_t capacity,
              bool stop_on_invalid) {
  Result r;
  std::size_t i = 0;
  std::size_t o = 0;
  auto room = [&](std::size_t need) -> bool {
    if (kWrite && capacity - o < need) {
      r.overflow = true;
      return false;
    }
    return true;
  };

  while (i < length) {
#if defined(__SSE2__)
    // Sixteen ASCII units at a time, narrowed with two saturating packs
    // (exact for values below 0x80).
    if (static_cast<std::uint32_t>(in[i]) < 0x80) {
      const __m128i high_bits = _mm_set1_epi32(~0x7F);
      const __m128i zero = _mm_setzero_si128();
      while (i + 16 <= length) {
        const __m128i* src = reinterpret_cast<const __m128i*>(in + i);
        const __m128i a = _mm_loadu_si128(src + 0);
        const __m128i b = _mm_loadu_si128(src + 1);
        const __m128i c = _mm_loadu_si128(src + 2);
        const __m128i d = _mm_loadu_si128(src + 3);
        const __m128i any = _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d));
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(any, high_bits), zero)) != 0xFFFF) {
          break;
        }
        if (kWrite) {
          if (capacity - o < 16) break;
          const __m128i packed =
              _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), packed);
        }
        i += 16;
        o += 16;
      }
      if (i == length) break;
    }
#endif
    std::uint32_t c = static_cast<std::uint32_t>(in[i]);
    if (c < 0x80) {
      if (!room(1)) break;
      if (kWrite) out[o] = static_cast<unsigned char>(c);
      o += 1;
    } else if (c < 0x800) {
      if (!room(2)) break;
      if (kWrite) {
        out[o] = static_cast<unsigned char>(0xC0 | (c >> 6));
        out[o + 1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      }
      o += 2;
    } else if (c < 0x10000 || c > 0x10FFFF) {
      if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
        r.invalid = true;
        if (stop_on_invalid) break;
        c = 0xFFFD;
      }
      if (!room(3)) break;
      if (kWrite) {
        out[o] = static_cast<unsigned char>(0xE0 | (c >> 12));
        out[o + 1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        out[o + 2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      }
      o += 3;
    } else {
      if (!room(4)) break;
      if (kWrite) {
        out[o] = static_cast<unsigned char>(0xF0 | (c >> 18));
        out[o + 1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
        out[o + 2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        out[o + 3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
      }
      o += 4;
    }
    ++i;
  }
  r.units = o;
  return r;
}

}  // namespace

Result DecodeToUtf32(const unsigned char* in, std::size_t length, wchar_t* out,
                     std::size_t capacity, bool stop_on_invalid) {
  return out == nullptr ? Decode<false>(in, length, nullptr, 0, stop_on_invalid)
                        : Decode<true>(in, length, out, capacity, stop_on_invalid);
}

Result EncodeFromUtf32(const wchar_t* in, std::size_t length, unsigned char* out,
                       std::size_t capacity, bool stop_on_invalid) {
  return out == nullptr ? Encode<false>(in, length, nullptr, 0, stop_on_invalid)
                        : Encode<true>(in, length, out, capacity, stop_on_invalid);
}

}  // namespace utf8
}  // namespace winapi
