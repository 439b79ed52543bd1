// The loop core: posting, the run loop, quit and stop.
#include <OskaBase/MessageLoop.h>

#include "Task/MessageLoopQueues.h"

#include <windows.h>

#include <chrono>
#include <utility>

namespace Oska {
namespace Base {
namespace {

std::int64_t SteadyNowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Decrements a counter when the scope ends, also when a task throws, so the
// counters stay true to the queues.
class CountDown {
 public:
  explicit CountDown(std::atomic<std::uint32_t>& counter) : counter_(counter) {}
  ~CountDown() { counter_.fetch_sub(1); }
  CountDown(const CountDown&) = delete;
  CountDown& operator=(const CountDown&) = delete;

 private:
  std::atomic<std::uint32_t>& counter_;
};

// Releases the tasks of a queue after the queue's mutex is let go: a task's
// destructor may post (and be refused), which must not happen under the lock.
template <class Queue>
void ReleaseOutsideLock(Queue& queue, std::mutex& mutex) {
  Queue doomed;
  {
    std::lock_guard<std::mutex> lock(mutex);
    doomed.swap(queue);
  }
}

// Queues `task` unless it is empty or the loop is not running. `size`, when
// given, mirrors the queue's length for lock-free readers.
template <class Queue, class Task>
bool Enqueue(const std::atomic<bool>& quit, Queue& queue, std::mutex& mutex, Task task,
             std::atomic<std::uint32_t>* size) {
  if (!task || quit.load()) return false;
  try {
    std::lock_guard<std::mutex> lock(mutex);
    queue.push_back(std::move(task));
    if (size != nullptr) size->store(static_cast<std::uint32_t>(queue.size()));
  } catch (const std::bad_alloc&) {
    return false;  // the task is released with the argument
  }
  return true;
}

}  // namespace

CMessageLoopBase::CMessageLoopBase()
    : quit_(true), interval_ms_(100), queues_(new CMessageLoopQueues()) {}

CMessageLoopBase::~CMessageLoopBase() = default;

bool CMessageLoopBase::PostTask(CTask* task) {
  return PostTask(std::shared_ptr<CTask>(task));
}

bool CMessageLoopBase::PostPriorityTask(CTask* task) {
  return PostPriorityTask(std::shared_ptr<CTask>(task));
}

bool CMessageLoopBase::PostDelayTask(CDelayTask* task) {
  return PostDelayTask(std::shared_ptr<CDelayTask>(task));
}

bool CMessageLoopBase::PostTask(std::shared_ptr<CTask> task) {
  CMessageLoopQueues& q = *queues_;
  if (!Enqueue(quit_, q.work_queue_, q.queue_mutex_, std::move(task), nullptr)) return false;
  q.NoteIncoming();
  q.WakeIfSleeping();
  return true;
}

bool CMessageLoopBase::PostPriorityTask(std::shared_ptr<CTask> task) {
  CMessageLoopQueues& q = *queues_;
  if (!Enqueue(quit_, q.priority_queue_, q.priority_mutex_, std::move(task), &q.priority_size_)) return false;
  q.NoteIncoming();
  q.WakeIfSleeping();
  return true;
}

// Delayed posts wake nobody: the task waits for the next sweep anyway.
bool CMessageLoopBase::PostDelayTask(std::shared_ptr<CDelayTask> task) {
  CMessageLoopQueues& q = *queues_;
  return Enqueue(quit_, q.delay_queue_, q.queue_mutex_, std::move(task), nullptr);
}

void CMessageLoopBase::Quit() {
  if (quit_.load()) return;

  // Travels through the ordinary queue, so everything posted before it runs
  // first.
  class QuitTask : public CTask {
   public:
    explicit QuitTask(CMessageLoopBase* loop) : loop_(loop) {}
    void Execute() override { loop_->quit_.store(true); }

   private:
    CMessageLoopBase* loop_;
  };
  PostTask(std::make_shared<QuitTask>(this));
}

void CMessageLoopBase::Stop() {
  quit_.store(true);
  if (queues_) {
    queues_->run_thread_id_.store(0);
    queues_->Wake();
  }
}

void CMessageLoopBase::WakeRunThread() {
  if (queues_) queues_->Wake();
}

int CMessageLoopBase::GetRunThreadID() {
  return queues_ ? static_cast<int>(queues_->run_thread_id_.load()) : 0;
}

unsigned long CMessageLoopBase::ThreadID() { return 0; }

int CMessageLoopBase::GetWorkTaskCount() const {
  CMessageLoopQueues& q = *queues_;
  std::lock_guard<std::mutex> lock(q.queue_mutex_);
  return static_cast<int>(q.work_queue_.size() + q.run_work_count_.load());
}

int CMessageLoopBase::GetWorkDelayTaskCount() const {
  CMessageLoopQueues& q = *queues_;
  std::lock_guard<std::mutex> lock(q.queue_mutex_);
  return static_cast<int>(q.delay_queue_.size() + q.run_delay_count_.load());
}

int CMessageLoopBase::GetPriorityTaskCount() const {
  CMessageLoopQueues& q = *queues_;
  std::lock_guard<std::mutex> lock(q.priority_mutex_);
  return static_cast<int>(q.priority_queue_.size());
}

void CMessageLoopBase::ReloadWorkQueue() {
  CMessageLoopQueues& q = *queues_;
  std::lock_guard<std::mutex> lock(q.queue_mutex_);
  q.ClearIncomingHint();
  if (!q.work_queue_.empty()) {
    if (q.run_work_queue_.empty()) {
      q.run_work_queue_.swap(q.work_queue_);
    } else {
      // Only after a task threw out of Run(): the rest of that batch goes
      // first, so posting order holds across the restart.
      for (auto& task : q.work_queue_) q.run_work_queue_.push_back(std::move(task));
      q.work_queue_.clear();
    }
    q.run_work_count_.store(static_cast<std::uint32_t>(q.run_work_queue_.size()));
  }
  while (!q.delay_queue_.empty()) {
    q.run_delay_queue_.push_back(std::move(q.delay_queue_.front()));
    q.delay_queue_.pop_front();
    q.run_delay_count_.store(static_cast<std::uint32_t>(q.run_delay_queue_.size()));
  }
}

void CMessageLoopBase::ProcessPriorityQue() {
  CMessageLoopQueues& q = *queues_;
  if (q.priority_size_.load(std::memory_order_acquire) == 0) return;
  std::unique_lock<std::mutex> lock(q.priority_mutex_);
  while (!q.priority_queue_.empty()) {
    std::shared_ptr<CTask> task = std::move(q.priority_queue_.front());
    q.priority_queue_.pop_front();
    q.priority_size_.store(static_cast<std::uint32_t>(q.priority_queue_.size()));
    lock.unlock();
    task->Execute();
    // Released before relocking: a task's destructor may post.
    task.reset();
    if (quit_.load()) return;
    lock.lock();
  }
}

void CMessageLoopBase::Run() {
  CMessageLoopQueues& q = *queues_;
  q.run_thread_id_.store(static_cast<std::uint32_t>(GetCurrentThreadId()));
  std::unique_lock<std::mutex> wait_lock(wait_mutex_);

  while (!quit_.load()) {
    ReloadWorkQueue();
    if (q.run_work_queue_.empty()) {
      q.SleepUnlessWork(wait_lock, std::chrono::milliseconds(interval_ms_), quit_);
    }
    ProcessPriorityQue();

    // The batch: not reloaded until it is done.
    while (!q.run_work_queue_.empty()) {
      ProcessPriorityQue();
      std::shared_ptr<CTask> task = std::move(q.run_work_queue_.front());
      q.run_work_queue_.pop_front();
      {
        CountDown finished(q.run_work_count_);
        task->Execute();
      }
      task.reset();
      if (quit_.load()) break;
    }

    // The delayed-task sweep, at most once per interval.
    const std::int64_t now = SteadyNowMs();
    if (now - q.last_sweep_ms_ < static_cast<std::int64_t>(interval_ms_)) continue;
    const std::size_t held = q.run_delay_queue_.size();
    for (std::size_t i = 0; i < held; ++i) {
      ProcessPriorityQue();
      std::shared_ptr<CDelayTask> task = q.run_delay_queue_.front();
      task->Execute();
      if (task->IsStillDelay()) {
        q.run_delay_queue_.push_back(task);
        q.run_delay_queue_.pop_front();
      } else {
        q.run_delay_queue_.pop_front();
        q.run_delay_count_.fetch_sub(1);
      }
      task.reset();
      if (quit_.load()) break;
    }
    q.last_sweep_ms_ = now;
  }

  // Drain without executing anything, still holding wait_mutex_.
  {
    CMessageLoopQueues::TaskQueue doomed;
    {
      std::lock_guard<std::mutex> lock(q.priority_mutex_);
      doomed.swap(q.priority_queue_);
      q.priority_size_.store(0);
    }
  }
  while (!q.run_work_queue_.empty()) {
    q.run_work_queue_.pop_front();
    q.run_work_count_.fetch_sub(1);
  }
  while (!q.run_delay_queue_.empty()) {
    q.run_delay_queue_.pop_front();
    q.run_delay_count_.fetch_sub(1);
  }
  ReleaseOutsideLock(q.work_queue_, q.queue_mutex_);
  ReleaseOutsideLock(q.delay_queue_, q.queue_mutex_);
}

}  // namespace Base
}  // namespace Oska
