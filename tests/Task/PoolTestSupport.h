// Small real tasks for the pool tests: a gate that holds tasks until it is
// opened and tasks that record what happened to them.
#pragma once

#include <OskaBase/ThreadPool.h>

#include "Task/loop_test_support.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace pool_test {

using looptest::WaitFor;

// Holds every task that passes it until it is opened (once).
class Gate {
 public:
  void Open() { promise_.set_value(); }
  void Pass() { opened_.wait(); }

 private:
  std::promise<void> promise_;
  std::shared_future<void> opened_ = promise_.get_future().share();
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
  return WaitFor([&] { return tally.started.load() == running; });
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

}  // namespace pool_test
