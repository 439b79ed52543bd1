// oskabase-bench-pool: the dynamic thread pool beside the pools a user would
// pick instead, in one run, printed as one table.
//
//  1. Four producer threads post 1,000,000 tiny tasks in total to two workers
//     (our pool with floor 2 and ceiling 2; boost::asio::thread_pool(2);
//     a TBB arena with two workers; a one-mutex list pool). Time from the
//     first post until the last task has run.
//  2. The same with tasks of about 2 microseconds of work, beside two bare
//     threads doing the same work without any queue: the ceiling.
//  3. Growth: floor 1, ceiling 8, a burst of 8 blocking tasks. Time until the
//     pool carries all of them, and from the end of the burst until it is
//     back at its floor.
//
// Each figure is the best of a few runs. Usage:
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
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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

// Rounds of Spin() that take about `micros` on this machine.
std::uint64_t CalibrateSpin(double micros) {
  std::uint64_t rounds = 1000;
  for (;;) {
    const auto t0 = Clock::now();
    for (int i = 0; i < 1000; ++i) Spin(rounds);
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / 1000;
    if (us > micros * 0.5) return static_cast<std::uint64_t>(rounds * micros / us);
    rounds *= 2;
  }
}

struct Job {
  std::atomic<int>* done;
  bool heavy;
  void operator()() const {
    if (heavy) Spin(g_spin_rounds);
    done->fetch_add(1, std::memory_order_relaxed);
  }
};

class JobTask : public CTask {
 public:
  explicit JobTask(Job job) : job_(job) {}
  void Execute() override { job_(); }

 private:
  Job job_;
};

// Runs `post(job)` for `tasks` jobs from kProducers threads and returns the
// seconds from the start signal until every job has run.
double RunProducers(int tasks, bool heavy, const std::function<void(const Job&)>& post) {
  std::atomic<int> done{0};
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
  const auto t0 = Clock::now();
  go.store(true, std::memory_order_release);
  for (auto& t : producers) t.join();
  while (done.load(std::memory_order_relaxed) < tasks) std::this_thread::sleep_for(std::chrono::microseconds(100));
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

double Best(int runs, const std::function<double()>& once) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) best = std::min(best, once());
  return best;
}

double OursShared(int tasks, bool heavy) {
  CMessageLoopDyThreadPool pool;
  pool.Start(2, 2, 1);
  return RunProducers(tasks, heavy, [&](const Job& job) { pool.PostTask(std::make_shared<JobTask>(job)); });
}

double OursRaw(int tasks, bool heavy) {
  CMessageLoopDyThreadPool pool;
  pool.Start(2, 2, 1);
  return RunProducers(tasks, heavy, [&](const Job& job) { pool.PostTask(new JobTask(job)); });
}

double Asio(int tasks, bool heavy) {
  boost::asio::thread_pool pool(2);
  const double s = RunProducers(tasks, heavy, [&](const Job& job) { boost::asio::post(pool, job); });
  pool.join();
  return s;
}

double Tbb(int tasks, bool heavy) {
  // Two worker threads besides the (absent) caller: the arena reserves no
  // slot for a master, and the global limit allows two workers.
  tbb::global_control workers(tbb::global_control::max_allowed_parallelism, 3);
  tbb::task_arena arena(2, 0);
  arena.initialize();
  return RunProducers(tasks, heavy, [&](const Job& job) { arena.enqueue(job); });
}

double NaiveShared(int tasks, bool heavy) {
  pool_bench::NaiveListPool pool(2);
  return RunProducers(tasks, heavy, [&](const Job& job) {
    std::shared_ptr<CTask> t = std::make_shared<JobTask>(job);
    pool.Post([t] { t->Execute(); });
  });
}

double Naive(int tasks, bool heavy) {
  pool_bench::NaiveListPool pool(2);
  return RunProducers(tasks, heavy, [&](const Job& job) { pool.Post(job); });
}

// The ceiling: two threads doing the jobs' work with no queue at all.
double BareThreads(int tasks) {
  std::atomic<int> done{0};
  const auto t0 = Clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    const int share = tasks / 2 + (t < tasks % 2 ? 1 : 0);
    threads.emplace_back([&, share] {
      const Job job{&done, true};
      for (int i = 0; i < share; ++i) job();
    });
  }
  for (auto& t : threads) t.join();
  return std::chrono::duration<double>(Clock::now() - t0).count();
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
  double grow_ms;
  double shrink_ms;
};

GrowthTimes Growth() {
  CMessageLoopDyThreadPool pool;
  pool.Start(1, 8, 1);
  std::atomic<int> started{0};
  std::atomic<bool> release{false};
  const auto t0 = Clock::now();
  for (int i = 0; i < 8; ++i) pool.PostTask(new Blocking(started, release));
  while (started.load() < 8 || pool.GetThreadNum() < 8) std::this_thread::sleep_for(std::chrono::microseconds(50));
  const double grow_ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  release.store(true);
  const auto t1 = Clock::now();
  while (pool.GetThreadNum() > 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const double shrink_ms = std::chrono::duration<double, std::milli>(Clock::now() - t1).count();
  return {grow_ms, shrink_ms};
}

std::string Rate(int tasks, double seconds) { return oska_tooling::Fixed(tasks / seconds / 1e6, 2); }

}  // namespace

int main(int argc, char** argv) {
  const int tasks = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 1000000;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const std::string only = argc > 3 ? argv[3] : "";
  // For profiling one implementation alone, tiny tasks.
  const std::function<double(int, bool)> alone[] = {OursShared, OursRaw, Asio, Tbb, Naive, NaiveShared};
  const char* alone_names[] = {"ours", "ours-raw", "asio", "tbb", "naive", "naive-shared"};
  for (int i = 0; i < 6; ++i) {
    if (only != alone_names[i]) continue;
    std::printf("%s tiny: %.1f ms\n", alone_names[i], Best(runs, [&] { return alone[i](tasks, false); }) * 1000);
    return 0;
  }
  g_spin_rounds = CalibrateSpin(2.0);
  std::printf("pool benchmark: %d tasks from %d producers, best of %d runs, %u cores\n", tasks,
              kProducers, runs, std::thread::hardware_concurrency());

  oska_tooling::Table table({"scenario", "implementation", "time ms", "Mtasks/s", "ratio"});
  auto ms = [](double s) { return oska_tooling::Fixed(s * 1000, 1); };

  // Tiny tasks: ratio = asio's time / this time (>= 1.0 is at least as fast).
  const bool all = only.empty();
  if (all || only == "tiny") {
  std::printf("tiny tasks...\n");
  const double asio = Best(runs, [&] { return Asio(tasks, false); });
  const double ours_shared = Best(runs, [&] { return OursShared(tasks, false); });
  const double ours_raw = Best(runs, [&] { return OursRaw(tasks, false); });
  const double tbb = Best(runs, [&] { return Tbb(tasks, false); });
  const double naive = Best(runs, [&] { return Naive(tasks, false); });
  const struct {
    const char* name;
    double s;
  } tiny[] = {{"OskaBase pool 2/2 (make_shared)", ours_shared},
              {"OskaBase pool 2/2 (raw new)", ours_raw},
              {"boost::asio::thread_pool(2)", asio},
              {"TBB task_arena(2) enqueue", tbb},
              {"one-mutex list pool", naive}};
  for (const auto& row : tiny) {
    table.AddRow({"tiny tasks", row.name, ms(row.s), Rate(tasks, row.s),
                  oska_tooling::Fixed(asio / row.s, 2) + "x asio"});
  }

  }
  if (all || only == "heavy") {
  // 2-microsecond tasks: ratio = the bare threads' time / this time.
  std::printf("2 us tasks...\n");
  const double bare = Best(runs, [&] { return BareThreads(tasks); });
  const double h_ours = Best(runs, [&] { return OursShared(tasks, true); });
  const double h_asio = Best(runs, [&] { return Asio(tasks, true); });
  const double h_tbb = Best(runs, [&] { return Tbb(tasks, true); });
  const double h_naive = Best(runs, [&] { return Naive(tasks, true); });
  const struct {
    const char* name;
    double s;
  } heavy[] = {{"two bare threads (ceiling)", bare},
               {"OskaBase pool 2/2 (make_shared)", h_ours},
               {"boost::asio::thread_pool(2)", h_asio},
               {"TBB task_arena(2) enqueue", h_tbb},
               {"one-mutex list pool", h_naive}};
  for (const auto& row : heavy) {
    table.AddRow({"2 us tasks", row.name, ms(row.s), Rate(tasks, row.s),
                  oska_tooling::Fixed(100.0 * bare / row.s, 1) + "% of ceiling"});
  }

  }
  if (all || only == "growth") {
  std::printf("growth...\n");
  const GrowthTimes g = Growth();
  table.AddRow({"growth 1->8", "OskaBase pool 1/8, 8 blocking tasks", ms(g.grow_ms / 1000), "",
                "all 8 carried"});
  table.AddRow({"retire 8->1", "OskaBase pool 1/8 after the burst", ms(g.shrink_ms / 1000), "",
                "back at floor (1 s idle rule)"});
  }
  table.Print();
  return 0;
}
