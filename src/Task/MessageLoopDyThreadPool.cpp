// The dynamic thread pool: posting, the worker step, retirement and reaping,
// Start and Stop.
#include <OskaBase/ThreadPool.h>

#include "Task/DyThreadPoolState.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>
#include <thread>
#include <utility>

namespace Oska {
namespace Base {
namespace {

constexpr std::int32_t kThreadLimit = 1024;

std::int32_t Clamp(int value, std::int32_t low, std::int32_t high) {
  return static_cast<std::int32_t>(std::min<int>(std::max<int>(value, low), high));
}

std::int32_t ListSize(const CDyThreadPoolState::TaskList& list) {
  return static_cast<std::int32_t>(
      std::min<std::size_t>(list.size(), std::numeric_limits<std::int32_t>::max()));
}

// Counts the calling thread among those that may touch the pool's state for
// as long as it lives (see callers_inside_).
class CallerScope {
 public:
  explicit CallerScope(std::atomic<int>& inside) : inside_(inside) { inside_.fetch_add(1); }
  ~CallerScope() { inside_.fetch_sub(1); }
  CallerScope(const CallerScope&) = delete;
  CallerScope& operator=(const CallerScope&) = delete;

 private:
  std::atomic<int>& inside_;
};

}  // namespace

CMessageLoopDyThreadPool::CMessageLoopDyThreadPool() : state_(nullptr), callers_inside_(0) {}

CMessageLoopDyThreadPool::~CMessageLoopDyThreadPool() { CMessageLoopDyThreadPool::Stop(false); }

bool CMessageLoopDyThreadPool::Start(int minThreads, int maxThreads, int tasksPerThread) {
  if (state_.load() != nullptr) Stop(false);

  CDyThreadPoolState* state = new CDyThreadPoolState(Clamp(minThreads, 1, kThreadLimit),
                                                     Clamp(maxThreads, 1, kThreadLimit),
                                                     static_cast<std::int32_t>(tasksPerThread));
  state_.store(state);
  std::lock_guard<std::mutex> lock(state->task_mutex_);
  for (std::int32_t i = 0; i < state->min_threads_; ++i) AddThread();
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
    // Under the mutex, so a worker about to wait sees it and does not sleep.
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

  // No new caller can reach the state once state_ is empty; wait for those
  // that already hold it (a post that met stopping_, a counter read).
  state_.store(nullptr);
  while (callers_inside_.load() != 0) std::this_thread::yield();

  CDyThreadPoolState::TaskList unrun;
  unrun.swap(s->tasks_);
  delete s;
  // Released last, with the pool already unstarted: a task's destructor may
  // post to this pool, and that post is then dropped.
  unrun.clear();
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
  CallerScope inside(callers_inside_);
  CDyThreadPoolState* s = state_.load();
  if (s == nullptr || s->stopping_.load()) return;

  if (s->thread_count_.load() < s->min_threads_) {
    // Below the floor because a worker could not be created earlier.
    std::lock_guard<std::mutex> lock(s->task_mutex_);
    if (!s->stopping_.load() && s->thread_count_.load() < s->min_threads_) AddThread();
  }

  // The list node is allocated here, outside the mutex, and only linked in
  // under it.
  CDyThreadPoolState::TaskList node;
  node.push_back(std::move(task));

  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(s->task_mutex_);
    if (s->stopping_.load(std::memory_order_relaxed)) return;
    s->tasks_.splice(front ? s->tasks_.begin() : s->tasks_.end(), node);
    const std::int32_t queued = ListSize(s->tasks_);
    s->task_count_.store(queued, std::memory_order_relaxed);

    const std::int32_t threads = s->thread_count_.load();
    if (threads < s->max_threads_ &&
        static_cast<std::int64_t>(s->busy_count_.load()) + queued >
            static_cast<std::int64_t>(s->tasks_per_thread_) * threads) {
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
  CallerScope inside(callers_inside_);
  const CDyThreadPoolState* s = state_.load();
  return s == nullptr ? 0 : s->task_count_.load(std::memory_order_relaxed);
}

int CMessageLoopDyThreadPool::GetThreadNum() const {
  CallerScope inside(callers_inside_);
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
    state_.load()->thread_count_.fetch_add(1);
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
        std::lock_guard<std::mutex> gate(pool->state_.load()->task_mutex_);
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
  CDyThreadPoolState* s = state_.load();
  if (s->stopping_.load()) {
    RemoveThread(record);
    return false;
  }
  if (s->retired_count_.load() != 0) DoRemoveThread();

  CDyThreadPoolState::TaskList taken;
  {
    std::unique_lock<std::mutex> lock(s->task_mutex_);
    if (s->tasks_.empty() && !s->stopping_.load(std::memory_order_relaxed)) {
      ++s->idle_waiters_;
      bool timed_out = false;
      if (s->thread_count_.load() <= s->min_threads_) {
        s->task_cond_.wait(lock);
      } else {
        timed_out = s->task_cond_.wait_until(lock, std::chrono::system_clock::now() +
                                                       std::chrono::seconds(1)) ==
                    std::cv_status::timeout;
      }
      --s->idle_waiters_;
      if (s->wakes_pending_ > 0) --s->wakes_pending_;
      if (timed_out && s->tasks_.empty() && s->thread_count_.load() > s->min_threads_) {
        RemoveThread(record);
        return false;
      }
    }
    if (!s->tasks_.empty()) {
      taken.splice(taken.end(), s->tasks_, s->tasks_.begin());
      s->task_count_.store(ListSize(s->tasks_), std::memory_order_relaxed);
    }
  }

  if (!taken.empty() && taken.front()) {
    s->busy_count_.fetch_add(1);
    taken.front()->Execute();
    s->busy_count_.fetch_sub(1);
    if (s->done_waiters_.load() > 0) s->done_cond_.notify_one();
  }
  // The task is released here, with no lock held: its destructor may post.
  return true;
}

void CMessageLoopDyThreadPool::RemoveThread(CThreadWrap* record) {
  CDyThreadPoolState* s = state_.load();
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
  CDyThreadPoolState* s = state_.load();
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
