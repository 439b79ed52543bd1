// Start, Stop, restart and destruction of the pool, and what they do to the
// tasks it holds.
#include <OskaBase/ThreadPool.h>

#include "Task/PoolTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

namespace {

using Oska::Base::CMessageLoopDyThreadPool;
using pool_test::Gate;
using pool_test::HeldTask;
using pool_test::OpenDuring;
using pool_test::PostHeld;
using pool_test::Tally;

TEST(PoolLifecycle, CountersAreZeroBeforeStartAndAfterStop) {
  CMessageLoopDyThreadPool pool;
  EXPECT_EQ(pool.GetThreadNum(), 0);
  EXPECT_EQ(pool.GetWorkTaskCount(), 0);
  pool.Stop(true);  // nothing to stop
  pool.Stop(false);

  Gate gate;
  Tally tally;
  pool.Start(3, 3, 8);
  EXPECT_EQ(pool.GetThreadNum(), 3);
  ASSERT_TRUE(PostHeld(pool, tally, gate, 7, 3));
  EXPECT_EQ(pool.GetWorkTaskCount(), 4);
  OpenDuring(gate, [&] { pool.Stop(false); });
  EXPECT_EQ(pool.GetThreadNum(), 0);
  EXPECT_EQ(pool.GetWorkTaskCount(), 0);
}

TEST(PoolLifecycle, StopTrueRunsTheQueueStopFalseDiscardsIt) {
  for (const bool run_queue : {true, false}) {
    CMessageLoopDyThreadPool pool;
    Gate gate;
    Tally tally;
    pool.Start(1, 1, 1);
    ASSERT_TRUE(PostHeld(pool, tally, gate, 6, 1));
    OpenDuring(gate, [&] { pool.Stop(run_queue); });
    // Without the queue, only the taken task ran; the rest were released unrun.
    EXPECT_EQ(tally.finished.load(), run_queue ? 6 : 1);
    EXPECT_EQ(tally.destroyed.load(), 6);
    EXPECT_EQ(pool.GetThreadNum(), 0);
    // A stopped pool drops posts.
    pool.PostTask(new HeldTask(tally, nullptr));
    EXPECT_EQ(tally.destroyed.load(), 7);
    EXPECT_EQ(tally.started.load(), run_queue ? 6 : 1);
  }
}

TEST(PoolLifecycle, StartOnAStartedPoolStopsItAndBuildsAFreshOne) {
  CMessageLoopDyThreadPool pool;
  Gate gate;
  Tally old_tasks;
  pool.Start(1, 1, 1);
  ASSERT_TRUE(PostHeld(pool, old_tasks, gate, 4, 1));
  OpenDuring(gate, [&] { EXPECT_TRUE(pool.Start(2, 3, 1)); });
  EXPECT_EQ(old_tasks.finished.load(), 1);
  EXPECT_EQ(old_tasks.destroyed.load(), 4);
  EXPECT_EQ(pool.GetThreadNum(), 2);
  EXPECT_EQ(pool.GetWorkTaskCount(), 0);

  Tally new_tasks;
  for (int i = 0; i < 20; ++i) pool.PostTask(new HeldTask(new_tasks, nullptr));
  pool.Stop(true);
  EXPECT_EQ(new_tasks.finished.load(), 20);
}

TEST(PoolLifecycle, DestroyingAStartedPoolStopsItWithoutRunningTheQueue) {
  Gate gate;
  Tally tally;
  auto pool = std::make_unique<CMessageLoopDyThreadPool>();
  pool->Start(2, 2, 1);
  ASSERT_TRUE(PostHeld(*pool, tally, gate, 10, 2));
  OpenDuring(gate, [&] { pool.reset(); });
  EXPECT_EQ(tally.finished.load(), 2);
  EXPECT_EQ(tally.destroyed.load(), 10);
}

// Several threads post while the pool is stopped and restarted under them:
// no crash, and every task is either run once or released unrun.
TEST(PoolLifecycle, PostsRacingWithStopNeitherCrashNorLeak) {
  Tally tally;
  CMessageLoopDyThreadPool pool;
  for (int round = 0; round < 20; ++round) {
    pool.Start(1, 4, 2);
    std::atomic<bool> go{false};
    std::vector<std::thread> posters;
    for (int p = 0; p < 4; ++p) {
      posters.emplace_back([&, p] {
        while (!go.load()) std::this_thread::yield();
        for (int i = 0; i < 500; ++i) {
          if ((i + p) % 3 == 0) {
            pool.PostPriorityTask(new HeldTask(tally, nullptr));
          } else {
            pool.PostTask(std::make_shared<HeldTask>(tally, nullptr));
          }
          if (i % 64 == 0) (void)pool.GetWorkTaskCount();
        }
      });
    }
    go.store(true);
    std::this_thread::sleep_for(std::chrono::microseconds(200 * (round % 5)));
    pool.Stop(round % 2 == 0);
    for (auto& t : posters) t.join();
    EXPECT_EQ(pool.GetThreadNum(), 0);
  }
  EXPECT_EQ(tally.destroyed.load(), 20 * 4 * 500);
  EXPECT_EQ(tally.started.load(), tally.finished.load());
  EXPECT_LE(tally.finished.load(), tally.destroyed.load());
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define OSKA_POOL_NO_ADDRESS_LIMIT 1
#else
// Runs `body` in a child process whose address space is too small for another
// thread stack while `body(restore)` runs, until it calls `restore()`. The
// child's exit code 0 is success; a fresh child matters because the C library
// caches the stacks of ended threads, which would let a thread start anyway.
template <class Body>
void WithoutRoomForThreads(Body body) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        long pages = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "r")) {
          if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
          std::fclose(f);
        }
        rlimit saved{};
        getrlimit(RLIMIT_AS, &saved);
        rlimit tight = saved;
        tight.rlim_cur = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE) + (2 << 20));
        if (setrlimit(RLIMIT_AS, &tight) != 0) std::_Exit(3);
        std::_Exit(body([&] { setrlimit(RLIMIT_AS, &saved); }));
      },
      ::testing::ExitedWithCode(0), "");
}
#endif

// Start() still returns true with no worker; posts are kept, and a later post
// starts the worker once threads can be created again.
TEST(PoolLifecycleDeathTest, KeepsWorkingWhenAWorkerCannotBeCreated) {
#ifdef OSKA_POOL_NO_ADDRESS_LIMIT
  GTEST_SKIP() << "sanitizer runtimes reserve address space beyond any limit";
#else
  WithoutRoomForThreads([](auto restore) {
    CMessageLoopDyThreadPool pool;
    Tally tally;
    const bool started = pool.Start(2, 4, 1);
    const int workers = pool.GetThreadNum();
    pool.PostTask(new HeldTask(tally, nullptr));
    const int still = pool.GetThreadNum();
    const int queued = pool.GetWorkTaskCount();
    restore();
    if (!started || workers != 0 || still != 0 || queued != 1) return 4;
    pool.PostTask(new HeldTask(tally, nullptr));
    if (pool.GetThreadNum() < 1) return 5;
    pool.Stop(true);
    return tally.finished.load() == 2 && tally.destroyed.load() == 2 ? 0 : 6;
  });
#endif
}

// Stop(true) with work queued and no worker at all starts one itself rather
// than wait for ever.
TEST(PoolLifecycleDeathTest, StopTrueStartsAWorkerWhenNoneCouldBeCreated) {
#ifdef OSKA_POOL_NO_ADDRESS_LIMIT
  GTEST_SKIP() << "sanitizer runtimes reserve address space beyond any limit";
#else
  WithoutRoomForThreads([](auto restore) {
    CMessageLoopDyThreadPool pool;
    Tally tally;
    pool.Start(1, 1, 1);
    pool.PostTask(new HeldTask(tally, nullptr));
    pool.PostPriorityTask(new HeldTask(tally, nullptr));
    const int none = pool.GetThreadNum();
    restore();
    if (none != 0) return 4;
    pool.Stop(true);
    return tally.finished.load() == 2 && tally.destroyed.load() == 2 ? 0 : 5;
  });
#endif
}

}  // namespace
