// zellog over spdlog. A configuration is a set of sinks (the rotating file,
// optionally stderr) with a minimum level; zellog_write builds one spdlog
// log record with the module tag as the logger name and hands it to each
// sink itself, which is what spdlog's logger does minus a name lookup and a
// copy of the text.
//
// The current configuration is published through an atomic pointer, so a
// write takes no lock of its own (the sinks lock). Replaced configurations
// are retired, not destroyed: a writer that loaded the old pointer just
// before the switch may still be using it, and initialisations are rare.
// None is ever destroyed, not even at exit: static destructors run while
// other libraries' destructors and threads may still log, and a line must
// then still find its sink. The C library flushes the files at exit.
#include <zellog/zellog.h>

#include "config.h"

#include <spdlog/details/log_msg.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <vector>

namespace zellog {
namespace {

constexpr const char* kPattern = "[%Y-%m-%d %H:%M:%S.%e] [%P:%t] [%l] [%n] %v";
constexpr int kFlushLevel = 3;  // warning and above are on disk at return

struct Configuration {
  std::vector<spdlog::sink_ptr> sinks;
  int level = 2;
  std::atomic<bool> failure_reported{false};
};

std::mutex g_init_mutex;
std::atomic<Configuration*> g_current{nullptr};
// Every configuration ever made, current one included. Guarded by
// g_init_mutex; deliberately never destroyed (see above).
std::vector<std::unique_ptr<Configuration>>& Retired() {
  static auto* retired = new std::vector<std::unique_ptr<Configuration>>();
  return *retired;
}

// The rotating file, flushed inside the same lock as the write for lines at
// kFlushLevel and above: one lock a line instead of spdlog's two (write,
// then flush), and no other thread's line can slip in between.
class RotatingFile final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  RotatingFile(const std::string& path, std::size_t max_size, std::size_t max_files,
               const spdlog::file_event_handlers& handlers)
      : file_(path, max_size, max_files, false, handlers) {}

 protected:
  // Called with this sink's mutex held.
  void sink_it_(const spdlog::details::log_msg& msg) override {
    file_.log(msg);
    if (msg.level >= kFlushLevel) file_.flush();
  }
  void flush_() override { file_.flush(); }
  void set_pattern_(const std::string& pattern) override { file_.set_pattern(pattern); }
  void set_formatter_(std::unique_ptr<spdlog::formatter> formatter) override {
    file_.set_formatter(std::move(formatter));
  }

 private:
  spdlog::sinks::rotating_file_sink_st file_;  // guarded by base_sink's mutex_
};

void Report(const std::string& text) { std::fprintf(stderr, "zellog: %s\n", text.c_str()); }

std::shared_ptr<RotatingFile> OpenFile(const std::string& path,
                                                               const Settings& s) {
  spdlog::file_event_handlers handlers;
  // spdlog opens with fopen; its descriptor must not leak into children.
  handlers.after_open = [](const spdlog::filename_t&, std::FILE* file) {
    if (file != nullptr) ::fcntl(::fileno(file), F_SETFD, FD_CLOEXEC);
  };
  return std::make_shared<RotatingFile>(path, static_cast<std::size_t>(s.max_size), s.max_files, handlers);
}

spdlog::level::level_enum Clamp(int level) {
  if (level < 0) level = 0;
  if (level > 5) level = 5;
  return static_cast<spdlog::level::level_enum>(level);
}

}  // namespace
}  // namespace zellog

extern "C" ZELLOG_API int zellog_initialize(const char* config) {
  using namespace zellog;
  try {
    Settings s = ParseConfig(config);
    int result = s.problems.empty() ? 0 : 1;
    for (const std::string& p : s.problems) Report(p);

    auto configuration = std::make_unique<Configuration>();
    configuration->level = s.level;
    std::string path = s.file.empty() ? DefaultLogFile() : s.file;
    std::shared_ptr<RotatingFile> file;
    try {
      file = OpenFile(path, s);
    } catch (const std::exception& e) {
      const std::string fallback = DefaultLogFile();
      result = 1;
      if (path != fallback) {
        Report("cannot open log file '" + path + "' (" + e.what() + "); using '" + fallback + "'");
        try {
          file = OpenFile(fallback, s);
          path = fallback;
        } catch (const std::exception& again) {
          Report("cannot open log file '" + fallback + "' (" + again.what() + ")");
        }
      } else {
        Report("cannot open log file '" + path + "' (" + e.what() + ")");
      }
    }
    if (file) {
      configuration->sinks.push_back(file);
    } else {
      result = -1;
      Report("no log file; lines go to stderr");
    }
    if (s.console || !file) configuration->sinks.push_back(std::make_shared<spdlog::sinks::stderr_sink_mt>());
    for (auto& sink : configuration->sinks) {
      sink->set_pattern(kPattern);
      sink->set_level(spdlog::level::trace);
    }
    if (result != 0 && file) {
      Report(std::string("logging to '") + path + "', " + std::to_string(s.max_size) + " bytes x " +
             std::to_string(s.max_files + 1) + " files, level " + LevelName(s.level));
    }

    std::lock_guard<std::mutex> lock(g_init_mutex);
    Configuration* previous = g_current.exchange(configuration.get(), std::memory_order_acq_rel);
    Retired().push_back(std::move(configuration));
    if (previous != nullptr) {
      for (auto& sink : previous->sinks) sink->flush();
    }
    return result;
  } catch (...) {
    Report("initialisation failed; lines are dropped");
    return -1;
  }
}

extern "C" ZELLOG_API int zellog_write(int level, const char* module, const char* text) {
  using namespace zellog;
  Configuration* c = g_current.load(std::memory_order_acquire);
  if (c == nullptr) return -1;
  if (level < c->level) return 0;
  try {
    const spdlog::level::level_enum lvl = Clamp(level);
    const spdlog::details::log_msg msg(spdlog::source_loc{}, module != nullptr ? module : "", lvl,
                                       text != nullptr ? text : "");
    // The file flushes failure lines itself; the console sink writes to
    // stderr, which is unbuffered.
    for (auto& sink : c->sinks) sink->log(msg);
    return 0;
  } catch (const std::exception& e) {
    if (!c->failure_reported.exchange(true)) Report(std::string("write failed: ") + e.what());
    return -1;
  } catch (...) {
    return -1;
  }
}

extern "C" ZELLOG_API void zellog_close(void) {
  using namespace zellog;
  std::lock_guard<std::mutex> lock(g_init_mutex);
  Configuration* previous = g_current.exchange(nullptr, std::memory_order_acq_rel);
  if (previous == nullptr) return;
  try {
    for (auto& sink : previous->sinks) sink->flush();
  } catch (...) {
  }
}

// The entry points under their ordinal names. Windows exports zellog's
// initialise and write at ordinals 25 and 26, and OskaBase imports them by
// ordinal; ELF has no ordinals, so OskaBase's module loader on this platform
// looks ordinal n up as the symbol "ordinal_<n>". Aliases, not wrappers (an
// alias must live in the translation unit that defines its target).
extern "C" {
ZELLOG_API int ordinal_25(const char* config) __attribute__((alias("zellog_initialize")));
ZELLOG_API int ordinal_26(int level, const char* module, const char* text)
    __attribute__((alias("zellog_write")));
}
