// The UTF-8 <-> UTF-32 codec behind CP_UTF8 (and CP_ACP under a UTF-8
// locale). Private to the layer.
//
// Both directions take a Sink choice at compile time: counting only (the size
// query) or writing into a bounded output. Runs of ASCII go 16 bytes at a time
// with SSE2 where the compiler targets it; everything else is a scalar
// decoder that applies Unicode's "maximal subpart" rule: each maximal
// ill-formed subsequence becomes one U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>

namespace winapi {
namespace utf8 {

// Outcome of one conversion.
struct Result {
  std::size_t units = 0;  // output units produced (or that would be produced)
  bool overflow = false;  // the output capacity was too small; stopped there
  bool invalid = false;   // the input had at least one ill-formed sequence
};

// UTF-8 -> UTF-32. `out` null: count only (capacity ignored). With
// `stop_on_invalid`, the first ill-formed sequence ends the conversion with
// `invalid` set (the count is then meaningless).
Result DecodeToUtf32(const unsigned char* in, std::size_t length, wchar_t* out,
                     std::size_t capacity, bool stop_on_invalid);

// UTF-32 -> UTF-8. Units that are not scalar values (surrogates, above
// 0x10FFFF, negative) become EF BF BD (U+FFFD), or end the conversion with
// `invalid` set when `stop_on_invalid`.
Result EncodeFromUtf32(const wchar_t* in, std::size_t length, unsigned char* out,
                       std::size_t capacity, bool stop_on_invalid);

}  // namespace utf8
}  // namespace winapi
