// Slabs of task-list nodes: carving, recycling and returning them.
#include "Task/TaskNodePool.h"

#include <algorithm>

namespace Oska {
namespace Base {
namespace {

struct FreeBlock {
  FreeBlock* next;
};

}  // namespace

// The header at the start of every slab; the slab is aligned to its own size,
// so a block finds its slab by masking its address.
struct CTaskNodePool::Slab {
  Slab* next = nullptr;
  Slab* prev = nullptr;
  Slab* next_available = nullptr;
  Slab* prev_available = nullptr;
  FreeBlock* free = nullptr;  // released blocks
  std::uint32_t carved = 0;   // blocks handed out at least once
  std::uint32_t live = 0;     // blocks in use
  bool is_available = false;

  // The header's room, a multiple of every block's alignment.
  static constexpr std::size_t kFirstBlock = 64;
  static constexpr std::uint32_t kBlocks =
      static_cast<std::uint32_t>((kSlabBytes - kFirstBlock) / kBlockSize);

  unsigned char* Block(std::uint32_t i) {
    return reinterpret_cast<unsigned char*>(this) + kFirstBlock + i * kBlockSize;
  }
  bool Full() const { return free == nullptr && carved == kBlocks; }
};

static_assert(sizeof(CTaskNodePool::Slab) <= CTaskNodePool::Slab::kFirstBlock,
              "slab header overlaps the first block");
static_assert(CTaskNodePool::Slab::kFirstBlock % alignof(std::max_align_t) == 0 &&
                  CTaskNodePool::kBlockSize % alignof(std::max_align_t) == 0,
              "blocks would lose their alignment");

void CTaskNodePool::LinkAvailable(Slab* slab) {
  slab->is_available = true;
  slab->prev_available = nullptr;
  slab->next_available = available_;
  if (available_ != nullptr) available_->prev_available = slab;
  available_ = slab;
}

void CTaskNodePool::UnlinkAvailable(Slab* slab) {
  slab->is_available = false;
  if (slab->prev_available != nullptr) {
    slab->prev_available->next_available = slab->next_available;
  } else {
    available_ = slab->next_available;
  }
  if (slab->next_available != nullptr) slab->next_available->prev_available = slab->prev_available;
  slab->next_available = slab->prev_available = nullptr;
}

void* CTaskNodePool::Allocate() {
  Slab* slab = available_;
  if (slab == nullptr) {
    void* memory = ::operator new(kSlabBytes, std::align_val_t(kSlabBytes));
    slab = new (memory) Slab();
    slab->next = all_;
    if (all_ != nullptr) all_->prev = slab;
    all_ = slab;
    ++slab_count_;
    LinkAvailable(slab);
  }
  void* block;
  if (slab->free != nullptr) {
    block = slab->free;
    slab->free = slab->free->next;
  } else {
    block = slab->Block(slab->carved++);
  }
  ++slab->live;
  if (slab->Full()) UnlinkAvailable(slab);
  return block;
}

void CTaskNodePool::Release(void* block) {
  Slab* slab = reinterpret_cast<Slab*>(reinterpret_cast<std::uintptr_t>(block) &
                                       ~static_cast<std::uintptr_t>(kSlabBytes - 1));
  FreeBlock* freed = static_cast<FreeBlock*>(block);
  freed->next = slab->free;
  slab->free = freed;
  --slab->live;
  if (!slab->is_available) LinkAvailable(slab);
}

CTaskNodePool::Slab* CTaskNodePool::TakeEmptySlabs(std::size_t keep) {
  Slab* doomed = nullptr;
  std::size_t kept = 0;
  for (Slab* slab = all_; slab != nullptr;) {
    Slab* next = slab->next;
    if (slab->live == 0 && kept++ >= keep) {
      if (slab->is_available) UnlinkAvailable(slab);
      if (slab->prev != nullptr) {
        slab->prev->next = slab->next;
      } else {
        all_ = slab->next;
      }
      if (slab->next != nullptr) slab->next->prev = slab->prev;
      --slab_count_;
      slab->next = doomed;
      doomed = slab;
    }
    slab = next;
  }
  return doomed;
}

void CTaskNodePool::FreeSlabs(Slab* chain) {
  while (chain != nullptr) {
    Slab* next = chain->next;
    chain->~Slab();
    ::operator delete(static_cast<void*>(chain), std::align_val_t(kSlabBytes));
    chain = next;
  }
}

}  // namespace Base
}  // namespace Oska
