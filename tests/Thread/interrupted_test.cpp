// The interruptible event.
#include <OskaBase/Interrupted.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Oska::Base::CInterrupted;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr auto kPatience = std::chrono::seconds(10);

pid_t ThreadId() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

// Whether the kernel has the thread asleep ('S' in /proc/self/task/<tid>/stat).
bool IsAsleep(pid_t tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto paren = line.rfind(')');
  return paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] == 'S';
}

// Waits until every thread in `tids` has been asleep on several checks in a
// row: they are then blocked inside the wait, not on their way to it.
void WaitUntilAllAsleep(const std::vector<std::atomic<pid_t>>& tids) {
  const auto deadline = Clock::now() + kPatience;
  int quiet_checks = 0;
  while (quiet_checks < 5 && Clock::now() < deadline) {
    bool all = true;
    for (const auto& tid : tids) all = all && tid.load() != 0 && IsAsleep(tid.load());
    quiet_checks = all ? quiet_checks + 1 : 0;
    std::this_thread::sleep_for(milliseconds(10));
  }
  ASSERT_EQ(5, quiet_checks) << "waiters never settled into their wait";
}

TEST(Interrupted, SetEventReturnsTrueAtOnceForEveryKindOfWait) {
  CInterrupted event;
  event.Wakeup();
  const auto start = Clock::now();
  EXPECT_TRUE(event.TimedWait(10));
  EXPECT_TRUE(event.TimedWait(10));  // a wait does not clear it
  EXPECT_TRUE(event.TimedWait(0));   // untimed waits would hang if it did
  EXPECT_TRUE(event.TimedWait(-1));
  EXPECT_TRUE(event.TimedWait(60000));
  EXPECT_LT(Clock::now() - start, kPatience);
}

TEST(Interrupted, ClearOrResetEventTimesOutFalseAfterTheFullTime) {
  CInterrupted event;
  auto start = Clock::now();
  EXPECT_FALSE(event.TimedWait(100));
  EXPECT_GE(Clock::now() - start, milliseconds(100));
  event.Wakeup();
  event.Reset();
  start = Clock::now();
  EXPECT_FALSE(event.TimedWait(10));
  EXPECT_GE(Clock::now() - start, milliseconds(10));
  event.Reset();  // resetting a clear event changes nothing
  EXPECT_FALSE(event.TimedWait(1));
  event.Wakeup();
  EXPECT_TRUE(event.TimedWait(1));
}

TEST(Interrupted, WakeupFromAnotherThreadEndsALongWaitEarly) {
  CInterrupted event;
  std::thread waker([&] {
    std::this_thread::sleep_for(milliseconds(50));
    event.Wakeup();
  });
  const auto start = Clock::now();
  EXPECT_TRUE(event.TimedWait(60000));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
  waker.join();
}

TEST(Interrupted, UntimedWaitNeverMissesAWakeup) {
  // Races the waiter's check of the flag against the wake-up, many times. A
  // lost wake-up would leave the waiter asleep for good; it is then freed by
  // a second wake-up so that the failure is reported instead of hanging.
  for (int round = 0; round < 2000; ++round) {
    CInterrupted event;
    std::atomic<bool> started{false};
    std::atomic<bool> returned{false};
    std::thread waiter([&] {
      started.store(true);
      EXPECT_TRUE(event.TimedWait(0));
      returned.store(true);
    });
    if (round % 2 == 1) {
      while (!started.load()) {
      }
    }
    event.Wakeup();
    const auto deadline = Clock::now() + kPatience;
    while (!returned.load() && Clock::now() < deadline) std::this_thread::yield();
    const bool lost = !returned.load();
    if (lost) event.Wakeup();
    waiter.join();
    ASSERT_FALSE(lost) << "wake-up lost in round " << round;
  }
}

// Half the waiters wait without a limit, half with a long one; a Reset right
// after the Wakeup must not strand any of them.
TEST(Interrupted, OneWakeupReleasesEveryWaiterEvenIfResetFollowsAtOnce) {
  constexpr int kWaiters = 8;
  for (const bool reset : {false, true}) {
    CInterrupted event;
    std::vector<std::atomic<pid_t>> tids(kWaiters);
    std::atomic<int> released_true{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i) {
      waiters.emplace_back([&, i] {
        tids[i].store(ThreadId());
        if (event.TimedWait(i % 2 == 0 ? 0 : 60000)) ++released_true;
      });
    }
    WaitUntilAllAsleep(tids);
    event.Wakeup();
    if (reset) event.Reset();
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(kWaiters, released_true.load()) << "reset " << reset;
    EXPECT_NE(reset, event.TimedWait(1));
  }
}

}  // namespace
