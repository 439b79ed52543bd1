// How the pool grows with the load and shrinks back to its floor.
#include <OskaBase/ThreadPool.h>

#include "Task/PoolTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using Oska::Base::CMessageLoopDyThreadPool;
using pool_test::Gate;
using pool_test::HeldTask;
using pool_test::Tally;
using pool_test::WaitFor;

// Floor 1, ceiling 4, two tasks per thread, tasks that block: each new worker
// takes a task before the next post, and the pool grows exactly when
// busy + queued exceeds 2 x workers.
TEST(PoolGrowth, GrowsWhenBusyPlusQueuedExceedsTheLoadFactor) {
  CMessageLoopDyThreadPool pool;
  Gate gate;
  Tally tally;
  ASSERT_TRUE(pool.Start(1, 4, 2));
  ASSERT_EQ(pool.GetThreadNum(), 1);

  // expected workers after each post, each of them busy with a task by then
  const int workers[] = {1, 1, 2, 2, 3};
  for (int post = 0; post < 5; ++post) {
    pool.PostTask(new HeldTask(tally, &gate));
    EXPECT_EQ(pool.GetThreadNum(), workers[post]) << "after post " << post + 1;
    ASSERT_TRUE(WaitFor([&] { return tally.started.load() == workers[post]; }))
        << "after post " << post + 1;
  }
  EXPECT_EQ(pool.GetWorkTaskCount(), 2);
  gate.Open();
  pool.Stop(true);
  EXPECT_EQ(tally.finished.load(), 5);
  EXPECT_EQ(tally.destroyed.load(), 5);
}

// Start(0, 0, 0) and negative limits give one worker and a ceiling of 1, so
// even a load factor of 0 never grows it; a ceiling above 1024 is 1024, and a
// load factor of 0 or below grows the pool on every post up to the ceiling.
TEST(PoolGrowth, LimitsAreClampedAndLowLoadFactorsGrowOnEveryPost) {
  struct Case {
    int floor, ceiling, load, posts, before, after;
  };
  const Case cases[] = {{0, 0, 0, 4, 1, 1},
                        {-7, -7, -1, 4, 1, 1},
                        {1, 3, -1, 5, 1, 3},
                        {2, 5000, 0, 1100, 2, 1024}};
  Tally tally;
  CMessageLoopDyThreadPool pool;
  for (const Case& c : cases) {
    Gate gate;
    pool.Start(c.floor, c.ceiling, c.load);
    EXPECT_EQ(pool.GetThreadNum(), c.before) << c.floor << "," << c.ceiling << "," << c.load;
    for (int i = 0; i < c.posts; ++i) pool.PostTask(new HeldTask(tally, &gate));
    EXPECT_EQ(pool.GetThreadNum(), c.after) << c.floor << "," << c.ceiling << "," << c.load;
    gate.Open();
    pool.Stop(true);
  }
  EXPECT_EQ(tally.finished.load(), 1113);
  EXPECT_EQ(tally.destroyed.load(), 1113);
}

TEST(PoolGrowth, SurplusWorkersRetireToTheFloorAndNeverBelow) {
  CMessageLoopDyThreadPool pool;
  Gate gate;
  Tally tally;
  pool.Start(2, 6, 1);
  ASSERT_TRUE(pool_test::PostHeld(pool, tally, gate, 12, 6));
  EXPECT_EQ(pool.GetThreadNum(), 6);
  gate.Open();
  ASSERT_TRUE(WaitFor([&] { return tally.finished.load() == 12; }));

  // One idle second each, then they go; allow a loaded machine plenty.
  ASSERT_TRUE(WaitFor([&] { return pool.GetThreadNum() == 2; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  EXPECT_EQ(pool.GetThreadNum(), 2);

  // The floor still works after the surplus has gone.
  Tally after;
  for (int i = 0; i < 50; ++i) pool.PostTask(new HeldTask(after, nullptr));
  ASSERT_TRUE(WaitFor([&] { return after.finished.load() == 50; }));
  EXPECT_EQ(after.destroyed.load(), 50);
}

}  // namespace
