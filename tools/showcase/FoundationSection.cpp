// Foundation: a worker thread that ticks on a fixed interval, one of its
// pauses cut short with WakeupOnce, and a long sleep on a CInterrupted that
// the worker ends early; then an error record passed up through three layers,
// each adding its codes to the cascading text.
#include "Section.h"

#include <OskaBase/OskaBase.h>

#include "TextTable.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Oska::Base::CInterrupted;
using Oska::Base::CSingleBaseThread;
using Oska::Base::Error;
using Clock = std::chrono::steady_clock;

constexpr int kIntervalMs = 250;
constexpr int kTicks = 6;

double MillisSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Ticks every kIntervalMs; on its last tick it wakes whoever sleeps on
// `finished` and ends itself.
class Heartbeat : public CSingleBaseThread {
 public:
  Heartbeat(Clock::time_point start, CInterrupted* finished) : start_(start), finished_(finished) {}
  ~Heartbeat() { EndThread(); }

  bool RunOnce() override {
    const double at = MillisSince(start_);
    ticks_.push_back(at);
    std::printf("  tick %zu at %7.1f ms\n", ticks_.size(), at);
    std::fflush(stdout);
    if (static_cast<int>(ticks_.size()) < kTicks) return true;
    finished_->Wakeup();
    return false;
  }

  // Read after EndThread() only: the join orders the worker's writes first.
  const std::vector<double>& ticks() const { return ticks_; }

 private:
  const Clock::time_point start_;
  CInterrupted* const finished_;
  std::vector<double> ticks_;
};

void ShowWorkerAndEvent(oska_tooling::Table& table) {
  std::printf("A worker ticks every %d ms. The owner cuts the second pause short with\n"
              "WakeupOnce(), then sleeps on a CInterrupted for up to 10 s; the worker's\n"
              "last tick wakes it.\n",
              kIntervalMs);
  CInterrupted finished;
  const Clock::time_point start = Clock::now();
  Heartbeat heartbeat(start, &finished);
  heartbeat.BeginThread(kIntervalMs);

  std::this_thread::sleep_for(std::chrono::milliseconds(kIntervalMs + kIntervalMs / 3));
  heartbeat.WakeupOnce();
  const double woke_at = MillisSince(start);

  const bool interrupted = finished.TimedWait(10000);
  const double slept_until = MillisSince(start);
  heartbeat.EndThread();
  std::printf("  WakeupOnce() sent at %.1f ms; the 10 s sleep ended at %.1f ms (%s)\n", woke_at,
              slept_until, interrupted ? "interrupted" : "timed out");

  double previous = 0;
  int index = 0;
  for (double at : heartbeat.ticks()) {
    const double gap = at - previous;
    const char* cause = index == 0 ? "BeginThread" : (gap < kIntervalMs * 0.8 ? "WakeupOnce" : "interval");
    table.AddRow({"tick " + std::to_string(++index), oska_tooling::Fixed(at, 1) + " ms",
                  index == 1 ? "-" : oska_tooling::Fixed(gap, 1) + " ms", cause});
    previous = at;
  }
  table.AddRow({"sleep on CInterrupted", oska_tooling::Fixed(slept_until, 1) + " ms", "of 10000 ms",
                interrupted ? "Wakeup by the last tick" : "timed out"});
}

// Three layers of a pretend storage stack. Each reads the record left by the
// layer below it on this thread, adds its own codes to the chain and stores
// its own record.
void DiskLayer() { Error::SetLastError(Error::ErrorCode(1, 112, 5)); }

void FileLayer() {
  Error::ErrorCode below = Error::GetLastError();
  const std::string chain = Error::MakeCascadingErrorStr(below.primaryCode, below.secondaryCode);
  Error::SetLastError(Error::ErrorCode(2, 29, 3, chain));
}

void ArchiveLayer() {
  Error::ErrorCode below = Error::GetLastError();
  const std::string chain = below.GetCasadingErrorInfo() +
                            Error::MakeCascadingErrorStr(below.primaryCode, below.secondaryCode);
  Error::SetLastError(Error::ErrorCode(3, 7, 1, chain));
}

void AddRecord(oska_tooling::Table& table, const char* who, Error::ErrorCode code) {
  table.AddRow({who, std::to_string(code.GetSubSystemErrorCode()),
                "(" + std::to_string(code.primaryCode) + ", " + std::to_string(code.secondaryCode) + ")",
                code.GetCasadingErrorInfo().empty() ? "-" : code.GetCasadingErrorInfo()});
}

void ShowErrorCascade() {
  std::printf("\nAn error passed up three layers on one thread, each adding to the chain;\n"
              "the main thread's own last error stays untouched.\n");
  oska_tooling::Table table({"layer (thread)", "sub-system", "codes", "cascading info"});
  std::thread worker([&table] {
    DiskLayer();
    AddRecord(table, "disk (worker)", Error::GetLastError());
    FileLayer();
    AddRecord(table, "file (worker)", Error::GetLastError());
    ArchiveLayer();
    AddRecord(table, "archive (worker)", Error::GetLastError());
  });
  worker.join();
  AddRecord(table, "nothing stored (main)", Error::GetLastError());
  table.Print();
}

void RunFoundationTour() {
  oska_tooling::Table ticks({"event", "at", "since previous", "woken by"});
  ShowWorkerAndEvent(ticks);
  ticks.Print();
  ShowErrorCascade();
}

showcase::Section foundation_section(35, "Foundation: worker thread, event and error records",
                                     &RunFoundationTour);

}  // namespace
