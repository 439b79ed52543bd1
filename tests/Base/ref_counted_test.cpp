// The intrusive reference counts.
#include <OskaBase/RefCounted.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using Oska::Base::details::CRefCountedBase;
using Oska::Base::details::CRefCountedThreadSafeBase;

template <class Base>
class Counted : public Base {
 public:
  using Base::AddRef;
  using Base::Release;
};

using Plain = Counted<CRefCountedBase>;
using Atomic = Counted<CRefCountedThreadSafeBase>;

template <class T>
class RefCounted : public ::testing::Test {};
using CountKinds = ::testing::Types<Plain, Atomic>;
TYPED_TEST_SUITE(RefCounted, CountKinds);

TYPED_TEST(RefCounted, ReleaseReportsTheLastReference) {
  TypeParam object;
  EXPECT_EQ(0, object.RefCount());
  EXPECT_FALSE(object.HasOneRef());
  object.AddRef();
  object.AddRef();
  EXPECT_EQ(2, object.RefCount());
  EXPECT_FALSE(object.Release());
  EXPECT_TRUE(object.HasOneRef());
  EXPECT_TRUE(object.Release());
  EXPECT_EQ(0, object.RefCount());
}

TYPED_TEST(RefCounted, CopiesStartUncountedAndAssignmentKeepsTheTargetsCount) {
  TypeParam source;
  source.AddRef();
  source.AddRef();
  TypeParam copy(source);
  EXPECT_EQ(0, copy.RefCount());
  TypeParam target;
  target.AddRef();
  target = source;
  EXPECT_TRUE(target.HasOneRef());
  EXPECT_EQ(2, source.RefCount());
}

TEST(RefCounted, EachKindNamesItsThreadSafety) {
  EXPECT_FALSE(CRefCountedBase::InplementsThreadSafeReferenceCounting());
  EXPECT_TRUE(CRefCountedThreadSafeBase::InplementsThreadSafeReferenceCounting());
}

TEST(RefCountedThreadSafe, ConcurrentAddsAreAllCountedAndExactlyOneReleaseIsTheLast) {
  constexpr int kThreads = 8;
  constexpr int kRefsEach = 2000;
  for (int round = 0; round < 20; ++round) {
    auto* object = new Atomic;
    object->AddRef();  // the starter's reference, dropped once all have added
    std::atomic<int> deleters{0};
    std::atomic<int> added{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&] {
        for (int i = 0; i < kRefsEach; ++i) object->AddRef();
        if (++added == kThreads && object->Release()) ++deleters;  // never the last
        for (int i = 0; i < kRefsEach; ++i) {
          if (object->Release()) {
            ++deleters;
            delete object;  // the last holder frees it, as a smart pointer would
          }
        }
      });
    }
    for (auto& t : threads) t.join();
    ASSERT_EQ(1, deleters.load());
  }
}

}  // namespace
