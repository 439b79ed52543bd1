// The UTF-8 codec of the code-page family. Windows converts UTF-8 itself
// rather than through a code-page table; so do we, because the general
// converters (ICU, iconv) pay a per-character dispatch that plain UTF-8 text,
// mostly ASCII in practice, need not pay. Validation follows the Unicode
// standard's table of well-formed byte sequences (no overlongs, no encoded
// surrogates, nothing above U+10FFFF).
#include "utf8_codec.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace winapi {
namespace utf8 {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

// Outputs of at least this many units (16 MiB) bypass the caches.
constexpr std::size_t kStreamingUnits = std::size_t{1} << 22;

inline bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Where decoded units go: counted only (the size query) or stored into a
// bounded buffer.
struct CountUnits {
  std::size_t n = 0;
  bool Room(std::size_t) const { return true; }
  void Put(wchar_t) { ++n; }
  void Put2(wchar_t, wchar_t) { n += 2; }
  void PutFiveThreeByte(const unsigned char*) { n += 5; }
  void PutAscii16(const unsigned char*) { n += 16; }
};

struct StoreUnits {
  wchar_t* out;
  std::size_t capacity;
  std::size_t n = 0;
  // Outputs far larger than the caches are written around them (streaming
  // stores): the CPU then need not read each output line before writing it,
  // which halves the memory traffic of a large ASCII text.
  bool stream = false;
  bool Room(std::size_t k) const { return capacity - n >= k; }
  void Put(wchar_t c) { out[n++] = c; }
  void Put2(wchar_t a, wchar_t b) {
    out[n] = a;
    out[n + 1] = b;
    n += 2;
  }
  // Five well-formed three-byte sequences.
  void PutFiveThreeByte(const unsigned char* p) {
    for (int k = 0; k < 5; ++k, p += 3) {
      out[n + k] = static_cast<wchar_t>(((p[0] & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) |
                                        (p[2] & 0x3Fu));
    }
    n += 5;
  }
  void PutAscii16(const unsigned char* p) {
#if defined(__SSE2__)
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo = _mm_unpacklo_epi8(v, zero);
    const __m128i hi = _mm_unpackhi_epi8(v, zero);
    __m128i* dst = reinterpret_cast<__m128i*>(out + n);
    if (stream && (reinterpret_cast<std::uintptr_t>(dst) & 15) == 0) {
      _mm_stream_si128(dst + 0, _mm_unpacklo_epi16(lo, zero));
      _mm_stream_si128(dst + 1, _mm_unpackhi_epi16(lo, zero));
      _mm_stream_si128(dst + 2, _mm_unpacklo_epi16(hi, zero));
      _mm_stream_si128(dst + 3, _mm_unpackhi_epi16(hi, zero));
    } else {
      _mm_storeu_si128(dst + 0, _mm_unpacklo_epi16(lo, zero));
      _mm_storeu_si128(dst + 1, _mm_unpackhi_epi16(lo, zero));
      _mm_storeu_si128(dst + 2, _mm_unpacklo_epi16(hi, zero));
      _mm_storeu_si128(dst + 3, _mm_unpackhi_epi16(hi, zero));
    }
#else
    for (int k = 0; k < 16; ++k) out[n + k] = p[k];
#endif
    n += 16;
  }
};

// Bytes [p, p+16) are all ASCII.
inline bool Ascii16(const unsigned char* p) {
#if defined(__SSE2__)
  return _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))) == 0;
#else
  std::uint64_t a, b;
  std::memcpy(&a, p, 8);
  std::memcpy(&b, p + 8, 8);
  return ((a | b) & 0x8080808080808080ull) == 0;
#endif
}

// Decodes into `sink`. Ends early, with `overflow` or `invalid` set, when
// the sink is full or (stop_on_invalid) at the first ill-formed sequence.
template <typename Sink>
Result Decode(const unsigned char* in, std::size_t length, Sink& sink, bool stop_on_invalid) {
  Result r;
  const unsigned char* p = in;
  const unsigned char* const end = in + length;
  while (p < end) {
    // A run of ASCII: sixteen bytes at a time, then byte by byte.
    if (*p < 0x80) {
      while (end - p >= 16 && Ascii16(p) && sink.Room(16)) {
        sink.PutAscii16(p);
        p += 16;
      }
      while (p < end && *p < 0x80) {
        if (!sink.Room(1)) return r.overflow = true, r.units = sink.n, r;
        sink.Put(*p++);
      }
      continue;
    }
    // A run of well-formed three-byte sequences (CJK text), two at a time
    // while eight bytes can be read: the pattern 1110xxxx 10xxxxxx 10xxxxxx
    // twice, checked with one mask.
#if defined(__SSE2__)
    // Five at a time while sixteen bytes can be read: fifteen bytes that
    // follow the pattern, none of whose leads is E0 or ED (the leads whose
    // second byte needs a narrower range check).
    {
      const __m128i mask = _mm_setr_epi8(-16, -64, -64, -16, -64, -64, -16, -64, -64, -16, -64,
                                         -64, -16, -64, -64, 0);
      const __m128i pattern = _mm_setr_epi8(-32, -128, -128, -32, -128, -128, -32, -128, -128,
                                            -32, -128, -128, -32, -128, -128, 0);
      const __m128i e0 = _mm_set1_epi8(static_cast<char>(0xE0));
      const __m128i ed = _mm_set1_epi8(static_cast<char>(0xED));
      while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, mask), pattern)) != 0xFFFF) break;
        if ((_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, e0), _mm_cmpeq_epi8(v, ed))) &
             0x1249) != 0) {
          break;
        }
        if (!sink.Room(5)) break;
        sink.PutFiveThreeByte(p);
        p += 15;
      }
    }
#endif
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    while (end - p >= 8) {
      std::uint64_t x;
      std::memcpy(&x, p, sizeof x);
      if ((x & 0xC0C0F0C0C0F0ull) != 0x8080E08080E0ull) break;
      const unsigned cp0 = static_cast<unsigned>(((x & 0x0F) << 12) | (((x >> 8) & 0x3F) << 6) |
                                                 ((x >> 16) & 0x3F));
      const unsigned cp1 = static_cast<unsigned>((((x >> 24) & 0x0F) << 12) |
                                                 (((x >> 32) & 0x3F) << 6) | ((x >> 40) & 0x3F));
      // Overlong forms and surrogates leave for the one-at-a-time loop.
      if (cp0 < 0x800 || (cp0 - 0xD800) < 0x800 || cp1 < 0x800 || (cp1 - 0xD800) < 0x800) break;
      if (!sink.Room(2)) break;
      sink.Put2(static_cast<wchar_t>(cp0), static_cast<wchar_t>(cp1));
      p += 6;
    }
#endif
    while (end - p >= 3) {
      const unsigned b0 = p[0];
      const unsigned b1 = p[1];
      const unsigned b2 = p[2];
      if ((b0 & 0xF0) != 0xE0 || ((b1 & 0xC0) ^ 0x80) != 0 || ((b2 & 0xC0) ^ 0x80) != 0) break;
      const unsigned cp = ((b0 & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F);
      if (cp < 0x800 || (cp - 0xD800) < 0x800) break;  // overlong or surrogate
      if (!sink.Room(1)) return r.overflow = true, r.units = sink.n, r;
      sink.Put(static_cast<wchar_t>(cp));
      p += 3;
    }
    if (p == end || *p < 0x80) continue;

    // One sequence of any kind, or one ill-formed subsequence.
    const unsigned b0 = *p;
    const std::size_t left = static_cast<std::size_t>(end - p);
    unsigned cp = 0;
    std::size_t used = 0;  // bytes of a well-formed sequence; 0 if ill-formed
    std::size_t bad = 1;   // bytes of the maximal ill-formed subsequence
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      if (left >= 2 && IsContinuation(p[1])) {
        cp = ((b0 & 0x1F) << 6) | (p[1] & 0x3Fu);
        used = 2;
      }
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      // Second-byte ranges exclude overlongs (E0) and surrogates (ED).
      const unsigned lo = b0 == 0xE0 ? 0xA0 : 0x80;
      const unsigned hi = b0 == 0xED ? 0x9F : 0xBF;
      if (left >= 2 && p[1] >= lo && p[1] <= hi) {
        if (left >= 3 && IsContinuation(p[2])) {
          cp = ((b0 & 0x0F) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
          used = 3;
        } else {
          bad = 2;
        }
      }
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      // Second-byte ranges exclude overlongs (F0) and values past U+10FFFF (F4).
      const unsigned lo = b0 == 0xF0 ? 0x90 : 0x80;
      const unsigned hi = b0 == 0xF4 ? 0x8F : 0xBF;
      if (left >= 2 && p[1] >= lo && p[1] <= hi) {
        if (left >= 3 && IsContinuation(p[2])) {
          if (left >= 4 && IsContinuation(p[3])) {
            cp = ((b0 & 0x07) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) |
                 (p[3] & 0x3Fu);
            used = 4;
          } else {
            bad = 3;
          }
        } else {
          bad = 2;
        }
      }
    }
    // Anything else (80-C1: stray continuation or overlong lead; F5-FF)
    // never starts a sequence: one byte, one replacement.
    if (used == 0) {
      r.invalid = true;
      if (stop_on_invalid) return r.units = sink.n, r;
      cp = kReplacement;
      used = bad;
    }
    if (!sink.Room(1)) return r.overflow = true, r.units = sink.n, r;
    sink.Put(static_cast<wchar_t>(cp));
    p += used;
  }
  r.units = sink.n;
  return r;
}

// Where encoded bytes go: a bounded buffer.
struct StoreBytes {
  unsigned char* out;
  std::size_t capacity;
  std::size_t n = 0;
  bool Room(std::size_t k) const { return capacity - n >= k; }
  void Put1(std::uint32_t c) { out[n++] = static_cast<unsigned char>(c); }
  void Put2(std::uint32_t c) {
    out[n] = static_cast<unsigned char>(0xC0 | (c >> 6));
    out[n + 1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    n += 2;
  }
  void Put3(std::uint32_t c) {
    out[n] = static_cast<unsigned char>(0xE0 | (c >> 12));
    out[n + 1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    out[n + 2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    n += 3;
  }
  void Put4(std::uint32_t c) {
    out[n] = static_cast<unsigned char>(0xF0 | (c >> 18));
    out[n + 1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
    out[n + 2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    out[n + 3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    n += 4;
  }
#if defined(__SSE2__)
  void Store16(__m128i bytes) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), bytes);
    n += 16;
  }
#endif
  void PutAscii16(const wchar_t* p) {
#if defined(__SSE2__)
    // Two saturating packs narrow 32-bit units to bytes, exact below 0x80.
    const __m128i* src = reinterpret_cast<const __m128i*>(p);
    const __m128i ab = _mm_packs_epi32(_mm_loadu_si128(src + 0), _mm_loadu_si128(src + 1));
    const __m128i cd = _mm_packs_epi32(_mm_loadu_si128(src + 2), _mm_loadu_si128(src + 3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), _mm_packus_epi16(ab, cd));
#else
    for (int k = 0; k < 16; ++k) out[n + k] = static_cast<unsigned char>(p[k]);
#endif
    n += 16;
  }
};

#if !defined(__SSE2__)
// Units [p, p+16) are all below 0x80.
inline bool Ascii16(const wchar_t* p) {
  std::uint32_t any = 0;
  for (int k = 0; k < 16; ++k) any |= static_cast<std::uint32_t>(p[k]);
  return any < 0x80;
}
#endif

template <typename Sink>
Result Encode(const wchar_t* in, std::size_t length, Sink& sink, bool stop_on_invalid) {
  Result r;
  const wchar_t* p = in;
  const wchar_t* const end = in + length;
  while (p < end) {
    std::uint32_t c = static_cast<std::uint32_t>(*p);
    if (c < 0x80) {
#if defined(__SSE2__)
      // Narrow sixteen units with two saturating packs, then check the
      // result: any unit outside 0-0x7F leaves a top bit set in the 16-bit
      // (negative values) or the 8-bit lanes (everything else).
      while (end - p >= 16 && sink.Room(16)) {
        const __m128i* src = reinterpret_cast<const __m128i*>(p);
        const __m128i ab = _mm_packs_epi32(_mm_loadu_si128(src + 0), _mm_loadu_si128(src + 1));
        const __m128i cd = _mm_packs_epi32(_mm_loadu_si128(src + 2), _mm_loadu_si128(src + 3));
        const __m128i bytes = _mm_packus_epi16(ab, cd);
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(ab, cd), bytes)) != 0) break;
        sink.Store16(bytes);
        p += 16;
      }
#else
      while (end - p >= 16 && Ascii16(p) && sink.Room(16)) {
        sink.PutAscii16(p);
        p += 16;
      }
#endif
      while (p < end && static_cast<std::uint32_t>(*p) < 0x80) {
        if (!sink.Room(1)) return r.overflow = true, r.units = sink.n, r;
        sink.Put1(static_cast<std::uint32_t>(*p++));
      }
      continue;
    }
    // A run of three-byte characters (CJK text): U+0800-U+FFFF minus
    // surrogates, four units checked at once.
#if defined(__SSE2__)
    {
      const __m128i c7ff = _mm_set1_epi32(0x7FF);
      const __m128i c10000 = _mm_set1_epi32(0x10000);
      const __m128i cd7ff = _mm_set1_epi32(0xD7FF);
      const __m128i ce000 = _mm_set1_epi32(0xE000);
      while (end - p >= 4 && sink.Room(12)) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i in_range = _mm_and_si128(_mm_cmpgt_epi32(v, c7ff), _mm_cmpgt_epi32(c10000, v));
        const __m128i surrogate = _mm_and_si128(_mm_cmpgt_epi32(v, cd7ff), _mm_cmpgt_epi32(ce000, v));
        if (_mm_movemask_epi8(_mm_andnot_si128(surrogate, in_range)) != 0xFFFF) break;
        sink.Put3(static_cast<std::uint32_t>(p[0]));
        sink.Put3(static_cast<std::uint32_t>(p[1]));
        sink.Put3(static_cast<std::uint32_t>(p[2]));
        sink.Put3(static_cast<std::uint32_t>(p[3]));
        p += 4;
      }
    }
#endif
    while (p < end) {
      c = static_cast<std::uint32_t>(*p);
      if (c < 0x800 || c > 0xFFFF || (c - 0xD800) < 0x800) break;
      if (!sink.Room(3)) return r.overflow = true, r.units = sink.n, r;
      sink.Put3(c);
      ++p;
    }
    if (p == end) break;
    c = static_cast<std::uint32_t>(*p);
    if (c < 0x80) continue;
    if (c < 0x800) {
      if (!sink.Room(2)) return r.overflow = true, r.units = sink.n, r;
      sink.Put2(c);
    } else if (c >= 0x10000 && c <= 0x10FFFF) {
      if (!sink.Room(4)) return r.overflow = true, r.units = sink.n, r;
      sink.Put4(c);
    } else {
      // A surrogate, or beyond Unicode (negative wchar_t values included).
      r.invalid = true;
      if (stop_on_invalid) return r.units = sink.n, r;
      if (!sink.Room(3)) return r.overflow = true, r.units = sink.n, r;
      sink.Put3(0xFFFD);
    }
    ++p;
  }
  r.units = sink.n;
  return r;
}

// The size query of Encode, by arithmetic: each unit's byte count is one
// plus how many of 0x7F, 0x7FF and 0xFFFF it exceeds, four units at a time.
// Units that are not scalar values (negative, surrogates, above 0x10FFFF)
// become U+FFFD, three bytes, or end the count when stop_on_invalid.
Result CountEncoded(const wchar_t* in, std::size_t length, bool stop_on_invalid) {
  Result r;
  std::size_t total = 0;
  std::size_t i = 0;
  auto scalar = [&](std::uint32_t c) -> bool {
    if (c < 0x80) {
      total += 1;
    } else if (c < 0x800) {
      total += 2;
    } else if (c >= 0x10000 && c <= 0x10FFFF) {
      total += 4;
    } else {
      if (c > 0xFFFF || (c - 0xD800) < 0x800) {
        r.invalid = true;
        if (stop_on_invalid) return false;
      }
      total += 3;
    }
    return true;
  };
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i c7f = _mm_set1_epi32(0x7F);
  const __m128i c7ff = _mm_set1_epi32(0x7FF);
  const __m128i cffff = _mm_set1_epi32(0xFFFF);
  const __m128i c10ffff = _mm_set1_epi32(0x10FFFF);
  const __m128i cd7ff = _mm_set1_epi32(0xD7FF);
  const __m128i ce000 = _mm_set1_epi32(0xE000);
  // Per lane, minus the number of thresholds exceeded; at most 3 a step, so
  // no lane can overflow within the 2^31 units a call takes.
  __m128i exceeded = zero;
  std::size_t simd_units = 0;
  const __m128i not_ascii = _mm_set1_epi32(~0x7F);
  while (length - i >= 4) {
    // Sixteen ASCII units at once where the text allows.
    while (length - i >= 16 && static_cast<std::uint32_t>(in[i]) < 0x80) {
      const __m128i* src = reinterpret_cast<const __m128i*>(in + i);
      const __m128i any = _mm_or_si128(_mm_or_si128(_mm_loadu_si128(src), _mm_loadu_si128(src + 1)),
                                       _mm_or_si128(_mm_loadu_si128(src + 2), _mm_loadu_si128(src + 3)));
      if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(any, not_ascii), zero)) != 0xFFFF) break;
      simd_units += 16;
      i += 16;
    }
    if (length - i < 4) break;
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    const __m128i bad =
        _mm_or_si128(_mm_or_si128(_mm_cmpgt_epi32(zero, v), _mm_cmpgt_epi32(v, c10ffff)),
                     _mm_and_si128(_mm_cmpgt_epi32(v, cd7ff), _mm_cmpgt_epi32(ce000, v)));
    if (_mm_movemask_epi8(bad) != 0) {
      for (int k = 0; k < 4; ++k) {
        if (!scalar(static_cast<std::uint32_t>(in[i + k]))) return r;
      }
    } else {
      exceeded = _mm_add_epi32(
          exceeded, _mm_add_epi32(_mm_add_epi32(_mm_cmpgt_epi32(v, c7f), _mm_cmpgt_epi32(v, c7ff)),
                                  _mm_cmpgt_epi32(v, cffff)));
      simd_units += 4;
    }
    i += 4;
  }
  alignas(16) std::int32_t lanes[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), exceeded);
  total += simd_units;
  for (const std::int32_t lane : lanes) total += static_cast<std::size_t>(-static_cast<std::int64_t>(lane));
#endif
  for (; i < length; ++i) {
    if (!scalar(static_cast<std::uint32_t>(in[i]))) return r;
  }
  r.units = total;
  return r;
}

}  // namespace

Result DecodeToUtf32(const unsigned char* in, std::size_t length, wchar_t* out,
                     std::size_t capacity, bool stop_on_invalid) {
  if (out == nullptr) {
    CountUnits sink;
    return Decode(in, length, sink, stop_on_invalid);
  }
  StoreUnits sink{out, capacity};
#if defined(__SSE2__)
  sink.stream = capacity >= kStreamingUnits;
  const Result r = Decode(in, length, sink, stop_on_invalid);
  if (sink.stream) _mm_sfence();  // streamed lines visible before we return
  return r;
#else
  return Decode(in, length, sink, stop_on_invalid);
#endif
}

Result EncodeFromUtf32(const wchar_t* in, std::size_t length, unsigned char* out,
                       std::size_t capacity, bool stop_on_invalid) {
  if (out == nullptr) return CountEncoded(in, length, stop_on_invalid);
  StoreBytes sink{out, capacity};
  return Encode(in, length, sink, stop_on_invalid);
}

}  // namespace utf8
}  // namespace winapi
