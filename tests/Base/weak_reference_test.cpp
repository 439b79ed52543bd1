// Weak references, their owner and the shared flag.
#include <OskaBase/WeakReference.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Oska::Base::details::CWeakPtrBase;
using Oska::Base::details::CWeakReference;
using Oska::Base::details::CWeakReferenceOwner;

// The smallest weak-pointer template a caller would build on the base.
class WeakHandle : public CWeakPtrBase {
 public:
  WeakHandle() = default;
  explicit WeakHandle(const CWeakReference& ref) : CWeakPtrBase(ref) {}
  using CWeakPtrBase::IsValid;
  using CWeakPtrBase::RefCount;
};

TEST(WeakReference, DefaultReferenceIsInvalidAndUncounted) {
  for (const CWeakReference& ref : {CWeakReference(), CWeakReference(nullptr)}) {
    EXPECT_FALSE(ref.IsValid());
    EXPECT_EQ(0, ref.RefCount());
  }
}

TEST(WeakReference, EveryReferenceIsCountedUntilItGoes) {
  CWeakReferenceOwner owner;
  EXPECT_FALSE(owner.HasRefs());
  {
    CWeakReference a = owner.GetRef();
    CWeakReference b = owner.GetRef();
    EXPECT_TRUE(owner.HasRefs());
    EXPECT_EQ(2, a.RefCount());
    EXPECT_TRUE(a.IsValid());
    {
      CWeakReference c(a);
      EXPECT_EQ(3, b.RefCount());
    }
    EXPECT_EQ(2, b.RefCount());
  }
  EXPECT_FALSE(owner.HasRefs());
}

TEST(WeakReference, InvalidateReachesReferencesTakenBeforeAndAfter) {
  CWeakReferenceOwner owner;
  CWeakReference before = owner.GetRef();
  WeakHandle handle_before(before);
  owner.Invalidate();
  CWeakReference after = owner.GetRef();
  EXPECT_FALSE(before.IsValid());
  EXPECT_FALSE(after.IsValid());
  EXPECT_FALSE(handle_before.IsValid());
  EXPECT_EQ(3, after.RefCount());  // still the same flag
  owner.Invalidate();              // a second time changes nothing
  EXPECT_FALSE(owner.GetRef().IsValid());
}

TEST(WeakReference, ReferencesOutliveTheirOwnerAndReportInvalid) {
  CWeakReference survivor;
  WeakHandle handle;
  {
    auto owner = std::make_unique<CWeakReferenceOwner>();
    survivor = owner->GetRef();
    handle = WeakHandle(owner->GetRef());
    EXPECT_TRUE(survivor.IsValid());
    EXPECT_TRUE(handle.IsValid());
  }
  EXPECT_FALSE(survivor.IsValid());
  EXPECT_FALSE(handle.IsValid());
  EXPECT_EQ(2, survivor.RefCount());
  CWeakReference copy = survivor;  // copying after the owner is gone is fine
  EXPECT_EQ(3, copy.RefCount());
  EXPECT_FALSE(copy.IsValid());
}

TEST(WeakReference, AssignmentMovesTheCountToTheNewFlagAndSelfAssignmentKeepsIt) {
  CWeakReferenceOwner first;
  CWeakReferenceOwner second;
  CWeakReference ref = first.GetRef();
  CWeakReference& alias = ref;
  ref = alias;
  EXPECT_EQ(1, ref.RefCount());
  WeakHandle handle(ref);
  WeakHandle& handle_alias = handle;
  handle = handle_alias;
  EXPECT_EQ(2, handle.RefCount());
  ref = second.GetRef();
  EXPECT_EQ(1, ref.RefCount());
  EXPECT_EQ(1, handle.RefCount());
  ref = CWeakReference();
  EXPECT_FALSE(second.HasRefs());
  EXPECT_FALSE(ref.IsValid());
}

TEST(WeakReference, ReferencesCopiedOnManyThreadsWhileTheOwnerGoes) {
  for (int round = 0; round < 20; ++round) {
    auto owner = std::make_unique<CWeakReferenceOwner>();
    const CWeakReference seed = owner->GetRef();
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    std::vector<CWeakReference> kept(4);
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&, t] {
        while (!go.load()) std::this_thread::yield();
        for (int i = 0; i < 2000; ++i) {
          CWeakReference copy(seed);
          WeakHandle handle(copy);
          kept[t] = copy;
          (void)handle.IsValid();
        }
      });
    }
    go.store(true);
    owner->Invalidate();
    owner.reset();  // the owner goes while the copies are being made
    for (auto& thread : threads) thread.join();
    for (const auto& ref : kept) {
      EXPECT_FALSE(ref.IsValid());
      EXPECT_EQ(5, ref.RefCount());  // seed plus the four kept copies
    }
  }
}

}  // namespace
