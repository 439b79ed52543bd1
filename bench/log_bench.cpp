// oskabase-bench-log: lines per second into a rotating log file, from one
// and from four threads, for
//  - the library's log call (details::KavoFormatLog: printf formatting, the
//    run-time binding, zellog),
//  - zellog_write called directly with a finished text,
//  - spdlog used directly with the same sink, pattern and flush policy (the
//    ceiling: zellog is built on it),
//  - fprintf + fflush of the finished text to a plain file (no time stamp,
//    no rotation).
// Lines are written at level 5 (critical), the library's failure level, at
// which every line is handed to the system before the call returns; the
// info rows show the buffered case. Each figure is the best of three runs.
#include "TextTable.h"

#include <OskaBase/OskaBase.h>
#include <zellog/zellog.h>

#include <spdlog/logger.h>
#include <spdlog/sinks/rotating_file_sink.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kLines = 200000;
constexpr int kRuns = 3;
constexpr const char* kPattern = "[%Y-%m-%d %H:%M:%S.%e] [%P:%t] [%l] [%n] %v";
constexpr const char* kFunction = "Oska::Base::CPipeLine::CPipeLineImpl::Read";
constexpr const char* kSource = "src/IPC/PipelineWin.cpp";

// The writer of one run: set up with a fresh folder, then called from each
// thread with its share of lines.
struct Writer {
  std::string name;
  std::function<void(const fs::path& folder, int level)> open;
  std::function<void(int level, int count)> write;
  std::function<void()> close;
};

std::string FinishedText() {
  char text[256];
  std::snprintf(text, sizeof(text), "[%s]ReadFile error, %s.[%s(%d)]", kFunction, "ERROR_BROKEN_PIPE", kSource, 321);
  return text;
}

std::shared_ptr<spdlog::logger> g_spdlog;
std::FILE* g_plain = nullptr;

std::vector<Writer> Writers() {
  const std::string finished = FinishedText();
  auto zellog_open = [](const fs::path& folder, int) {
    Oska::Base::details::CLog::InitLog("file=" + (folder / "bench.log").string() +
                                       "; max_size=16M; max_files=3; level=trace");
  };
  return {
      {"OskaBase log call (zellog)", zellog_open,
       [](int level, int count) {
         for (int i = 0; i < count; ++i) {
           Oska::Base::details::KavoFormatLog(level, "QRN", "[%s]ReadFile error, %s.[%s(%d)]", kFunction,
                                              "ERROR_BROKEN_PIPE", kSource, 321);
         }
       },
       [] { zellog_close(); }},
      {"zellog_write, finished text", zellog_open,
       [finished](int level, int count) {
         for (int i = 0; i < count; ++i) zellog_write(level, "QRN", finished.c_str());
       },
       [] { zellog_close(); }},
      {"spdlog direct, same sink", 
       [](const fs::path& folder, int) {
         auto sink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>((folder / "bench.log").string(),
                                                                            16u << 20, 3);
         g_spdlog = std::make_shared<spdlog::logger>("QRN", sink);
         g_spdlog->set_pattern(kPattern);
         g_spdlog->set_level(spdlog::level::trace);
         g_spdlog->flush_on(spdlog::level::warn);
       },
       [](int level, int count) {
         const auto lvl = static_cast<spdlog::level::level_enum>(level);
         for (int i = 0; i < count; ++i) {
           g_spdlog->log(lvl, "[{}]ReadFile error, {}.[{}({})]", kFunction, "ERROR_BROKEN_PIPE", kSource, 321);
         }
       },
       [] {
         g_spdlog->flush();
         g_spdlog.reset();
       }},
      {"fprintf + fflush, plain file",
       [](const fs::path& folder, int) { g_plain = std::fopen((folder / "bench.log").c_str(), "a"); },
       [finished](int level, int count) {
         for (int i = 0; i < count; ++i) {
           std::fprintf(g_plain, "%s\n", finished.c_str());
           if (level >= 3) std::fflush(g_plain);
         }
       },
       [] {
         std::fclose(g_plain);
         g_plain = nullptr;
       }},
  };
}

// Lines per second of one run of one writer.
double MeasureOnce(const Writer& writer, int level, int threads, const fs::path& folder) {
  fs::create_directories(folder);
  writer.open(folder, level);
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) workers.emplace_back(writer.write, level, kLines / threads);
  for (auto& w : workers) w.join();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  writer.close();
  fs::remove_all(folder);
  return kLines / seconds;
}

}  // namespace

int main() {
  const fs::path root = fs::temp_directory_path() / ("oskabase-bench-log-" + std::to_string(::getpid()));
  fs::create_directories(root);
  const std::vector<Writer> writers = Writers();
  std::printf("%d lines a run into a rotating file (16 MiB x 4), best of %d runs; folder %s\n", kLines, kRuns,
              root.string().c_str());
  oska_tooling::Table table({"writer", "level", "1 thread lines/s", "4 threads lines/s", "x spdlog (1)",
                             "x spdlog (4)"});
  struct Row {
    std::string name;
    int level;
    double one;
    double four;
  };
  std::vector<Row> rows;
  for (int level : {5, 2}) {
    for (const Writer& w : writers) rows.push_back({w.name, level, 0, 0});
  }
  // Runs go round the writers, so that a burst of load on the machine
  // touches every writer alike instead of one.
  int folder_number = 0;
  for (int run = 0; run < kRuns; ++run) {
    std::printf("  run %d of %d...\n", run + 1, kRuns);
    std::fflush(stdout);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const Writer& w = writers[i % writers.size()];
      Row& r = rows[i];
      r.one = std::max(r.one, MeasureOnce(w, r.level, 1, root / std::to_string(folder_number++)));
      r.four = std::max(r.four, MeasureOnce(w, r.level, 4, root / std::to_string(folder_number++)));
    }
  }
  for (const Row& r : rows) {
    const Row* ceiling = nullptr;
    for (const Row& c : rows) {
      if (c.level == r.level && c.name == "spdlog direct, same sink") ceiling = &c;
    }
    table.AddRow({r.name, r.level == 5 ? "5 critical" : "2 info", oska_tooling::Fixed(r.one, 0),
                  oska_tooling::Fixed(r.four, 0), oska_tooling::Fixed(r.one / ceiling->one, 2),
                  oska_tooling::Fixed(r.four / ceiling->four, 2)});
  }
  table.Print();
  fs::remove_all(root);
  return 0;
}
