// Frame reassembly of the stream pipeline, on a store the caller owns.
//
// Frames are "pkg", a type byte, a little-endian 32-bit payload length and
// the payload (see OskaBase/StreamPipeLine.h). Bytes arrive in arbitrary
// pieces; complete frames are delivered straight out of the store, and only
// the incomplete tail is moved to the store's start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Oska {
namespace Base {

constexpr std::uint32_t kStreamFrameHeader = 8;
constexpr std::uint32_t kStreamFrameMax = 102400;
constexpr std::uint32_t kStreamPayloadMax = kStreamFrameMax - kStreamFrameHeader;  // 102392

// Appends `length` bytes of `data` to `store` (`capacity` bytes, `*fill` of
// them held) and calls deliver(type, payload, payload_length) once per
// complete frame, in order. Returns false, with the store emptied, when a
// header announces more than kStreamPayloadMax bytes (no valid sender writes
// that, and it could not be held) or the store cannot make progress
// (capacity below one frame); the caller then ends the stream. Never reads or
// writes outside store[0, capacity) or data[0, length). Any `length`, even
// larger than the store, is taken in store-sized pieces. `data` may point at
// store + *fill (bytes already in place, at most capacity - *fill of them);
// otherwise it must not overlap the store.
//
// With capacity >= 2 * kStreamFrameMax, the store holds at most one
// incomplete frame (< kStreamFrameMax bytes) between calls.
template <typename Deliver>
bool ReassembleFrames(char* store, std::uint32_t capacity, std::uint32_t* fill, const char* data,
                      std::size_t length, Deliver&& deliver) {
  while (length > 0) {
    const std::size_t room = capacity - *fill;
    if (room == 0) {
      *fill = 0;
      return false;
    }
    const std::size_t take = length < room ? length : room;
    // Bytes read straight into place need no copy.
    if (data != store + *fill) std::memcpy(store + *fill, data, take);
    *fill += static_cast<std::uint32_t>(take);
    data += take;
    length -= take;

    std::uint32_t pos = 0;
    while (*fill - pos >= kStreamFrameHeader) {
      const unsigned char* header = reinterpret_cast<const unsigned char*>(store + pos);
      const std::uint32_t payload = std::uint32_t{header[4]} | (std::uint32_t{header[5]} << 8) |
                                    (std::uint32_t{header[6]} << 16) |
                                    (std::uint32_t{header[7]} << 24);
      if (payload > kStreamPayloadMax) {
        *fill = 0;
        return false;
      }
      if (*fill - pos - kStreamFrameHeader < payload) break;
      deliver(static_cast<int>(header[3]), store + pos + kStreamFrameHeader, payload);
      pos += kStreamFrameHeader + payload;
    }
    if (pos > 0) {
      const std::uint32_t rest = *fill - pos;
      if (rest > 0) std::memmove(store, store + pos, rest);
      *fill = rest;
    }
  }
  return true;
}

// How many bytes to read next into store + fill: the rest of the frame in
// progress once its header is there, otherwise up to one whole frame. Reads
// sized so keep large frames aligned with the start of the store. Always at
// least 1 and at most capacity - fill when capacity >= 2 * kStreamFrameMax
// and the store holds one incomplete, acceptable frame.
inline std::uint32_t NextFrameRead(const char* store, std::uint32_t fill) {
  if (fill >= kStreamFrameHeader) {
    const unsigned char* header = reinterpret_cast<const unsigned char*>(store);
    const std::uint32_t payload = std::uint32_t{header[4]} | (std::uint32_t{header[5]} << 8) |
                                  (std::uint32_t{header[6]} << 16) |
                                  (std::uint32_t{header[7]} << 24);
    const std::uint32_t frame = kStreamFrameHeader + (payload > kStreamPayloadMax ? 0 : payload);
    if (frame > fill) return frame - fill;
  }
  return fill < kStreamFrameMax ? kStreamFrameMax - fill : 1;
}

}  // namespace Base
}  // namespace Oska
