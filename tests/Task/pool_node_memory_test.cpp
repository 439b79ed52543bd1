// The slab memory behind the pool's task list.
#include "Task/TaskNodePool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <list>
#include <memory>
#include <set>
#include <vector>

namespace {

using Oska::Base::CTaskNodeAllocator;
using Oska::Base::CTaskNodePool;

TEST(TaskNodePool, BlocksAreDistinctAlignedAndWritable) {
  CTaskNodePool pool;
  std::vector<void*> blocks;
  std::set<void*> seen;
  for (int i = 0; i < 3000; ++i) {  // several slabs
    void* block = pool.Allocate();
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t), 0u);
    ASSERT_TRUE(seen.insert(block).second);
    std::memset(block, i & 0xff, CTaskNodePool::kBlockSize);
    blocks.push_back(block);
  }
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const auto* bytes = static_cast<const unsigned char*>(blocks[i]);
    ASSERT_EQ(bytes[0], i & 0xff);
    ASSERT_EQ(bytes[CTaskNodePool::kBlockSize - 1], i & 0xff);
  }
  EXPECT_GE(pool.SlabCount(), 6u);
  for (void* block : blocks) pool.Release(block);
}

TEST(TaskNodePool, ReleasedBlocksAreReusedBeforeNewSlabs) {
  CTaskNodePool pool;
  void* first = pool.Allocate();
  pool.Release(first);
  EXPECT_EQ(pool.Allocate(), first);
  pool.Release(first);
  EXPECT_EQ(pool.SlabCount(), 1u);
}

TEST(TaskNodePool, OnlyEmptySlabsBeyondTheKeptOnesAreReturned) {
  CTaskNodePool pool;
  std::vector<void*> blocks;
  for (int i = 0; i < 5000; ++i) blocks.push_back(pool.Allocate());
  const std::size_t slabs = pool.SlabCount();
  ASSERT_GE(slabs, 10u);

  // Nothing is empty while every block is in use.
  EXPECT_EQ(pool.TakeEmptySlabs(0), nullptr);
  // Keep the oldest block in use; release the rest.
  for (std::size_t i = 1; i < blocks.size(); ++i) pool.Release(blocks[i]);
  CTaskNodePool::FreeSlabs(pool.TakeEmptySlabs(2));
  EXPECT_EQ(pool.SlabCount(), 3u);  // two kept empty, one still in use

  // The pool still serves after the trim, and the live block is untouched.
  std::memset(blocks[0], 0x5a, CTaskNodePool::kBlockSize);
  std::vector<void*> again;
  for (int i = 0; i < 2000; ++i) again.push_back(pool.Allocate());
  EXPECT_EQ(static_cast<unsigned char*>(blocks[0])[7], 0x5a);
  for (void* block : again) pool.Release(block);
  pool.Release(blocks[0]);
}

TEST(TaskNodePool, ServesAStdListAndTakesOtherSizesFromTheHeap) {
  CTaskNodePool pool;
  {
    using Alloc = CTaskNodeAllocator<std::shared_ptr<int>>;
    std::list<std::shared_ptr<int>, Alloc> list{Alloc(&pool)};
    for (int i = 0; i < 1500; ++i) list.push_back(std::make_shared<int>(i));
    std::list<std::shared_ptr<int>, Alloc> other{Alloc(&pool)};
    other.splice(other.end(), list, list.begin());
    EXPECT_EQ(*other.front(), 0);
    EXPECT_EQ(list.size(), 1499u);

    // Arrays and big types bypass the slabs.
    CTaskNodeAllocator<char> bytes(&pool);
    char* many = bytes.allocate(100);
    many[99] = 1;
    bytes.deallocate(many, 100);
  }
  CTaskNodePool::FreeSlabs(pool.TakeEmptySlabs(0));
  EXPECT_EQ(pool.SlabCount(), 0u);
}

}  // namespace
