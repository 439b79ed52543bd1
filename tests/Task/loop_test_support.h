// Small tasks and helpers shared by the message-loop tests.
#pragma once

#include <OskaBase/MessageLoop.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace looptest {

// Runs a callable as a task.
class FnTask : public Oska::Base::CTask {
 public:
  explicit FnTask(std::function<void()> fn) : fn_(std::move(fn)) {}
  void Execute() override { fn_(); }

 private:
  std::function<void()> fn_;
};

inline std::shared_ptr<Oska::Base::CTask> Fn(std::function<void()> fn) {
  return std::make_shared<FnTask>(std::move(fn));
}

// A delayed task that runs `fn` and stays delayed for `runs` executions.
class CountedDelay : public Oska::Base::CDelayTask {
 public:
  CountedDelay(int runs, std::function<void()> fn) : left_(runs), fn_(std::move(fn)) {}
  void Execute() override {
    fn_();
    if (--left_ <= 0) still_delay_ = false;
  }

 private:
  int left_;
  std::function<void()> fn_;
};

// Thread-safe record of events, in order.
class Journal {
 public:
  void Add(const std::string& entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(entry);
  }
  std::vector<std::string> Entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }
  std::size_t Size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> entries_;
};

// Counts its destruction; used to prove a task was released.
class Tracked : public Oska::Base::CTask {
 public:
  Tracked(std::atomic<int>& ran, std::atomic<int>& destroyed) : ran_(ran), destroyed_(destroyed) {}
  ~Tracked() override { ++destroyed_; }
  void Execute() override { ++ran_; }

 private:
  std::atomic<int>& ran_;
  std::atomic<int>& destroyed_;
};

// Waits until `pred` holds, polling; false after `limit`.
template <class Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// A main-thread loop whose Run() is reachable, running on a std::thread, so
// tests can drive it like an application's main thread.
class MainLoopOnThread {
 public:
  MainLoopOnThread() { loop_.Start(); }
  ~MainLoopOnThread() { Join(); }
  void Begin() {
    thread_ = std::thread([this] { loop_.Run(); });
  }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  Oska::Base::CMessageLoopMainThread& loop() { return loop_; }

 private:
  Oska::Base::CMessageLoopMainThread loop_;
  std::thread thread_;
};

}  // namespace looptest
