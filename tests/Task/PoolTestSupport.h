// Small real tasks for the pool tests: a gate that holds tasks until it is
// opened, tasks that record what happened to them, and a bounded wait.
#pragma once

#include <OskaBase/ThreadPool.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pool_test {

// Waits (generously: the machine may be loaded) until `done` holds.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class Gate {
 public:
  void Open() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      open_ = true;
    }
    cond_.notify_all();
  }
  void Pass() {
    std::unique_lock<std::mutex> lock(mutex_);
    cond_.wait(lock, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable cond_;
  bool open_ = false;
};

// Counts how often tasks were started, finished and destroyed.
struct Tally {
  std::atomic<int> started{0};
  std::atomic<int> finished{0};
  std::atomic<int> destroyed{0};
};

// A task that announces itself, waits at an optional gate, and counts.
class HeldTask : public Oska::Base::CTask {
 public:
  HeldTask(Tally& tally, Gate* gate) : tally_(tally), gate_(gate) {}
  ~HeldTask() override { tally_.destroyed.fetch_add(1); }
  void Execute() override {
    tally_.started.fetch_add(1);
    if (gate_) gate_->Pass();
    tally_.finished.fetch_add(1);
  }

 private:
  Tally& tally_;
  Gate* gate_;
};

// Posts `count` tasks held at `gate` and waits until `running` of them have
// started, so the rest are known to be queued.
inline bool PostHeld(Oska::Base::CMessageLoopDyThreadPool& pool, Tally& tally, Gate& gate,
                     int count, int running) {
  for (int i = 0; i < count; ++i) pool.PostTask(new HeldTask(tally, &gate));
  return WaitUntil([&] { return tally.started.load() == running; });
}

// Runs `call` (which waits for the held tasks) while another thread opens
// `gate` a little later.
template <class Call>
void OpenDuring(Gate& gate, Call call) {
  std::thread opener([&gate] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    gate.Open();
  });
  call();
  opener.join();
}

// A task that appends its name to a shared journal.
class NamedTask : public Oska::Base::CTask {
 public:
  NamedTask(std::mutex& mutex, std::vector<std::string>& journal, std::string name)
      : mutex_(mutex), journal_(journal), name_(std::move(name)) {}
  void Execute() override {
    std::lock_guard<std::mutex> lock(mutex_);
    journal_.push_back(name_);
  }

 private:
  std::mutex& mutex_;
  std::vector<std::string>& journal_;
  std::string name_;
};

}  // namespace pool_test
