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
#include <set>
#include <string>
#include <vector>

namespace {

std::mutex g_mutex;
std::vector<std::string> g_events;

void Record(const char* event) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_events.push_back(event);
}

std::set<std::string> ThreadIds() {
  std::set<std::string> ids;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') ids.insert(entry->d_name);
    }
    closedir(dir);
  }
  return ids;
}

// How many of `ids` are still threads of this process.
std::size_t StillAlive(const std::set<std::string>& ids) {
  const std::set<std::string> now = ThreadIds();
  std::size_t alive = 0;
  for (const auto& id : ids) alive += now.count(id);
  return alive;
}

TEST(LibraryUnload, StopsAndJoinsRunningNamedLoopsInReverseOrder) {
  const std::set<std::string> before = ThreadIds();
  void* probe = dlopen(OSKA_UNLOAD_PROBE_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(probe, nullptr) << dlerror();
  using StartFn = int (*)(void (*)(const char*));
  auto start = reinterpret_cast<StartFn>(dlsym(probe, "oska_probe_start"));
  ASSERT_NE(start, nullptr);
  ASSERT_EQ(start(&Record), 0);
  // The three named loops' threads, and possibly a sanitizer's own helper.
  std::set<std::string> started;
  for (const auto& id : ThreadIds()) {
    if (!before.count(id)) started.insert(id);
  }
  ASSERT_GE(started.size(), 3u);

  ASSERT_EQ(dlclose(probe), 0);
  EXPECT_EQ(dlopen("libOskaBase.so.4", RTLD_NOW | RTLD_NOLOAD), nullptr)
      << "the library stayed loaded";
  EXPECT_EQ(StillAlive(started), started.size() - 3) << "a loop thread outlived the unload";

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
