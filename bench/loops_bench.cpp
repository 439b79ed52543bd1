// Message-loop throughput and idle wake-up latency, side by side with the
// queues a user would otherwise pick: boost::asio::io_context::post,
// moodycamel::BlockingConcurrentQueue, and a plain mutex + condition variable
// + deque. Every contender runs the same task: a small polymorphic object
// allocated per post with std::make_shared that increments a counter.
//
//   oskabase-bench-loops [--tasks N] [--pings N]
#include <OskaBase/MessageLoop.h>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <concurrentqueue/blockingconcurrentqueue.h>

#include <TextTable.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Oska::Base::CTask;

std::atomic<long> g_counter{0};

class CountTask : public CTask {
 public:
  void Execute() override { g_counter.fetch_add(1, std::memory_order_relaxed); }
};

std::shared_ptr<CTask> MakeTask() { return std::make_shared<CountTask>(); }

// One consumer behind a uniform face: Post() from any thread, Close() ends it.
class Contender {
 public:
  virtual ~Contender() = default;
  virtual void Post(std::shared_ptr<CTask> task) = 0;
};

class OskaLoop : public Contender {
 public:
  OskaLoop() { loop_.Start(); }
  ~OskaLoop() override { loop_.Stop(); }
  void Post(std::shared_ptr<CTask> task) override { loop_.PostTask(std::move(task)); }

 private:
  Oska::Base::CMessageLoopWorkThread loop_;
};

class AsioLoop : public Contender {
 public:
  AsioLoop() : guard_(io_.get_executor()), thread_([this] { io_.run(); }) {}
  ~AsioLoop() override {
    guard_.reset();
    thread_.join();
  }
  void Post(std::shared_ptr<CTask> task) override {
    boost::asio::post(io_, [task = std::move(task)] { task->Execute(); });
  }

 private:
  boost::asio::io_context io_;
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type> guard_;
  std::thread thread_;
};

class MoodyLoop : public Contender {
 public:
  MoodyLoop() : thread_([this] { Consume(); }) {}
  ~MoodyLoop() override {
    queue_.enqueue(nullptr);
    thread_.join();
  }
  void Post(std::shared_ptr<CTask> task) override { queue_.enqueue(std::move(task)); }

 private:
  void Consume() {
    std::shared_ptr<CTask> task;
    for (;;) {
      queue_.wait_dequeue(task);
      if (!task) return;
      task->Execute();
      task.reset();
    }
  }
  moodycamel::BlockingConcurrentQueue<std::shared_ptr<CTask>> queue_;
  std::thread thread_;
};

class NaiveLoop : public Contender {
 public:
  NaiveLoop() : thread_([this] { Consume(); }) {}
  ~NaiveLoop() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    cond_.notify_one();
    thread_.join();
  }
  void Post(std::shared_ptr<CTask> task) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(std::move(task));
    }
    cond_.notify_one();
  }

 private:
  void Consume() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      cond_.wait(lock, [this] { return done_ || !queue_.empty(); });
      if (queue_.empty()) return;
      std::shared_ptr<CTask> task = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      task->Execute();
      task.reset();
      lock.lock();
    }
  }
  std::mutex mutex_;
  std::condition_variable cond_;
  std::deque<std::shared_ptr<CTask>> queue_;
  bool done_ = false;
  std::thread thread_;
};

using Factory = std::function<std::unique_ptr<Contender>()>;

struct Entry {
  std::string name;
  Factory make;
};

// Million tasks per second, from first post to last execution.
double Throughput(const Factory& make, long tasks, int producers) {
  auto contender = make();
  g_counter = 0;
  const long per_producer = tasks / producers;
  const long total = per_producer * producers;
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int p = 0; p < producers; ++p) {
    threads.emplace_back([&] {
      while (!go.load()) std::this_thread::yield();
      for (long i = 0; i < per_producer; ++i) contender->Post(MakeTask());
    });
  }
  const auto begin = Clock::now();
  go = true;
  for (auto& t : threads) t.join();
  while (g_counter.load() < total) std::this_thread::yield();
  const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
  return total / seconds / 1e6;
}

struct Latency {
  double p50_us, p99_us, max_us;
};

// Post one task to an idle consumer, wait until it ran, pause 1 ms; repeat.
Latency WakeUp(const Factory& make, int pings) {
  auto contender = make();
  std::vector<double> samples;
  samples.reserve(pings);
  g_counter = 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  for (int i = 0; i < pings; ++i) {
    const long before = g_counter.load();
    const auto begin = Clock::now();
    contender->Post(MakeTask());
    while (g_counter.load(std::memory_order_acquire) == before) {
    }
    samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - begin).count());
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::sort(samples.begin(), samples.end());
  return Latency{samples[samples.size() / 2], samples[samples.size() * 99 / 100], samples.back()};
}

}  // namespace

int main(int argc, char** argv) {
  long tasks = 2000000;
  int pings = 10000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--tasks") == 0) tasks = std::atol(argv[i + 1]);
    if (std::strcmp(argv[i], "--pings") == 0) pings = std::atoi(argv[i + 1]);
  }
  const std::vector<Entry> entries = {
      {"OskaBase CMessageLoopWorkThread", [] { return std::make_unique<OskaLoop>(); }},
      {"boost::asio io_context::post", [] { return std::make_unique<AsioLoop>(); }},
      {"moodycamel BlockingConcurrentQueue", [] { return std::make_unique<MoodyLoop>(); }},
      {"mutex + condvar + deque", [] { return std::make_unique<NaiveLoop>(); }},
  };

  std::printf("Message loops: %ld tiny tasks, %d idle wake-ups, %u cores\n", tasks, pings,
              std::thread::hardware_concurrency());
  oska_tooling::Table table({"queue", "1 producer Mtasks/s", "2 producers Mtasks/s",
                             "wake p50 us", "wake p99 us", "wake max us"});
  std::vector<double> one, two;
  for (const auto& e : entries) {
    std::fprintf(stderr, "  measuring %s...\n", e.name.c_str());
    const double t1 = Throughput(e.make, tasks, 1);
    const double t2 = Throughput(e.make, tasks, 2);
    const Latency lat = WakeUp(e.make, pings);
    one.push_back(t1);
    two.push_back(t2);
    table.AddRow({e.name, oska_tooling::Fixed(t1, 2), oska_tooling::Fixed(t2, 2),
                  oska_tooling::Fixed(lat.p50_us, 1), oska_tooling::Fixed(lat.p99_us, 1),
                  oska_tooling::Fixed(lat.max_us, 1)});
  }
  table.Print();
  std::printf("OskaBase / asio throughput: %.2fx (1 producer), %.2fx (2 producers)\n",
              one[0] / one[1], two[0] / two[1]);
  return 0;
}
