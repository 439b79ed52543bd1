// SSSE3 Base64 encoding of twelve bytes per step.
//
// Each 32-bit lane receives three input bytes rearranged as b1 b0 b2 b1, so
// that the four six-bit indices sit at fixed places in its two 16-bit
// halves; two multiplications move them to the low six bits of the lane's
// four bytes. The indices become characters by adding a per-range offset:
// 0-25 -> 'A', 26-51 -> 'a' - 26, 52-61 -> '0' - 52, 62 -> '+' - 62,
// 63 -> '/' - 63, the offset picked by a saturating subtraction and one
// comparison that reduce the index to a small shuffle key. The loop only
// loads sixteen bytes where sixteen remain, so it never reads past the input.
#include "Util/Base64Vector.h"

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define OSKA_BASE64_SSSE3 1
#include <immintrin.h>
#endif

namespace Oska {
namespace Base {
namespace base64 {

#if defined(OSKA_BASE64_SSSE3)
namespace {

__attribute__((target("ssse3"))) std::size_t EncodeSsse3(const unsigned char* src, std::size_t len,
                                                         char* dst) {
  const __m128i spread = _mm_set_epi8(10, 11, 9, 10, 7, 8, 6, 7, 4, 5, 3, 4, 1, 2, 0, 1);
  const __m128i mask_hi = _mm_set1_epi32(0x0FC0FC00);
  const __m128i mul_hi = _mm_set1_epi32(0x04000040);
  const __m128i mask_lo = _mm_set1_epi32(0x003F03F0);
  const __m128i mul_lo = _mm_set1_epi32(0x01000010);
  const __m128i offsets = _mm_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                                        '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62,
                                        '/' - 63, 'A', 0, 0);
  const __m128i fifty_one = _mm_set1_epi8(51);
  const __m128i twenty_six = _mm_set1_epi8(26);
  const __m128i thirteen = _mm_set1_epi8(13);

  std::size_t done = 0;
  for (; len - done >= 16; done += 12, dst += 16) {
    const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + done));
    const __m128i lanes = _mm_shuffle_epi8(in, spread);
    const __m128i hi = _mm_mulhi_epu16(_mm_and_si128(lanes, mask_hi), mul_hi);
    const __m128i lo = _mm_mullo_epi16(_mm_and_si128(lanes, mask_lo), mul_lo);
    const __m128i indices = _mm_or_si128(hi, lo);
    // Key: 0 for 26-51, 1-12 for 52-63, 13 for 0-25.
    __m128i key = _mm_subs_epu8(indices, fifty_one);
    key = _mm_or_si128(key, _mm_and_si128(_mm_cmpgt_epi8(twenty_six, indices), thirteen));
    const __m128i chars = _mm_add_epi8(_mm_shuffle_epi8(offsets, key), indices);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), chars);
  }
  return done;
}

bool HasSsse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}

}  // namespace

std::size_t EncodeVectorPrefix(const unsigned char* src, std::size_t len, char* dst) {
  if (len < 16 || !HasSsse3()) return 0;
  return EncodeSsse3(src, len, dst);
}

#else

std::size_t EncodeVectorPrefix(const unsigned char*, std::size_t, char*) { return 0; }

#endif

}  // namespace base64
}  // namespace Base
}  // namespace Oska
