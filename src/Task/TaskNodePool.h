// Memory for the nodes of a pool's task list. Posting allocates one list node
// per task and a worker frees it, usually on another thread; the general
// allocator makes that round trip cost more than the rest of a post. This
// pool carves nodes from 16 KiB slabs and recycles them in place.
//
// Threads: not synchronised. Every allocation and release happens under the
// owning pool's task_mutex_ (the task list is only ever changed under it).
//
// Memory: a slab goes back to the system when TakeEmptySlabs() finds it with
// no node in use, beyond the few kept for the next burst; the thread pool
// calls it whenever its list has just emptied. The destructor frees every
// slab; by then no node may be in use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

namespace Oska {
namespace Base {

class CTaskNodePool {
 public:
  static constexpr std::size_t kBlockSize = 32;
  static constexpr std::size_t kSlabBytes = 16384;

  struct Slab;

  CTaskNodePool() = default;
  ~CTaskNodePool() { FreeSlabs(TakeEmptySlabs(0)); }
  CTaskNodePool(const CTaskNodePool&) = delete;
  CTaskNodePool& operator=(const CTaskNodePool&) = delete;

  // A block of kBlockSize bytes, aligned for any scalar type. Throws
  // std::bad_alloc when a new slab is needed and memory has run out.
  void* Allocate();
  void Release(void* block);

  // Unlinks the slabs with no block in use, beyond `keep` of them, and returns
  // them as a chain for FreeSlabs(), to be called without the lock held.
  Slab* TakeEmptySlabs(std::size_t keep);
  static void FreeSlabs(Slab* chain);

  std::size_t SlabCount() const { return slab_count_; }

 private:
  void LinkAvailable(Slab* slab);
  void UnlinkAvailable(Slab* slab);

  Slab* all_ = nullptr;        // every slab, through Slab::next
  Slab* available_ = nullptr;  // slabs with a free or uncarved block, through next_available
  std::size_t slab_count_ = 0;
};

// An allocator over a CTaskNodePool for std::list: single nodes that fit a
// block come from the pool, anything else from the general allocator.
template <class T>
class CTaskNodeAllocator {
 public:
  using value_type = T;

  explicit CTaskNodeAllocator(CTaskNodePool* pool) : pool_(pool) {}
  template <class U>
  CTaskNodeAllocator(const CTaskNodeAllocator<U>& other) : pool_(other.pool()) {}

  T* allocate(std::size_t n) {
    if (FromPool(n)) return static_cast<T*>(pool_->Allocate());
    return static_cast<T*>(::operator new(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t n) {
    if (FromPool(n)) {
      pool_->Release(p);
    } else {
      ::operator delete(p);
    }
  }

  CTaskNodePool* pool() const { return pool_; }
  template <class U>
  bool operator==(const CTaskNodeAllocator<U>& other) const { return pool_ == other.pool(); }
  template <class U>
  bool operator!=(const CTaskNodeAllocator<U>& other) const { return pool_ != other.pool(); }

 private:
  static bool FromPool(std::size_t n) {
    return n == 1 && sizeof(T) <= CTaskNodePool::kBlockSize &&
           alignof(T) <= alignof(std::max_align_t);
  }

  CTaskNodePool* pool_;
};

}  // namespace Base
}  // namespace Oska
