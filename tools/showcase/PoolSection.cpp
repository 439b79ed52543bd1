// Showcase: the dynamic thread pool. A burst of blocking work makes it grow
// to its ceiling; once the burst is over the surplus workers retire, one idle
// second later, back to the floor. Then a flood of tiny tasks measures its
// throughput.
#include "Section.h"

#include <OskaBase/OskaBase.h>
#include <TextTable.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Oska::Base::CMessageLoopDyThreadPool;
using Oska::Base::CTask;

class Sleeper : public CTask {
 public:
  Sleeper(std::atomic<int>& done, int ms) : done_(done), ms_(ms) {}
  void Execute() override {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms_));
    done_.fetch_add(1);
  }

 private:
  std::atomic<int>& done_;
  int ms_;
};

class Tiny : public CTask {
 public:
  explicit Tiny(std::atomic<int>& done) : done_(done) {}
  void Execute() override { done_.fetch_add(1, std::memory_order_relaxed); }

 private:
  std::atomic<int>& done_;
};

double SecondsSince(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Prints a line each time the worker count changes, until `until` holds or
// `limit` seconds have passed. Returns the largest count seen.
template <class Until>
int Watch(const CMessageLoopDyThreadPool& pool, Clock::time_point t0, double limit, Until until) {
  int last = -1;
  int peak = 0;
  while (!until() && SecondsSince(t0) < limit) {
    const int workers = pool.GetThreadNum();
    if (workers != last) {
      std::printf("  %6.0f ms  workers %2d  queued %3d\n", SecondsSince(t0) * 1000, workers,
                  pool.GetWorkTaskCount());
      last = workers;
    }
    if (workers > peak) peak = workers;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return peak;
}

void PoolTour() {
  constexpr int kFloor = 2, kCeiling = 8, kPerThread = 2, kBurst = 96, kSleepMs = 40, kGapMs = 4;
  CMessageLoopDyThreadPool pool;
  pool.Start(kFloor, kCeiling, kPerThread);
  std::printf("Start(%d, %d, %d): %d workers. A burst of %d tasks of %d ms, one every %d ms:\n",
              kFloor, kCeiling, kPerThread, pool.GetThreadNum(), kBurst, kSleepMs, kGapMs);

  std::atomic<int> done{0};
  const auto t0 = Clock::now();
  std::thread poster([&] {
    for (int i = 0; i < kBurst; ++i) {
      pool.PostTask(new Sleeper(done, kSleepMs));
      std::this_thread::sleep_for(std::chrono::milliseconds(kGapMs));
    }
  });
  const int peak = Watch(pool, t0, 30, [&] { return done.load() == kBurst; });
  poster.join();
  const double burst_s = SecondsSince(t0);
  std::printf("  burst done in %.0f ms (one worker alone: %d ms)\n", burst_s * 1000,
              kBurst * kSleepMs);

  std::printf("Idle now; workers above the floor retire after one second without work:\n");
  const auto t1 = Clock::now();
  Watch(pool, t1, 10, [&] { return pool.GetThreadNum() <= kFloor; });
  const double retire_s = SecondsSince(t1);
  std::printf("  %6.0f ms  workers %2d (the floor)\n", retire_s * 1000, pool.GetThreadNum());

  constexpr int kTiny = 400000, kProducers = 2;
  std::printf("Throughput: %d tiny tasks from %d producer threads:\n", kTiny, kProducers);
  std::atomic<int> tiny_done{0};
  oska_tooling::ProgressLine progress("tasks run");
  const auto t2 = Clock::now();
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&] {
      for (int i = 0; i < kTiny / kProducers; ++i) pool.PostTask(std::make_shared<Tiny>(tiny_done));
    });
  }
  while (tiny_done.load() < kTiny) {
    progress.Update(tiny_done.load(), kTiny, "");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  for (auto& t : producers) t.join();
  const double tiny_s = SecondsSince(t2);
  progress.Update(kTiny, kTiny, "");
  progress.Finish();
  pool.Stop(true);

  oska_tooling::Table table({"phase", "workers", "time", "figure"});
  table.AddRow({"burst of " + std::to_string(kBurst) + " x " + std::to_string(kSleepMs) + " ms",
                std::to_string(kFloor) + " -> " + std::to_string(peak),
                oska_tooling::Fixed(burst_s * 1000, 0) + " ms",
                oska_tooling::Fixed(kBurst * kSleepMs / (burst_s * 1000), 1) + "x one worker"});
  table.AddRow({"idle retirement", std::to_string(peak) + " -> " + std::to_string(kFloor),
                oska_tooling::Fixed(retire_s * 1000, 0) + " ms", "1 s idle rule"});
  table.AddRow({"tiny tasks", std::to_string(kFloor), oska_tooling::Fixed(tiny_s * 1000, 0) + " ms",
                oska_tooling::Fixed(kTiny / tiny_s / 1e6, 2) + " M tasks/s"});
  table.Print();
}

showcase::Section pool_section(20, "Dynamic thread pool", &PoolTour);

}  // namespace
