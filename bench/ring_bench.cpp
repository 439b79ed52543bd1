// oskabase-bench-ring: 1400-byte packets through a 4 MiB byte ring, in GB/s
// of packet bytes, best of several runs.
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

double BestGBps(const std::function<unsigned()>& run) {
  double best = 0;
  for (int i = 0; i < kRuns; ++i) {
    const auto t0 = Clock::now();
    g_sink = run();
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    best = std::max(best, static_cast<double>(kBytesPerRun) / 1e9 / s);
  }
  return best;
}

unsigned Touch(const Piece& a, const Piece& b) {
  return (a.second ? a.first[0] + a.first[a.second - 1] : 0u) + (b.second ? b.first[0] : 0u);
}

struct Figures {
  double cycle;
  double overwrite;
};

Figures Ours(const std::vector<std::uint8_t>& packet) {
  Figures f;
  f.cycle = BestGBps([&] {
    Oska::Base::CCircularBuffer ring(kCapacity);
    unsigned sum = 0;
    Piece first, second;
    for (std::size_t done = 0; done < kBytesPerRun; done += kPacket) {
      ring.WriteBuffer(packet.data(), kPacket);
      ring.ReadBuffer(first, second);
      sum += Touch(first, second);
      ring.EraseBegin(first.second + second.second);
    }
    return sum;
  });
  f.overwrite = BestGBps([&] {
    Oska::Base::CCircularBuffer ring(kCapacity);
    for (std::size_t done = 0; done < kBytesPerRun; done += kPacket) ring.WriteBuffer(packet.data(), kPacket);
    Piece first, second;
    ring.ReadBuffer(first, second);
    return Touch(first, second);
  });
  return f;
}

Figures BoostDirect(const std::vector<std::uint8_t>& packet) {
  using Ring = boost::circular_buffer<unsigned char>;
  Figures f;
  f.cycle = BestGBps([&] {
    Ring ring(kCapacity);
    unsigned sum = 0;
    for (std::size_t done = 0; done < kBytesPerRun; done += kPacket) {
      ring.insert(ring.end(), packet.data(), packet.data() + kPacket);
      const auto one = ring.array_one();
      const auto two = ring.array_two();
      sum += Touch(Piece(one.first, one.second), Piece(two.first, two.second));
      ring.erase_begin(one.second + two.second);
    }
    return sum;
  });
  f.overwrite = BestGBps([&] {
    Ring ring(kCapacity);
    for (std::size_t done = 0; done < kBytesPerRun; done += kPacket)
      ring.insert(ring.end(), packet.data(), packet.data() + kPacket);
    const auto one = ring.array_one();
    const auto two = ring.array_two();
    return Touch(Piece(one.first, one.second), Piece(two.first, two.second));
  });
  return f;
}

Figures Memcpy(const std::vector<std::uint8_t>& packet) {
  Figures f;
  f.cycle = BestGBps([&] {
    bench_ring::MemcpyRing ring(kCapacity);
    unsigned sum = 0;
    Piece first, second;
    for (std::size_t done = 0; done < kBytesPerRun; done += kPacket) {
      ring.Write(packet.data(), kPacket);
      ring.Read(first, second);
      sum += Touch(first, second);
      ring.EraseBegin(first.second + second.second);
    }
    return sum;
  });
  f.overwrite = BestGBps([&] {
    bench_ring::MemcpyRing ring(kCapacity);
    for (std::size_t done = 0; done < kBytesPerRun; done += kPacket) ring.Write(packet.data(), kPacket);
    Piece first, second;
    ring.Read(first, second);
    return Touch(first, second);
  });
  return f;
}

}  // namespace

int main() {
  std::vector<std::uint8_t> packet(kPacket);
  for (std::size_t i = 0; i < kPacket; ++i) packet[i] = static_cast<std::uint8_t>(i * 131 + 7);
  std::printf("%zu-byte packets through a %zu MiB ring, %zu MiB per run, best of %d runs\n", kPacket,
              kCapacity >> 20, kBytesPerRun >> 20, kRuns);
  const Figures ours = Ours(packet);
  const Figures boost_direct = BoostDirect(packet);
  const Figures ceiling = Memcpy(packet);

  oska_tooling::Table table({"ring", "cycle GB/s", "cycle % of ceiling", "overwrite GB/s",
                             "overwrite % of ceiling"});
  auto row = [&](const char* name, const Figures& f) {
    table.AddRow({name, oska_tooling::Fixed(f.cycle, 2), oska_tooling::Fixed(100 * f.cycle / ceiling.cycle, 0),
                  oska_tooling::Fixed(f.overwrite, 2),
                  oska_tooling::Fixed(100 * f.overwrite / ceiling.overwrite, 0)});
  };
  row("OskaBase CCircularBuffer", ours);
  row("boost::circular_buffer used directly", boost_direct);
  row("two-memcpy ring (ceiling)", ceiling);
  table.Print();
  return 0;
}
