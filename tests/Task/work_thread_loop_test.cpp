// Work-thread loops and the named loops: their threads, joins, restarts,
// wake-ups and the exit task, on real threads.
#include "Task/loop_test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <set>

namespace {

using Oska::Base::CMessageLoop;
using Oska::Base::CMessageLoopForCleanup;
using Oska::Base::CMessageLoopForNetSDK;
using Oska::Base::CMessageLoopForNotify;
using Oska::Base::CMessageLoopWorkThread;
using Oska::Base::CSingleton;
using looptest::Fn;
using looptest::Tracked;
using looptest::WaitFor;

// A work-thread loop whose timed wait lasts a minute: any wake-up that went
// missing would stall it far beyond the tests' limits.
class SleepyLoop : public CMessageLoopWorkThread {
 public:
  SleepyLoop() { interval_ms_ = 60000; }
};

TEST(WorkThreadLoop, RunsTasksOnItsOwnThreadAndReportsItsId) {
  CMessageLoopWorkThread loop;
  EXPECT_FALSE(loop.PostTask(Fn([] {})));
  ASSERT_TRUE(loop.Start());
  EXPECT_FALSE(loop.Start()) << "a second Start while the thread lives";
  std::atomic<int> task_thread{0};
  loop.PostTask(Fn([&] { task_thread = static_cast<int>(GetCurrentThreadId()); }));
  ASSERT_TRUE(WaitFor([&] { return task_thread.load() != 0; }));
  EXPECT_NE(task_thread.load(), static_cast<int>(GetCurrentThreadId()));
  EXPECT_EQ(loop.GetRunThreadID(), task_thread.load());
  loop.Stop();
  EXPECT_EQ(loop.GetRunThreadID(), 0);
}

TEST(WorkThreadLoop, QuitRunsEverythingPostedBeforeItThenJoins) {
  CMessageLoopWorkThread loop;
  loop.Quit();  // never started: returns at once
  ASSERT_TRUE(loop.Start());
  std::atomic<int> ran{0}, destroyed{0};
  loop.PostTask(Fn([] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); }));
  for (int i = 0; i < 1000; ++i) loop.PostTask(std::make_shared<Tracked>(ran, destroyed));
  loop.Quit();
  EXPECT_EQ(ran.load(), 1000);
  EXPECT_EQ(destroyed.load(), 1000);
  loop.Quit();  // again: nothing left to do
  EXPECT_FALSE(loop.PostTask(Fn([] {})));
}

TEST(WorkThreadLoop, RestartsAfterAJoinWithEmptyQueues) {
  CMessageLoopWorkThread loop;
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(loop.Start()) << "round " << round;
    std::atomic<bool> ran{false};
    loop.PostTask(Fn([&] { ran = true; }));
    ASSERT_TRUE(WaitFor([&] { return ran.load(); }));
    loop.Stop();
    EXPECT_EQ(loop.GetWorkTaskCount(), 0);
  }
}

TEST(WorkThreadLoop, AsynStopReturnsAtOnceAndBlocksRestartUntilJoined) {
  CMessageLoopWorkThread loop;
  ASSERT_TRUE(loop.Start());
  std::atomic<bool> entered{false}, release{false};
  loop.PostTask(Fn([&] {
    entered = true;
    while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }));
  ASSERT_TRUE(WaitFor([&] { return entered.load(); }));
  loop.AsynStop();  // the task still runs: this must not wait for it
  EXPECT_FALSE(loop.Start());
  release = true;
  loop.Stop();
  EXPECT_TRUE(loop.Start());
  loop.Stop();
}

TEST(WorkThreadLoop, DestroyingRightAfterAsynStopWaitsForTheDrain) {
  std::atomic<int> ran{0}, destroyed{0};
  std::atomic<bool> long_task_done{false};
  {
    CMessageLoopWorkThread loop;
    ASSERT_TRUE(loop.Start());
    std::atomic<bool> entered{false};
    loop.PostTask(Fn([&] {
      entered = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      long_task_done = true;
    }));
    for (int i = 0; i < 10; ++i) loop.PostTask(std::make_shared<Tracked>(ran, destroyed));
    ASSERT_TRUE(WaitFor([&] { return entered.load(); }));
    loop.AsynStop();
  }
  EXPECT_TRUE(long_task_done.load());
  EXPECT_EQ(ran.load(), 0);
  EXPECT_EQ(destroyed.load(), 10);
}

TEST(WorkThreadLoop, DestructorStopsAndJoinsARunningLoop) {
  std::atomic<int> ran{0}, destroyed{0};
  {
    CMessageLoopWorkThread loop;
    ASSERT_TRUE(loop.Start());
    loop.PostTask(std::make_shared<Tracked>(ran, destroyed));
    ASSERT_TRUE(WaitFor([&] { return ran.load() == 1; }));
    loop.PostDelayTask(std::make_shared<looptest::CountedDelay>(1 << 30, [] {}));
  }
  EXPECT_EQ(destroyed.load(), 1);
}

TEST(WakeUps, APostToAnIdleLoopRunsWithoutWaitingForTheTimedWakeUp) {
  SleepyLoop loop;
  ASSERT_TRUE(loop.Start());
  // Each round lets the loop fall asleep first, then posts one task. With a
  // one-minute interval a single lost wake-up would exceed the limit.
  for (int i = 0; i < 200; ++i) {
    std::atomic<bool> ran{false};
    if (i % 2 == 0) {
      loop.PostTask(Fn([&] { ran = true; }));
    } else {
      loop.PostPriorityTask(Fn([&] { ran = true; }));
    }
    ASSERT_TRUE(WaitFor([&] { return ran.load(); }, std::chrono::seconds(30))) << "round " << i;
    if (i % 20 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const auto before = std::chrono::steady_clock::now();
  loop.Stop();  // must wake the sleeper too
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(30));
}

TEST(WakeUps, ManyProducersNeverStrandATask) {
  SleepyLoop loop;
  ASSERT_TRUE(loop.Start());
  std::atomic<int> ran{0};
  constexpr int kProducers = 4;
  constexpr int kPerProducer = 2000;
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&] {
      for (int i = 0; i < kPerProducer; ++i) {
        loop.PostTask(Fn([&] { ++ran; }));
        if (i % 100 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
      }
    });
  }
  for (auto& t : producers) t.join();
  EXPECT_TRUE(WaitFor([&] { return ran.load() == kProducers * kPerProducer; },
                      std::chrono::seconds(30)));
  loop.Stop();
}

TEST(NamedLoops, SingletonCreatedOnceUnderRacingThreads) {
  std::vector<CMessageLoopForNotify*> seen(8, nullptr);
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (auto& slot : seen) {
    threads.emplace_back([&] {
      while (!go.load()) {
      }
      slot = &CSingleton<CMessageLoopForNotify>::Instance();
    });
  }
  go = true;
  for (auto& t : threads) t.join();
  for (auto* p : seen) EXPECT_EQ(p, seen.front());
  EXPECT_EQ(CSingleton<CMessageLoopForNotify>::s_instance_.get(), seen.front());
}

TEST(NamedLoops, IdleUntilStartedThenRunOnTheirOwnThreads) {
  CMessageLoopForCleanup& cleanup = CMessageLoopForCleanup::Instance();
  CMessageLoopForNetSDK& netsdk = CMessageLoopForNetSDK::Instance();
  EXPECT_FALSE(cleanup.PostTask(Fn([] {})));
  ASSERT_TRUE(cleanup.Start());
  ASSERT_TRUE(netsdk.Start());
  std::atomic<int> a{0}, b{0};
  cleanup.PostTask(Fn([&] { a = static_cast<int>(GetCurrentThreadId()); }));
  netsdk.PostTask(Fn([&] { b = static_cast<int>(GetCurrentThreadId()); }));
  ASSERT_TRUE(WaitFor([&] { return a.load() != 0 && b.load() != 0; }));
  EXPECT_NE(a.load(), b.load());
  EXPECT_EQ(cleanup.GetRunThreadID(), a.load());
  cleanup.Quit();
  netsdk.Stop();
}

TEST(ExitTask, ExecutedOnANamedLoopEndsTheMainLoopsRun) {
  CMessageLoop& main_loop = CMessageLoop::Instance();
  ASSERT_TRUE(main_loop.Start());
  std::thread main_thread([&] { main_loop.Run(); });

  CMessageLoopForNotify& notify = CMessageLoopForNotify::Instance();
  ASSERT_TRUE(notify.Start());
  ASSERT_TRUE(notify.PostTask(CMessageLoop::MakeExitTask()));
  main_thread.join();  // returns only if the exit task ended the main loop
  EXPECT_FALSE(main_loop.PostTask(Fn([] {})));
  EXPECT_TRUE(notify.PostTask(Fn([] {}))) << "the loop that ran it goes on";
  notify.Stop();
}

TEST(ExitTask, OnTheMainLoopItselfEndsItAfterTheTask) {
  CMessageLoop& main_loop = CMessageLoop::Instance();
  ASSERT_TRUE(main_loop.Start());
  std::atomic<int> ran{0}, destroyed{0};
  main_loop.PostTask(CMessageLoop::MakeExitTask());
  main_loop.PostTask(std::make_shared<Tracked>(ran, destroyed));
  main_loop.Run();
  EXPECT_EQ(ran.load(), 0);
  EXPECT_EQ(destroyed.load(), 1);
}

}  // namespace
