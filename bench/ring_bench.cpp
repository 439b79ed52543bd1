// oskabase-bench-ring: 1400-byte packets through a 4 MiB byte ring, in GB/s
// of packet bytes, best of several runs taken in turn.
//  - cycle: write a packet, read it in place (both pieces), erase it; the
//    ring stays nearly empty and every write goes into free space.
//  - overwrite: keep writing into a full ring, which keeps the newest bytes.
// Rows: CCircularBuffer; boost::circular_buffer<unsigned char> used directly
// (range insert at the end, array_one/array_two, erase_begin); and a plain
// ring doing two memcpy calls per write, the ceiling.
#include <OskaBase/CircularBuffer.h>

#include "MemcpyRing.h"
#include "TextTable.h"

#include <boost/circular_buffer.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kCapacity = 4u << 20;
constexpr std::size_t kPacket = 1400;
constexpr std::size_t kBytesPerRun = 256u << 20;
constexpr int kRuns = 7;

using Clock = std::chrono::steady_clock;
using Piece = std::pair<std::uint8_t*, std::size_t>;

// Keeps the in-place reads from being optimised away.
volatile unsigned g_sink;

double GBps(const std::function<unsigned()>& run) {
  const auto t0 = Clock::now();
  g_sink = run();
  const double s = std::chrono::duration<double>(Clock::now() - t0).count();
  return static_cast<double>(kBytesPerRun) / 1e9 / s;
}

unsigned Touch(const Piece& a, const Piece& b) {
  return (a.second ? a.first[0] + a.first[a.second - 1] : 0u) + (b.second ? b.first[0] : 0u);
}

// One ring type under test: a cycle run and an overwrite run, each over
// kBytesPerRun bytes in a fresh ring.
struct Contestant {
  std::string name;
  std::function<unsigned()> cycle;
  std::function<unsigned()> overwrite;
  double cycle_best = 0;
  double overwrite_best = 0;
};

template <typename Ring, typename Write, typename ReadAndErase>
Contestant Make(const char* name, const std::vector<std::uint8_t>& packet, Write write,
                ReadAndErase read_and_erase) {
  Contestant c;
  c.name = name;
  c.cycle = [&packet, write, read_and_erase] {
    Ring ring(kCapacity);
    unsigned sum = 0;
    for (std::size_t done = 0; done < kBytesPerRun; done += kPacket) {
      write(ring, packet.data(), kPacket);
      sum += read_and_erase(ring);
    }
    return sum;
  };
  c.overwrite = [&packet, write, read_and_erase] {
    Ring ring(kCapacity);
    for (std::size_t done = 0; done < kBytesPerRun; done += kPacket) write(ring, packet.data(), kPacket);
    return read_and_erase(ring);
  };
  return c;
}

using BoostRing = boost::circular_buffer<unsigned char>;

// The container's calls out of line, as a user's wrapper class would make
// them (and as CCircularBuffer's are, being in the shared library).
__attribute__((noinline)) void BoostWrite(BoostRing& ring, const std::uint8_t* data, std::size_t len) {
  ring.insert(ring.end(), data, data + len);
}

__attribute__((noinline)) unsigned BoostReadAndErase(BoostRing& ring) {
  const auto one = ring.array_one();
  const auto two = ring.array_two();
  const unsigned touched = Touch(Piece(one.first, one.second), Piece(two.first, two.second));
  ring.erase_begin(one.second + two.second);
  return touched;
}

}  // namespace

int main() {
  std::vector<std::uint8_t> packet(kPacket);
  for (std::size_t i = 0; i < kPacket; ++i) packet[i] = static_cast<std::uint8_t>(i * 131 + 7);
  std::printf("%zu-byte packets through a %zu MiB ring, %zu MiB per run, best of %d interleaved runs\n",
              kPacket, kCapacity >> 20, kBytesPerRun >> 20, kRuns);

  std::vector<Contestant> rings;
  rings.push_back(Make<Oska::Base::CCircularBuffer>(
      "OskaBase CCircularBuffer", packet,
      [](Oska::Base::CCircularBuffer& r, const std::uint8_t* d, std::size_t n) { r.WriteBuffer(d, n); },
      [](Oska::Base::CCircularBuffer& r) {
        Piece first, second;
        r.ReadBuffer(first, second);
        const unsigned touched = Touch(first, second);
        r.EraseBegin(first.second + second.second);
        return touched;
      }));
  rings.push_back(Make<BoostRing>("boost::circular_buffer used directly", packet, &BoostWrite,
                                  &BoostReadAndErase));
  rings.push_back(Make<bench_ring::MemcpyRing>(
      "two-memcpy ring (ceiling)", packet,
      [](bench_ring::MemcpyRing& r, const std::uint8_t* d, std::size_t n) { r.Write(d, n); },
      [](bench_ring::MemcpyRing& r) {
        Piece first, second;
        r.Read(first, second);
        const unsigned touched = Touch(first, second);
        r.EraseBegin(first.second + second.second);
        return touched;
      }));

  for (int run = 0; run < kRuns; ++run) {
    for (Contestant& c : rings) {
      c.cycle_best = std::max(c.cycle_best, GBps(c.cycle));
      c.overwrite_best = std::max(c.overwrite_best, GBps(c.overwrite));
    }
  }

  const Contestant& ceiling = rings.back();
  oska_tooling::Table table({"ring", "cycle GB/s", "cycle % of ceiling", "overwrite GB/s",
                             "overwrite % of ceiling"});
  for (const Contestant& c : rings) {
    table.AddRow({c.name, oska_tooling::Fixed(c.cycle_best, 2),
                  oska_tooling::Fixed(100 * c.cycle_best / ceiling.cycle_best, 0),
                  oska_tooling::Fixed(c.overwrite_best, 2),
                  oska_tooling::Fixed(100 * c.overwrite_best / ceiling.overwrite_best, 0)});
  }
  table.Print();
  return 0;
}
