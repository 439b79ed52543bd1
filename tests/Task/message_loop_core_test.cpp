// The loop core driven on the test's own thread: ordering of ordinary,
// priority and delayed tasks, quit versus stop, counters and run-thread ids.
#include "Task/loop_test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using Oska::Base::CMessageLoopMainThread;
using Oska::Base::CTask;
using looptest::CountedDelay;
using looptest::Fn;
using looptest::Journal;
using looptest::Tracked;

using Strings = std::vector<std::string>;

TEST(LoopPosting, RefusedBeforeStartAndForEmptyTasks) {
  CMessageLoopMainThread loop;
  std::atomic<int> ran{0}, destroyed{0};
  EXPECT_FALSE(loop.PostTask(new Tracked(ran, destroyed)));
  EXPECT_EQ(destroyed.load(), 1) << "a refused raw task is deleted before the call returns";
  EXPECT_FALSE(loop.PostPriorityTask(new Tracked(ran, destroyed)));
  EXPECT_EQ(destroyed.load(), 2);
  EXPECT_FALSE(loop.PostTask(std::shared_ptr<CTask>()));

  ASSERT_TRUE(loop.Start());
  EXPECT_FALSE(loop.PostTask(std::shared_ptr<CTask>()));
  EXPECT_FALSE(loop.PostDelayTask(std::shared_ptr<Oska::Base::CDelayTask>()));
  EXPECT_EQ(loop.GetWorkTaskCount(), 0);
  EXPECT_EQ(loop.ThreadID(), 0u);
}

TEST(LoopOrder, OrdinaryTasksKeepPostingOrderAndPriorityCutsIn) {
  CMessageLoopMainThread loop;
  loop.Start();
  Journal journal;
  for (int i = 1; i <= 10; ++i) {
    loop.PostTask(Fn([&, i] {
      journal.Add(std::to_string(i));
      if (i == 3) loop.PostPriorityTask(Fn([&] { journal.Add("P"); }));
      if (i == 10) loop.Stop();
    }));
  }
  loop.Run();
  EXPECT_EQ(journal.Entries(), (Strings{"1", "2", "3", "P", "4", "5", "6", "7", "8", "9", "10"}));
}

TEST(LoopOrder, PriorityPostedFromPriorityRunsInTheSameCall) {
  CMessageLoopMainThread loop;
  loop.Start();
  Journal journal;
  loop.PostTask(Fn([&] {
    journal.Add("ordinary");
    loop.Stop();
  }));
  loop.PostPriorityTask(Fn([&] {
    journal.Add("A");
    loop.PostPriorityTask(Fn([&] { journal.Add("B"); }));
  }));
  loop.Run();
  EXPECT_EQ(journal.Entries(), (Strings{"A", "B", "ordinary"}));
}

TEST(LoopQuit, RunsEarlierTasksThenDiscardsLaterOnes) {
  CMessageLoopMainThread loop;
  loop.Start();
  std::atomic<int> ran{0}, destroyed{0};
  for (int i = 0; i < 5; ++i) loop.PostTask(std::make_shared<Tracked>(ran, destroyed));
  loop.Quit();
  // Accepted until the quit task runs, then released unrun.
  EXPECT_TRUE(loop.PostTask(std::make_shared<Tracked>(ran, destroyed)));
  EXPECT_TRUE(loop.PostDelayTask(std::make_shared<CountedDelay>(1, [&] { ++ran; })));
  loop.Run();
  // The five, then the quit task; the sweep that is due when the batch ends
  // still executes the first held delayed task once before the drain.
  EXPECT_EQ(ran.load(), 6);
  EXPECT_EQ(destroyed.load(), 6);
  EXPECT_EQ(loop.GetWorkTaskCount(), 0);
  EXPECT_EQ(loop.GetWorkDelayTaskCount(), 0);
  EXPECT_FALSE(loop.PostTask(Fn([] {}))) << "a quit loop refuses posts";
  loop.Quit();  // on a loop that is not running: nothing happens
}

TEST(LoopStop, TheRunningTaskFinishesThenEverythingIsReleasedUnrun) {
  CMessageLoopMainThread loop;
  loop.Start();
  std::atomic<int> ran{0}, destroyed{0};
  bool first_finished = false;
  loop.PostTask(Fn([&] {
    loop.Stop();
    first_finished = true;  // Stop() does not interrupt the running task
  }));
  for (int i = 0; i < 3; ++i) loop.PostTask(std::make_shared<Tracked>(ran, destroyed));
  loop.PostDelayTask(std::make_shared<CountedDelay>(5, [&] { ++ran; }));
  loop.Run();
  EXPECT_TRUE(first_finished);
  EXPECT_EQ(ran.load(), 1) << "only the delayed task of the sweep already due";
  EXPECT_EQ(destroyed.load(), 3);
  EXPECT_EQ(loop.GetWorkTaskCount(), 0);
  EXPECT_EQ(loop.GetWorkDelayTaskCount(), 0);
  EXPECT_EQ(loop.GetPriorityTaskCount(), 0);
}

TEST(LoopRun, ReturnsAtOnceWithoutStart) {
  CMessageLoopMainThread loop;
  loop.Run();
  EXPECT_EQ(loop.GetRunThreadID(), static_cast<int>(GetCurrentThreadId()));
}

TEST(LoopDelayed, SweptAtMostOncePerIntervalInPostingOrder) {
  CMessageLoopMainThread loop;
  loop.Start();
  Journal journal;
  std::vector<std::chrono::steady_clock::time_point> sweeps;
  loop.PostDelayTask(std::make_shared<CountedDelay>(3, [&] {
    journal.Add("a");
    sweeps.push_back(std::chrono::steady_clock::now());
  }));
  loop.PostDelayTask(std::make_shared<CountedDelay>(4, [&] {
    journal.Add("b");
    if (journal.Size() == 7) loop.Stop();
  }));
  EXPECT_EQ(loop.GetWorkDelayTaskCount(), 2);
  loop.Run();
  EXPECT_EQ(journal.Entries(), (Strings{"a", "b", "a", "b", "a", "b", "b"}));
  ASSERT_EQ(sweeps.size(), 3u);
  for (std::size_t i = 1; i < sweeps.size(); ++i) {
    EXPECT_GE(sweeps[i] - sweeps[i - 1], std::chrono::milliseconds(99));
  }
}

TEST(LoopCounters, CountTheExecutingBatchTaskButNotTheExecutingPriorityTask) {
  CMessageLoopMainThread loop;
  loop.Start();
  int work_seen = -1, priority_seen = -1, delay_seen = -1;
  loop.PostDelayTask(std::make_shared<CountedDelay>(1000, [] {}));
  loop.PostTask(Fn([&] {
    work_seen = loop.GetWorkTaskCount();
    delay_seen = loop.GetWorkDelayTaskCount();
  }));
  loop.PostTask(Fn([] {}));
  loop.PostTask(Fn([&] {
    loop.PostPriorityTask(Fn([&] {
      priority_seen = loop.GetPriorityTaskCount();
      loop.Stop();
    }));
  }));
  loop.PostTask(Fn([] {}));
  EXPECT_EQ(loop.GetWorkTaskCount(), 4);
  loop.Run();
  EXPECT_EQ(work_seen, 4);
  EXPECT_EQ(delay_seen, 1);
  EXPECT_EQ(priority_seen, 0);
}

TEST(LoopRunThreadId, ZeroBeforeRunKeptAfterQuitClearedByStop) {
  CMessageLoopMainThread loop;
  EXPECT_EQ(loop.GetRunThreadID(), 0);
  loop.Start();
  int during = 0;
  loop.PostTask(Fn([&] { during = loop.GetRunThreadID(); }));
  loop.Quit();
  loop.Run();
  const int me = static_cast<int>(GetCurrentThreadId());
  EXPECT_EQ(during, me);
  EXPECT_EQ(loop.GetRunThreadID(), me);
  loop.Stop();
  EXPECT_EQ(loop.GetRunThreadID(), 0);
}

TEST(LoopExceptions, AThrowingTaskLeavesRunAndTheRestStaysQueuedInOrder) {
  CMessageLoopMainThread loop;
  loop.Start();
  Journal journal;
  loop.PostTask(Fn([&] { journal.Add("1"); }));
  loop.PostTask(Fn([] { throw std::runtime_error("task failed"); }));
  loop.PostTask(Fn([&] { journal.Add("3"); }));
  EXPECT_THROW(loop.Run(), std::runtime_error);
  EXPECT_EQ(loop.GetWorkTaskCount(), 1) << "the thrown task no longer counts";
  loop.PostTask(Fn([&] {
    journal.Add("4");
    loop.Stop();
  }));
  loop.Run();
  EXPECT_EQ(journal.Entries(), (Strings{"1", "3", "4"}));
}

TEST(LoopDestruction, ReleasesQueuedTasksUnrun) {
  std::atomic<int> ran{0}, destroyed{0};
  {
    CMessageLoopMainThread loop;
    loop.Start();
    loop.PostTask(new Tracked(ran, destroyed));
    loop.PostPriorityTask(new Tracked(ran, destroyed));
  }
  EXPECT_EQ(ran.load(), 0);
  EXPECT_EQ(destroyed.load(), 2);
}

}  // namespace
