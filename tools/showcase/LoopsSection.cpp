// Showcase: the message loops. Four client threads post work to the main loop
// (run by this thread) and to a work-thread loop; priority and delayed tasks
// join in; a progress line follows the work; the loops are quit; a table says
// what ran where and how fast.
#include "Section.h"

#include <TextTable.h>

#include <OskaBase/OskaBase.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Oska::Base::CDelayTask;
using Oska::Base::CMessageLoop;
using Oska::Base::CMessageLoopWorkThread;
using Oska::Base::CTask;
using Clock = std::chrono::steady_clock;

constexpr int kClients = 4;
constexpr int kTasksPerClient = 250000;

struct Tally {
  std::atomic<long> main_ran{0};
  std::atomic<long> work_ran{0};
  std::atomic<long> priority_ran{0};
  std::atomic<long> sweeps{0};
};

class Count : public CTask {
 public:
  explicit Count(std::atomic<long>& counter) : counter_(counter) {}
  void Execute() override { counter_.fetch_add(1, std::memory_order_relaxed); }

 private:
  std::atomic<long>& counter_;
};

// Reports progress from the main loop's own thread at every delayed sweep,
// until all the work has run; then it ends the main loop.
class ProgressSweep : public CDelayTask {
 public:
  ProgressSweep(Tally& tally, long total, oska_tooling::ProgressLine& line)
      : tally_(tally), total_(total), line_(line) {}
  void Execute() override {
    ++tally_.sweeps;
    const long done = tally_.main_ran.load() + tally_.work_ran.load();
    line_.Update(static_cast<double>(done), static_cast<double>(total_), "tasks");
    if (done >= total_) {
      still_delay_ = false;
      CMessageLoop::Instance().Quit();
    }
  }

 private:
  Tally& tally_;
  long total_;
  oska_tooling::ProgressLine& line_;
};

void RunLoopsTour() {
  Tally tally;
  CMessageLoop& main_loop = CMessageLoop::Instance();
  CMessageLoopWorkThread work_loop;
  main_loop.Start();
  work_loop.Start();

  const long total = 2L * kClients * kTasksPerClient;
  oska_tooling::ProgressLine line("posted work");
  main_loop.PostDelayTask(std::make_shared<ProgressSweep>(tally, total, line));

  std::printf("  %d client threads post %d tasks each to the main loop and to a work-thread loop\n",
              kClients, kTasksPerClient);
  const auto begin = Clock::now();
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&] {
      for (int i = 0; i < kTasksPerClient; ++i) {
        main_loop.PostTask(std::make_shared<Count>(tally.main_ran));
        work_loop.PostTask(std::make_shared<Count>(tally.work_ran));
        if (i % 50000 == 0) main_loop.PostPriorityTask(std::make_shared<Count>(tally.priority_ran));
      }
    });
  }
  main_loop.Run();  // this thread is the main loop's run thread until the sweep quits it
  const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
  line.Finish();
  for (auto& c : clients) c.join();
  const int work_thread = work_loop.GetRunThreadID();
  work_loop.Quit();  // everything posted before runs, then the thread is joined

  oska_tooling::Table table({"loop", "run thread", "tasks run", "tasks/s"});
  table.AddRow({"main loop (this thread)", std::to_string(main_loop.GetRunThreadID()),
                std::to_string(tally.main_ran.load()),
                oska_tooling::Fixed(tally.main_ran.load() / seconds, 0)});
  table.AddRow({"work-thread loop", std::to_string(work_thread),
                std::to_string(tally.work_ran.load()),
                oska_tooling::Fixed(tally.work_ran.load() / seconds, 0)});
  table.AddRow({"priority tasks (main loop)", "", std::to_string(tally.priority_ran.load()), ""});
  table.AddRow({"delayed sweeps (every 100 ms)", "", std::to_string(tally.sweeps.load()), ""});
  table.Print();
  std::printf("  %ld tasks in %.2f s; both loops quit after running everything posted before.\n",
              tally.main_ran.load() + tally.work_ran.load(), seconds);
}

showcase::Section loops_section(10, "Message loops", &RunLoopsTour);

}  // namespace
