// oskabase-bench-pool: the dynamic thread pool beside the pools a user would
// pick instead, in one run, printed as one table.
//
//  1. Four producer threads post 1,000,000 tiny tasks in total to two workers
//     (our pool with floor 2 and ceiling 2; boost::asio::thread_pool(2);
//     a TBB arena with two workers; a one-mutex list pool). Wall time from
//     the first post until the last task has run, and the process's CPU time
//     over the same span.
//  2. The same with tasks of about 2 microseconds of work, beside two bare
//     threads doing the same work without any queue: the ceiling. On a shared
//     machine the CPU time is the steadier yardstick here (more threads get a
//     larger share of a loaded machine's cores, which flatters wall time), so
//     the ratio to the ceiling is given for both.
//  3. Growth: floor 1, ceiling 8, a burst of 8 blocking tasks. Time until the
//     pool carries all of them, and from the end of the burst until it is
//     back at its floor.
//
// The implementations take turns, run after run, and each figure is the best
// of its runs. Usage:
//   oskabase-bench-pool [tasks] [runs] [only]
// (defaults 1000000 and 3; `only` is one of tiny, heavy, growth, or
// ours, ours-raw, asio, tbb, naive to time one implementation alone).
#include <OskaBase/ThreadPool.h>

#include "NaiveListPool.h"

#include <TextTable.h>

#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>
#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/task_arena.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;
using Oska::Base::CMessageLoopDyThreadPool;
using Oska::Base::CTask;

constexpr int kProducers = 4;

// A fixed amount of arithmetic; the result is kept so it is not optimised out.
std::atomic<std::uint64_t> g_sink{0};
std::uint64_t g_spin_rounds = 1;

inline void Spin(std::uint64_t rounds) {
  std::uint64_t x = 0x9E3779B97F4A7C15ull;
  for (std::uint64_t i = 0; i < rounds; ++i) x = x * 6364136223846793005ull + 1442695040888963407ull;
  if (x == 42) g_sink.fetch_add(1, std::memory_order_relaxed);
}

// Rounds of Spin() that take about `micros` on an unloaded core: the fastest
// of several timings.
std::uint64_t CalibrateSpin(double micros) {
  constexpr std::uint64_t kRounds = 4096;
  double best_us = 1e30;
  for (int attempt = 0; attempt < 20; ++attempt) {
    const auto t0 = Clock::now();
    for (int i = 0; i < 100; ++i) Spin(kRounds);
    best_us = std::min(best_us,
                       std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / 100);
  }
  return std::max<std::uint64_t>(1, static_cast<std::uint64_t>(kRounds * micros / best_us));
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Sample {
  double wall = 1e30;  // seconds
  double cpu = 1e30;   // seconds of CPU, all threads of the process
};

// Counts finished jobs; the last one wakes the measuring thread, which
// sleeps meanwhile so that it takes no CPU from the contenders.
class Completion {
 public:
  explicit Completion(int target) : target_(target) {}
  void OneDone() {
    if (done_.fetch_add(1, std::memory_order_relaxed) + 1 == target_) {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_ = true;
      cond_.notify_all();
    }
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    cond_.wait(lock, [this] { return finished_; });
  }

 private:
  const int target_;
  std::atomic<int> done_{0};
  std::mutex mutex_;
  std::condition_variable cond_;
  bool finished_ = false;  // guarded by mutex_
};

struct Job {
  Completion* done;
  bool heavy;
  void operator()() const {
    if (heavy) Spin(g_spin_rounds);
    done->OneDone();
  }
};

class JobTask : public CTask {
 public:
  explicit JobTask(Job job) : job_(job) {}
  void Execute() override { job_(); }

 private:
  Job job_;
};

// Runs `post(job)` for `tasks` jobs from kProducers threads, from the start
// signal until every job has run.
Sample RunProducers(int tasks, bool heavy, const std::function<void(const Job&)>& post) {
  Completion done(tasks);
  std::atomic<bool> go{false};
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    const int share = tasks / kProducers + (p < tasks % kProducers ? 1 : 0);
    producers.emplace_back([&, share] {
      while (!go.load(std::memory_order_acquire)) std::this_thread::yield();
      const Job job{&done, heavy};
      for (int i = 0; i < share; ++i) post(job);
    });
  }
  const double cpu0 = CpuSeconds();
  const auto t0 = Clock::now();
  go.store(true, std::memory_order_release);
  for (auto& t : producers) t.join();
  done.Wait();
  return {std::chrono::duration<double>(Clock::now() - t0).count(), CpuSeconds() - cpu0};
}

Sample OursShared(int tasks, bool heavy) {
  CMessageLoopDyThreadPool pool;
  pool.Start(2, 2, 1);
  return RunProducers(tasks, heavy,
                      [&](const Job& job) { pool.PostTask(std::make_shared<JobTask>(job)); });
}

Sample OursRaw(int tasks, bool heavy) {
  CMessageLoopDyThreadPool pool;
  pool.Start(2, 2, 1);
  return RunProducers(tasks, heavy, [&](const Job& job) { pool.PostTask(new JobTask(job)); });
}

Sample Asio(int tasks, bool heavy) {
  boost::asio::thread_pool pool(2);
  const Sample s =
      RunProducers(tasks, heavy, [&](const Job& job) { boost::asio::post(pool, job); });
  pool.join();
  return s;
}

Sample Tbb(int tasks, bool heavy) {
  // Two worker threads besides the (absent) caller: the arena reserves no
  // slot for a master, and the global limit allows two workers.
  tbb::global_control workers(tbb::global_control::max_allowed_parallelism, 3);
  tbb::task_arena arena(2, 0);
  arena.initialize();
  return RunProducers(tasks, heavy, [&](const Job& job) { arena.enqueue(job); });
}

Sample Naive(int tasks, bool heavy) {
  pool_bench::NaiveListPool pool(2);
  return RunProducers(tasks, heavy, [&](const Job& job) { pool.Post(job); });
}

// The ceiling: two threads doing the jobs' work with no queue at all.
Sample BareThreads(int tasks, bool heavy) {
  Completion done(tasks);
  const double cpu0 = CpuSeconds();
  const auto t0 = Clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    const int share = tasks / 2 + (t < tasks % 2 ? 1 : 0);
    threads.emplace_back([&, share] {
      const Job job{&done, heavy};
      for (int i = 0; i < share; ++i) job();
    });
  }
  for (auto& t : threads) t.join();
  return {std::chrono::duration<double>(Clock::now() - t0).count(), CpuSeconds() - cpu0};
}

struct Contender {
  const char* name;
  Sample (*run)(int, bool);
  Sample best;
};

// Every contender runs once per round, in turn; each keeps its best figures.
void RunRounds(std::vector<Contender>& contenders, int rounds, int tasks, bool heavy) {
  for (int r = 0; r < rounds; ++r) {
    for (Contender& c : contenders) {
      const Sample s = c.run(tasks, heavy);
      c.best.wall = std::min(c.best.wall, s.wall);
      c.best.cpu = std::min(c.best.cpu, s.cpu);
    }
  }
}

class Blocking : public CTask {
 public:
  Blocking(std::atomic<int>& started, std::atomic<bool>& release)
      : started_(started), release_(release) {}
  void Execute() override {
    started_.fetch_add(1);
    while (!release_.load()) std::this_thread::sleep_for(std::chrono::microseconds(200));
  }

 private:
  std::atomic<int>& started_;
  std::atomic<bool>& release_;
};

struct GrowthTimes {
  double grow_s;
  double shrink_s;
};

GrowthTimes Growth() {
  CMessageLoopDyThreadPool pool;
  pool.Start(1, 8, 1);
  std::atomic<int> started{0};
  std::atomic<bool> release{false};
  const auto t0 = Clock::now();
  for (int i = 0; i < 8; ++i) pool.PostTask(new Blocking(started, release));
  while (started.load() < 8 || pool.GetThreadNum() < 8) {
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  const double grow_s = std::chrono::duration<double>(Clock::now() - t0).count();
  release.store(true);
  const auto t1 = Clock::now();
  while (pool.GetThreadNum() > 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const double shrink_s = std::chrono::duration<double>(Clock::now() - t1).count();
  return {grow_s, shrink_s};
}

std::string Ms(double s) { return oska_tooling::Fixed(s * 1000, 1); }
std::string Rate(int tasks, double s) { return oska_tooling::Fixed(tasks / s / 1e6, 2); }

}  // namespace

int main(int argc, char** argv) {
  const int tasks = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 1000000;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const std::string only = argc > 3 ? argv[3] : "";
  g_spin_rounds = CalibrateSpin(2.0);

  std::vector<Contender> tiny = {{"OskaBase pool 2/2, make_shared", OursShared, {}},
                                 {"OskaBase pool 2/2, raw new", OursRaw, {}},
                                 {"boost::asio::thread_pool(2)", Asio, {}},
                                 {"TBB task_arena(2) enqueue", Tbb, {}},
                                 {"one-mutex list pool", Naive, {}}};
  // For profiling one implementation alone, tiny tasks.
  const char* alone[] = {"ours", "ours-raw", "asio", "tbb", "naive"};
  for (int i = 0; i < 5; ++i) {
    if (only != alone[i]) continue;
    std::vector<Contender> one = {tiny[i]};
    RunRounds(one, runs, tasks, false);
    std::printf("%s tiny: %.1f ms\n", alone[i], one[0].best.wall * 1000);
    return 0;
  }

  std::printf("pool benchmark: %d tasks from %d producers, best of %d runs, %u cores\n", tasks,
              kProducers, runs, std::thread::hardware_concurrency());
  oska_tooling::Table table(
      {"scenario", "implementation", "wall ms", "CPU ms", "Mtasks/s", "ratio (wall)", "ratio (CPU)"});
  const bool all = only.empty();

  if (all || only == "tiny") {
    std::printf("tiny tasks...\n");
    RunRounds(tiny, runs, tasks, false);
    const Sample asio = tiny[2].best;
    // Ratio: asio's figure / this one (1.00x or more is at least as fast).
    for (const Contender& c : tiny) {
      table.AddRow({"tiny tasks", c.name, Ms(c.best.wall), Ms(c.best.cpu), Rate(tasks, c.best.wall),
                    oska_tooling::Fixed(asio.wall / c.best.wall, 2) + "x asio",
                    oska_tooling::Fixed(asio.cpu / c.best.cpu, 2) + "x asio"});
    }
  }

  if (all || only == "heavy") {
    std::printf("2 us tasks...\n");
    std::vector<Contender> heavy = {{"two bare threads (ceiling)", BareThreads, {}},
                                    {"OskaBase pool 2/2, make_shared", OursShared, {}},
                                    {"boost::asio::thread_pool(2)", Asio, {}},
                                    {"TBB task_arena(2) enqueue", Tbb, {}},
                                    {"one-mutex list pool", Naive, {}}};
    RunRounds(heavy, runs, tasks, true);
    const Sample bare = heavy[0].best;
    // Ratio: share of the ceiling reached (100% = as fast as bare threads).
    for (const Contender& c : heavy) {
      table.AddRow({"2 us tasks", c.name, Ms(c.best.wall), Ms(c.best.cpu), Rate(tasks, c.best.wall),
                    oska_tooling::Fixed(100.0 * bare.wall / c.best.wall, 1) + "% of ceiling",
                    oska_tooling::Fixed(100.0 * bare.cpu / c.best.cpu, 1) + "% of ceiling"});
    }
  }

  if (all || only == "growth") {
    std::printf("growth...\n");
    const GrowthTimes g = Growth();
    table.AddRow({"growth 1->8", "OskaBase pool 1/8, 8 blocking tasks", Ms(g.grow_s), "", "",
                  "all 8 carried", ""});
    table.AddRow({"retire 8->1", "OskaBase pool 1/8 after the burst", Ms(g.shrink_s), "", "",
                  "back at the floor", "1 s idle rule"});
  }
  table.Print();
  return 0;
}
