// What happens to posted tasks: order of priority posts, empty tasks, posts
// from tasks, and wake-ups that must never be lost.
#include <OskaBase/ThreadPool.h>

#include "Task/PoolTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

using Oska::Base::CMessageLoopDyThreadPool;
using Oska::Base::CTask;
using pool_test::Gate;
using pool_test::HeldTask;
using pool_test::Tally;
using pool_test::WaitFor;

TEST(PoolPosting, PriorityTasksAreTakenBeforeEarlierOrdinaryOnesLatestFirst) {
  CMessageLoopDyThreadPool pool;
  Gate gate;
  Tally tally;
  looptest::Journal journal;
  auto named = [&journal](const char* name) {
    return new looptest::FnTask([&journal, name] { journal.Add(name); });
  };
  pool.Start(1, 1, 1);
  ASSERT_TRUE(pool_test::PostHeld(pool, tally, gate, 1, 1));

  pool.PostTask(named("o1"));
  pool.PostTask(std::shared_ptr<CTask>(named("o2")));
  pool.PostPriorityTask(named("A"));
  pool.PostPriorityTask(std::shared_ptr<CTask>(named("B")));
  pool.PostTask(named("o3"));
  EXPECT_EQ(pool.GetWorkTaskCount(), 5);
  gate.Open();
  pool.Stop(true);
  EXPECT_EQ(journal.Entries(), (std::vector<std::string>{"B", "A", "o1", "o2", "o3"}));
}

TEST(PoolPosting, EmptyTaskIsQueuedAndSkipped) {
  CMessageLoopDyThreadPool pool;
  Tally tally;
  pool.Start(1, 1, 1);
  pool.PostTask(std::shared_ptr<CTask>());
  pool.PostPriorityTask(static_cast<CTask*>(nullptr));
  pool.PostTask(new HeldTask(tally, nullptr));
  ASSERT_TRUE(WaitFor([&] { return tally.finished.load() == 1; }));
  EXPECT_TRUE(WaitFor([&] { return pool.GetWorkTaskCount() == 0; }));
  EXPECT_EQ(pool.GetThreadNum(), 1);
}

TEST(PoolPosting, SharedTaskPostedTwiceRunsTwiceAndIsKeptByTheCaller) {
  CMessageLoopDyThreadPool pool;
  Tally tally;
  auto task = std::make_shared<HeldTask>(tally, nullptr);
  pool.Start(2, 2, 1);
  pool.PostTask(task);
  pool.PostTask(task);
  pool.Stop(true);
  EXPECT_EQ(tally.finished.load(), 2);
  EXPECT_EQ(tally.destroyed.load(), 0);
  EXPECT_EQ(task.use_count(), 1);
}

// A task that posts to its own pool: tasks run with no lock held.
class Chain : public CTask {
 public:
  Chain(CMessageLoopDyThreadPool& pool, std::atomic<int>& left) : pool_(pool), left_(left) {}
  void Execute() override {
    if (left_.fetch_sub(1) > 1) pool_.PostTask(new Chain(pool_, left_));
  }

 private:
  CMessageLoopDyThreadPool& pool_;
  std::atomic<int>& left_;
};

TEST(PoolPosting, TaskMayPostToItsOwnPool) {
  CMessageLoopDyThreadPool pool;
  std::atomic<int> left{1000};
  pool.Start(1, 2, 1);
  pool.PostTask(new Chain(pool, left));
  ASSERT_TRUE(WaitFor([&] { return left.load() == 0; }));
}

// Many producers, idle gaps of every length, workers above and at the floor:
// every task must run without waiting for a later post to wake a worker.
TEST(PoolPosting, NoWakeUpIsLostWhenWorkersSleep) {
  CMessageLoopDyThreadPool pool;
  Tally tally;
  pool.Start(2, 4, 1);
  constexpr int kProducers = 3;
  constexpr int kPerProducer = 400;
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      for (int i = 0; i < kPerProducer; ++i) {
        pool.PostTask(new HeldTask(tally, nullptr));
        if ((i + p) % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(50 * (i % 5)));
      }
    });
  }
  for (auto& t : producers) t.join();
  // Each task is run right away by a woken worker; nothing else will post.
  EXPECT_TRUE(WaitFor([&] { return tally.finished.load() == kProducers * kPerProducer; }));
  for (int round = 0; round < 200; ++round) {
    const int before = tally.finished.load();
    pool.PostTask(new HeldTask(tally, nullptr));
    ASSERT_TRUE(WaitFor([&] { return tally.finished.load() == before + 1; }))
        << "round " << round;
  }
}

TEST(PoolPosting, PostsToAnUnstartedPoolAreDroppedAndRawTasksDeleted) {
  CMessageLoopDyThreadPool pool;
  Tally tally;
  pool.PostTask(new HeldTask(tally, nullptr));
  pool.PostPriorityTask(new HeldTask(tally, nullptr));
  auto kept = std::make_shared<HeldTask>(tally, nullptr);
  pool.PostTask(kept);
  EXPECT_EQ(tally.destroyed.load(), 2);
  EXPECT_EQ(kept.use_count(), 1);
  EXPECT_EQ(tally.started.load(), 0);
}

}  // namespace
