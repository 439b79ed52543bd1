// The runtime's locks and the guard over them, with real threads.
#include <zel/zel.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

TEST(ZelMutex, ExcludesOtherThreads) {
  ZEL_Mutex mutex;
  long counter = 0;  // guarded by mutex
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        EXPECT_EQ(mutex.Lock(), 0);
        ++counter;
        EXPECT_EQ(mutex.Unlock(), 0);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 80000);
}

TEST(ZelMutex, AssignmentKeepsEachLockItsOwn) {
  ZEL_Mutex held;
  ZEL_Mutex target;
  held.Lock();
  target = held;  // must not copy "locked" into target
  std::atomic<bool> got{false};
  std::thread other([&] {
    target.Lock();
    got = true;
    target.Unlock();
  });
  other.join();
  EXPECT_TRUE(got.load());
  held.Unlock();
}

// A thread that blocks on `mutex` and reports when it got it.
class Contender {
 public:
  explicit Contender(ZEL_Mutex* mutex)
      : thread_([this, mutex] {
          mutex->Lock();
          acquired_ = true;
          mutex->Unlock();
        }) {}
  ~Contender() { thread_.join(); }
  bool acquired() const { return acquired_.load(); }
  bool WaitAcquired() {
    for (int i = 0; i < 500 && !acquired_; ++i) std::this_thread::sleep_for(10ms);
    return acquired_;
  }

 private:
  std::atomic<bool> acquired_{false};
  std::thread thread_;
};

TEST(ZelGuard, HoldsTheMutexUntilDestroyed) {
  ZEL_Mutex mutex;
  std::unique_ptr<Contender> contender;
  {
    ZEL_Guard guard(&mutex);
    contender = std::make_unique<Contender>(&mutex);
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(contender->acquired());
  }
  EXPECT_TRUE(contender->WaitAcquired());
}

TEST(ZelGuard, ReleaseUnlocksOnceAndDestructionAddsNothing) {
  ZEL_Mutex mutex;
  {
    ZEL_Guard guard(&mutex);
    guard.Release();
    Contender contender(&mutex);
    EXPECT_TRUE(contender.WaitAcquired());
    guard.Release();  // a second release is a no-op
  }
  // Had the destructor unlocked again, the lock would now be corrupt (and
  // the thread sanitizer reports an unlock of an unlocked mutex). It still
  // works as a lock:
  mutex.Lock();
  Contender blocked(&mutex);
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(blocked.acquired());
  mutex.Unlock();
  EXPECT_TRUE(blocked.WaitAcquired());
}

TEST(ZelGuard, NullMutexIsAReleasedGuard) {
  ZEL_Guard guard(nullptr);
  guard.Release();
}

TEST(ZelRecursiveMutex, OwnerMayLockAgain) {
  zel::zel_recursive_mutex mutex;
  std::lock_guard<zel::zel_recursive_mutex> outer(mutex);
  EXPECT_TRUE(mutex.try_lock());
  mutex.unlock();
  std::thread other([&] { EXPECT_FALSE(mutex.try_lock()); });
  other.join();
}

TEST(ZelRecursiveMutex, CopiesAreNewUnlockedLocks) {
  zel::zel_recursive_mutex source;
  source.lock();
  zel::zel_recursive_mutex copy(source);
  zel::zel_recursive_mutex assigned;
  assigned = source;
  std::thread other([&] {
    EXPECT_FALSE(source.try_lock());
    EXPECT_TRUE(copy.try_lock());
    copy.unlock();
    EXPECT_TRUE(assigned.try_lock());
    assigned.unlock();
  });
  other.join();
  source.unlock();
  // Destroyed through its virtual destructor.
  std::unique_ptr<zel::zel_recursive_mutex> owned(new zel::zel_recursive_mutex(copy));
  owned.reset();
}

}  // namespace
