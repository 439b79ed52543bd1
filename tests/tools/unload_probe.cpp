// A plug-in that the unload test loads with dlopen: it starts the library's
// named loops with work in them, so that unloading it (and with it the
// library) shows how the singletons are torn down.
#include <OskaBase/OskaBase.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Oska::Base::CDelayTask;
using Oska::Base::CTask;

using RecordFn = void (*)(const char*);
RecordFn g_record = nullptr;
std::atomic<bool> g_slow_task_started{false};

// Held by a loop for ever; records its loop's name when the loop releases it.
class Marker : public CDelayTask {
 public:
  explicit Marker(const char* name) : name_(name) {}
  ~Marker() override { g_record(name_); }
  void Execute() override {}

 private:
  const char* name_;
};

class SlowTask : public CTask {
 public:
  void Execute() override {
    g_slow_task_started = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    g_record("notify task finished");
  }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) int oska_probe_start(RecordFn record) {
  using namespace Oska::Base;
  g_record = record;
  CMessageLoop& main_loop = CMessageLoop::Instance();
  main_loop.Start();
  main_loop.PostDelayTask(new Marker("main"));
  details::CLog::Instance();

  CMessageLoopForNotify& notify = CMessageLoopForNotify::Instance();
  CMessageLoopForCleanup& cleanup = CMessageLoopForCleanup::Instance();
  CMessageLoopForNetSDK& netsdk = CMessageLoopForNetSDK::Instance();
  if (!notify.Start() || !cleanup.Start() || !netsdk.Start()) return 1;
  notify.PostDelayTask(new Marker("notify"));
  cleanup.PostDelayTask(new Marker("cleanup"));
  netsdk.PostDelayTask(new Marker("netsdk"));
  notify.PostTask(new SlowTask());
  // Return only once the task runs, so the unload meets a task in progress.
  while (!g_slow_task_started.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return 0;
}
