// Drives the stream pipeline's frame reassembly with arbitrary bytes cut into
// arbitrary pieces, the way reads from a hostile sender would arrive, both
// copied in and read straight into the store as the pipeline's reader does. The
// first input byte chooses the piece sizes; when its low bit is set, the
// input is followed by up to 256 KiB of zero filler (its size from the last
// two bytes), so that short inputs reach frames of every size. Checks that every delivered frame
// lies inside the store and within the payload limit, that the store never
// holds more than one incomplete frame between pieces, and that a refusal
// leaves the store empty.
#include "IPC/StreamFrames.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr std::uint32_t kStore = 2 * Oska::Base::kStreamFrameMax;

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // Allocated per input so that ASan sees any access outside the store.
  std::unique_ptr<char[]> store(new char[kStore]);
  std::uint32_t fill = 0;
  std::uint32_t seed = data[0];
  std::vector<char> input(data + 1, data + size);
  if ((data[0] & 1) != 0 && size >= 3) {
    const std::size_t filler = (std::size_t{data[size - 2]} << 10 | std::size_t{data[size - 1]} << 2);
    input.resize(input.size() + filler, '\0');
  }
  const char* next = input.data();
  std::size_t left = input.size();
  while (left > 0) {
    seed = seed * 1103515245u + 12345u;
    // Mostly small pieces, sometimes the whole rest.
    std::size_t piece = (seed >> 16) % 64 == 0 ? left : 1 + (seed >> 8) % 300;
    if ((seed >> 24) % 4 == 0) piece = 1 + (seed >> 4) % 102400;
    // Half of the time, read the way the pipeline's reader does: the size it
    // asks for, straight into the store.
    const bool in_place = (seed >> 12) % 2 == 0;
    if (in_place) piece = Oska::Base::NextFrameRead(store.get(), fill);
    if (piece > left) piece = left;
    const char* source = next;
    if (in_place) {
      Check(piece <= kStore - fill);
      std::memcpy(store.get() + fill, next, piece);
      source = store.get() + fill;
    }
    const char* begin = store.get();
    const bool intact = Oska::Base::ReassembleFrames(
        store.get(), kStore, &fill, source, piece,
        [&](int type, const char* payload, std::uint32_t length) {
          Check(type >= 0 && type <= 255);
          Check(length <= Oska::Base::kStreamPayloadMax);
          Check(payload >= begin + Oska::Base::kStreamFrameHeader);
          Check(payload + length <= begin + kStore);
          // Touch the payload so ASan checks every byte of it.
          volatile char sink = 0;
          for (std::uint32_t i = 0; i < length; ++i) sink = static_cast<char>(sink ^ payload[i]);
          (void)sink;
        });
    if (!intact) {
      Check(fill == 0);
      return 0;
    }
    Check(fill < Oska::Base::kStreamFrameMax);
    next += piece;
    left -= piece;
  }
  return 0;
}
