// Loading and unloading the library with running named loops: at unload the
// singletons go in reverse order of construction (NetSDK, Cleanup, Notify,
// then the main loop), a running loop finishes its task and is joined, and no
// thread of the library survives. This binary does not link the library; it
// reaches it only through the plug-in it loads.
#include <gtest/gtest.h>

#include <dirent.h>
#include <dlfcn.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::mutex g_mutex;
std::vector<std::string> g_events;

void Record(const char* event) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_events.push_back(event);
}

int ThreadCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
  }
  return count;
}

TEST(LibraryUnload, StopsAndJoinsRunningNamedLoopsInReverseOrder) {
  const int threads_before = ThreadCount();
  void* probe = dlopen(OSKA_UNLOAD_PROBE_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(probe, nullptr) << dlerror();
  using StartFn = int (*)(void (*)(const char*));
  auto start = reinterpret_cast<StartFn>(dlsym(probe, "oska_probe_start"));
  ASSERT_NE(start, nullptr);
  ASSERT_EQ(start(&Record), 0);
  EXPECT_EQ(ThreadCount(), threads_before + 3);

  ASSERT_EQ(dlclose(probe), 0);
  EXPECT_EQ(dlopen("libOskaBase.so.4", RTLD_NOW | RTLD_NOLOAD), nullptr)
      << "the library stayed loaded";
  EXPECT_EQ(ThreadCount(), threads_before);

  std::vector<std::string> markers;
  for (const auto& e : g_events) {
    if (e != "notify task finished") markers.push_back(e);
  }
  EXPECT_EQ(markers, (std::vector<std::string>{"netsdk", "cleanup", "notify", "main"}));
  auto finished = std::find(g_events.begin(), g_events.end(), "notify task finished");
  auto notify_gone = std::find(g_events.begin(), g_events.end(), "notify");
  ASSERT_NE(finished, g_events.end()) << "the running task was cut off";
  EXPECT_LT(finished, notify_gone);
}

}  // namespace
