// The dynamic thread pool: posting, the worker step, retirement and reaping,
// Start and Stop.
#include <OskaBase/ThreadPool.h>

#include "Task/DyThreadPoolState.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>
#include <utility>

namespace Oska {
namespace Base {
namespace {

constexpr std::int32_t kThreadLimit = 1024;

std::int32_t Clamp(int value, std::int32_t low, std::int32_t high) {
  return static_cast<std::int32_t>(std::min<int>(std::max<int>(value, low), high));
}

std::int32_t SizeOf(const CDyThreadPoolState::TaskList& list) {
  return static_cast<std::int32_t>(
      std::min<std::size_t>(list.size(), std::numeric_limits<std::int32_t>::max()));
}

// A hint to the processor; does nothing where the compiler offers none.
inline void PrefetchForWrite(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(address, 1);
#else
  (void)address;
#endif
}

}  // namespace

CMessageLoopDyThreadPool::CMessageLoopDyThreadPool() : state_(nullptr), storage_(nullptr) {}

CMessageLoopDyThreadPool::~CMessageLoopDyThreadPool() {
  CMessageLoopDyThreadPool::Stop(false);
  delete storage_;
}

bool CMessageLoopDyThreadPool::Start(int minThreads, int maxThreads, int tasksPerThread) {
  if (state_.load() != nullptr) Stop(false);
  if (storage_ == nullptr) storage_ = new CDyThreadPoolState();

  CDyThreadPoolState* s = storage_;
  std::lock_guard<std::mutex> lock(s->task_mutex_);
  // Everything else is already back at its initial value: Stop() joined every
  // worker, reaped every record and emptied the list.
  s->min_threads_.store(Clamp(minThreads, 1, kThreadLimit), std::memory_order_relaxed);
  s->max_threads_.store(Clamp(maxThreads, 1, kThreadLimit), std::memory_order_relaxed);
  s->tasks_per_thread_.store(static_cast<std::int32_t>(tasksPerThread), std::memory_order_relaxed);
  s->stopping_.store(false);
  state_.store(s);
  const std::int32_t floor = s->min_threads_.load(std::memory_order_relaxed);
  for (std::int32_t i = 0; i < floor; ++i) AddThread();
  return true;
}

void CMessageLoopDyThreadPool::Stop(bool waitForQueue) {
  CDyThreadPoolState* s = state_.load();
  if (s == nullptr) return;

  if (waitForQueue) {
    std::unique_lock<std::mutex> lock(s->task_mutex_);
    s->done_waiters_.fetch_add(1);
    while (!s->tasks_.empty()) {
      if (s->thread_count_.load() > 0) {
        s->done_cond_.wait(lock);
        continue;
      }
      // Every worker failed to start: keep trying, as posts do, rather than
      // wait for a worker that will never come.
      AddThread();
      if (s->thread_count_.load() == 0) s->done_cond_.wait_for(lock, std::chrono::milliseconds(10));
    }
    s->done_waiters_.fetch_sub(1);
  }

  {
    // Under the mutex: a worker about to wait, or a post about to queue,
    // sees it.
    std::lock_guard<std::mutex> lock(s->task_mutex_);
    s->stopping_.store(true);
  }
  s->task_cond_.notify_all();

  while (s->thread_count_.load() > 0) {
    s->task_cond_.notify_all();
    std::unique_lock<std::mutex> lock(s->task_mutex_);
    s->done_waiters_.fetch_add(1);
    s->done_cond_.wait_for(lock, std::chrono::microseconds(100));
    s->done_waiters_.fetch_sub(1);
  }
  DoRemoveThread();
  state_.store(nullptr);

  // Queued tasks are released one at a time with no lock held: a task's
  // destructor may post to this pool, and that post is dropped.
  for (;;) {
    std::shared_ptr<CTask> unrun;
    {
      std::lock_guard<std::mutex> lock(s->task_mutex_);
      if (s->tasks_.empty()) break;
      unrun = std::move(s->tasks_.front());
      s->tasks_.pop_front();
      s->task_count_.store(SizeOf(s->tasks_), std::memory_order_relaxed);
    }
  }
  CTaskNodePool::Slab* unused_slabs = nullptr;
  {
    std::lock_guard<std::mutex> lock(s->task_mutex_);
    unused_slabs = s->node_pool_.TakeEmptySlabs(CDyThreadPoolState::kKeptSlabs);
  }
  CTaskNodePool::FreeSlabs(unused_slabs);
}

void CMessageLoopDyThreadPool::PostTask(CTask* task) { Post(std::shared_ptr<CTask>(task), false); }

void CMessageLoopDyThreadPool::PostTask(std::shared_ptr<CTask> task) { Post(std::move(task), false); }

void CMessageLoopDyThreadPool::PostPriorityTask(CTask* task) {
  Post(std::shared_ptr<CTask>(task), true);
}

void CMessageLoopDyThreadPool::PostPriorityTask(std::shared_ptr<CTask> task) {
  Post(std::move(task), true);
}

void CMessageLoopDyThreadPool::Post(std::shared_ptr<CTask> task, bool front) {
  CDyThreadPoolState* s = state_.load(std::memory_order_acquire);
  if (s == nullptr || s->stopping_.load(std::memory_order_relaxed)) return;

  if (s->thread_count_.load(std::memory_order_relaxed) <
      s->min_threads_.load(std::memory_order_relaxed)) {
    // Below the floor because a worker could not be created earlier.
    std::lock_guard<std::mutex> lock(s->task_mutex_);
    if (!s->stopping_.load() &&
        s->thread_count_.load() < s->min_threads_.load(std::memory_order_relaxed)) {
      AddThread();
    }
  }

  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(s->task_mutex_);
    if (s->stopping_.load(std::memory_order_relaxed)) return;
    // On std::bad_alloc the lock is released and the task with it.
    if (front) {
      s->tasks_.push_front(std::move(task));
    } else {
      s->tasks_.push_back(std::move(task));
    }
    const std::int32_t queued = SizeOf(s->tasks_);
    s->task_count_.store(queued, std::memory_order_relaxed);

    // The growth rule, in signed arithmetic; the product cannot overflow.
    const std::int32_t threads = s->thread_count_.load(std::memory_order_relaxed);
    if (threads < s->max_threads_.load(std::memory_order_relaxed) &&
        static_cast<std::int64_t>(s->busy_count_.load(std::memory_order_relaxed)) + queued >
            static_cast<std::int64_t>(s->tasks_per_thread_.load(std::memory_order_relaxed)) *
                threads) {
      AddThread();
    }
    if (s->idle_waiters_ > s->wakes_pending_) {
      ++s->wakes_pending_;
      wake = true;
    }
  }
  if (wake) s->task_cond_.notify_one();
}

int CMessageLoopDyThreadPool::GetWorkTaskCount() const {
  const CDyThreadPoolState* s = state_.load();
  return s == nullptr ? 0 : s->task_count_.load(std::memory_order_relaxed);
}

int CMessageLoopDyThreadPool::GetThreadNum() const {
  const CDyThreadPoolState* s = state_.load();
  return s == nullptr ? 0 : s->thread_count_.load();
}

void CMessageLoopDyThreadPool::AddThread() {
  CThreadWrap* record = nullptr;
  try {
    record = new CThreadWrap(this);
  } catch (...) {
    return;
  }
  if (StartWorker(record)) {
    storage_->thread_count_.fetch_add(1);
  } else {
    delete record;
  }
}

bool CMessageLoopDyThreadPool::StartWorker(CThreadWrap* record) {
  try {
    boost::thread thread([record] {
      CMessageLoopDyThreadPool* pool = record->pool_;
      {
        // The creator holds task_mutex_ until the record is complete and the
        // worker counted.
        std::lock_guard<std::mutex> gate(pool->storage_->task_mutex_);
      }
      while (pool->RunTask(record)) {
      }
    });
    record->thread_ = std::move(thread);
  } catch (...) {
    return false;
  }
  return record->thread_.joinable();
}

bool CMessageLoopDyThreadPool::RunTask(CThreadWrap* record) {
  CDyThreadPoolState* s = storage_;
  if (s->stopping_.load()) {
    if (record->busy_) {
      std::lock_guard<std::mutex> lock(s->task_mutex_);
      record->busy_ = false;
      s->busy_count_.store(s->busy_count_.load(std::memory_order_relaxed) - 1,
                           std::memory_order_relaxed);
    }
    RemoveThread(record);
    return false;
  }
  if (s->retired_count_.load(std::memory_order_relaxed) != 0) DoRemoveThread();

  std::shared_ptr<CTask> task;
  CTaskNodePool::Slab* unused_slabs = nullptr;  // freed after the lock
  bool took = false;
  {
    std::unique_lock<std::mutex> lock(s->task_mutex_);
    if (record->busy_) {
      // The task of the previous step has finished.
      record->busy_ = false;
      s->busy_count_.store(s->busy_count_.load(std::memory_order_relaxed) - 1,
                           std::memory_order_relaxed);
    }
    if (s->tasks_.empty() && !s->stopping_.load(std::memory_order_relaxed)) {
      const std::int32_t floor = s->min_threads_.load(std::memory_order_relaxed);
      ++s->idle_waiters_;
      bool timed_out = false;
      if (s->thread_count_.load() <= floor) {
        s->task_cond_.wait(lock);
      } else {
        timed_out = s->task_cond_.wait_until(lock, std::chrono::system_clock::now() +
                                                       std::chrono::seconds(1)) ==
                    std::cv_status::timeout;
      }
      --s->idle_waiters_;
      if (s->wakes_pending_ > 0) --s->wakes_pending_;
      if (timed_out && s->tasks_.empty() && s->thread_count_.load() > floor) {
        RemoveThread(record);
        return false;
      }
    }
    if (!s->tasks_.empty()) {
      took = true;
      task = std::move(s->tasks_.front());
      s->tasks_.pop_front();
      if (task) {
        record->busy_ = true;
        s->busy_count_.store(s->busy_count_.load(std::memory_order_relaxed) + 1,
                             std::memory_order_relaxed);
      }
      s->task_count_.store(SizeOf(s->tasks_), std::memory_order_relaxed);
      if (!s->tasks_.empty()) {
        // A long queue lives in memory no cache holds any more: start
        // fetching the next node now, so the next step does not wait for it
        // with the mutex held.
        PrefetchForWrite(&s->tasks_.front());
      } else if (s->node_pool_.SlabCount() > CDyThreadPoolState::kKeptSlabs) {
        unused_slabs = s->node_pool_.TakeEmptySlabs(CDyThreadPoolState::kKeptSlabs);
      }
    }
  }
  CTaskNodePool::FreeSlabs(unused_slabs);

  // Stop(true) waits for the list to empty: tell it a task was taken.
  if (took && s->done_waiters_.load() > 0) s->done_cond_.notify_one();
  if (task) {
    task->Execute();
    if (s->done_waiters_.load() > 0) s->done_cond_.notify_one();
  }
  // The task is released here, with no lock held: its destructor may post.
  return true;
}

void CMessageLoopDyThreadPool::RemoveThread(CThreadWrap* record) {
  CDyThreadPoolState* s = storage_;
  // Listed before it is uncounted: once Stop() sees no worker counted, every
  // worker is listed and its join waits for the rest of this function.
  {
    std::lock_guard<std::mutex> lock(s->retired_mutex_);
    s->retired_threads_.splice(s->retired_threads_.end(), record->retire_node_);
    s->retired_count_.store(static_cast<std::int32_t>(s->retired_threads_.size()));
  }
  s->thread_count_.fetch_sub(1);
  s->done_cond_.notify_one();
}

void CMessageLoopDyThreadPool::DoRemoveThread() {
  CDyThreadPoolState* s = storage_;
  for (;;) {
    std::list<CThreadWrap*> entry;
    {
      std::lock_guard<std::mutex> lock(s->retired_mutex_);
      if (s->retired_threads_.empty()) return;
      entry.splice(entry.end(), s->retired_threads_, s->retired_threads_.begin());
      s->retired_count_.store(static_cast<std::int32_t>(s->retired_threads_.size()));
    }
    CThreadWrap* record = entry.front();
    if (record->thread_.joinable()) record->thread_.join();
    delete record;
  }
}

}  // namespace Base
}  // namespace Oska
