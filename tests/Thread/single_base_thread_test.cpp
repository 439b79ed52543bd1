// The single worker thread, in both of its forms.
#include <OskaBase/SingleBaseThread.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Oska::Base::CSingleBaseThread;
using Oska::Base::CSingleBaseThreadNoAssert;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Generous: long enough for a loaded two-core machine, far shorter than the
// pauses the tests use to tell "cut short" from "ran its course".
constexpr auto kPatience = std::chrono::seconds(5);

template <class Pred>
bool Eventually(Pred pred) {
  const auto deadline = Clock::now() + kPatience;
  while (Clock::now() < deadline) {
    if (pred()) return true;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return pred();
}

// Counts its calls; returns false at call number `stop_at` (0: never).
template <class Base>
class Counter : public Base {
 public:
  explicit Counter(int stop_at = 0) : stop_at_(stop_at) {}
  ~Counter() { Base::EndThread(); }

  bool RunOnce() override {
    const int n = ++calls_;
    return stop_at_ == 0 || n < stop_at_;
  }

  int calls() const { return calls_.load(); }

 private:
  const int stop_at_;
  std::atomic<int> calls_{0};
};

template <class Base>
class SingleBaseThread : public ::testing::Test {};
using Bases = ::testing::Types<CSingleBaseThread, CSingleBaseThreadNoAssert>;
TYPED_TEST_SUITE(SingleBaseThread, Bases);

TYPED_TEST(SingleBaseThread, NoIntervalRunsBackToBackUntilRunOnceSaysStop) {
  for (int interval : {0, -5}) {
    Counter<TypeParam> worker(1000);
    ASSERT_TRUE(worker.BeginThread(interval));
    ASSERT_TRUE(Eventually([&] { return worker.calls() == 1000; }));
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(1000, worker.calls());  // nothing after the false
    worker.EndThread();
  }
}

// Signals each return from RunOnce, so the owner can stop the worker right as
// it heads for its pause: the moment a stop could slip past it.
template <class Base>
class Announcer : public Base {
 public:
  ~Announcer() { Base::EndThread(); }
  bool RunOnce() override {
    returning_.store(true);
    return true;
  }
  std::atomic<bool> returning_{false};
};

TYPED_TEST(SingleBaseThread, EndThreadDoesNotWaitOutTheInterval) {
  const auto start = Clock::now();
  for (int round = 0; round < 500; ++round) {
    Announcer<TypeParam> worker;
    ASSERT_TRUE(worker.BeginThread(60000));
    if (round % 4 != 0) {
      while (!worker.returning_.load()) {
      }
    }
    worker.EndThread();
    // One missed stop would cost a whole minute.
    ASSERT_LT(Clock::now() - start, std::chrono::seconds(50)) << "round " << round;
  }
}

TYPED_TEST(SingleBaseThread, SecondBeginThreadIsRefusedAndKeepsTheInterval) {
  Counter<TypeParam> worker;
  ASSERT_TRUE(worker.BeginThread(60000));
  ASSERT_TRUE(Eventually([&] { return worker.calls() == 1; }));
  EXPECT_FALSE(worker.BeginThread(0));
  worker.WakeupOnce();  // with the interval changed to 0 it would now spin
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_LE(worker.calls(), 2);
  worker.EndThread();
}

TYPED_TEST(SingleBaseThread, WorkerThatStoppedItselfBlocksBeginThreadUntilEndThread) {
  Counter<TypeParam> worker(1);
  ASSERT_TRUE(worker.BeginThread(0));
  ASSERT_TRUE(Eventually([&] { return worker.calls() == 1; }));
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_FALSE(worker.BeginThread(0));  // ended, but not yet joined
  EXPECT_EQ(1, worker.calls());
  worker.EndThread();
  ASSERT_TRUE(worker.BeginThread(0));  // a new worker, with a new pause
  ASSERT_TRUE(Eventually([&] { return worker.calls() == 2; }));
  worker.EndThread();
}

// EndThread and WakeupOnce with no worker do nothing; the object then starts
// (and restarts) a worker that pauses for the interval, not spinning, until a
// wake-up cuts the pause. A wake-up sent before the worker starts its pause is
// not kept, so the test keeps waking until the next call comes; without the
// wake-ups it would take a minute.
TYPED_TEST(SingleBaseThread, PausesForTheIntervalUntilWokenAndRestartsAfterEndThread) {
  Counter<TypeParam> worker;
  worker.WakeupOnce();
  worker.EndThread();
  worker.EndThread();
  EXPECT_EQ(0, worker.calls());
  for (int run = 1; run <= 2; ++run) {
    ASSERT_TRUE(worker.BeginThread(60000));
    ASSERT_TRUE(Eventually([&] { return worker.calls() == 2 * run - 1; }));
    if (run == 1) {
      std::this_thread::sleep_for(milliseconds(200));
      EXPECT_EQ(1, worker.calls());
    }
    ASSERT_TRUE(Eventually([&] {
      worker.WakeupOnce();
      return worker.calls() >= 2 * run;
    }));
    worker.EndThread();
    worker.WakeupOnce();
  }
}

// A subclass that forgets EndThread: fine as long as its worker has already
// ended by itself. The base destructor then only collects the thread.
template <class Base>
class Forgetful final : public Base {
 public:
  bool RunOnce() override {
    done_.store(true);
    return false;
  }
  std::atomic<bool> done_{false};
};

TYPED_TEST(SingleBaseThread, DestructorCollectsAWorkerThatEndedByItself) {
  for (int round = 0; round < 20; ++round) {
    auto* worker = new Forgetful<TypeParam>;
    ASSERT_TRUE(worker->BeginThread(0));
    ASSERT_TRUE(Eventually([&] { return worker->done_.load(); }));
    if (round % 2 == 0) std::this_thread::sleep_for(milliseconds(5));
    delete worker;  // joins; a leaked thread would show under the sanitizers
  }
}

}  // namespace
