// The logging tour: configure zellog through the library, log from several
// threads at once, and show where the lines went.
#include "Section.h"

#include "TextTable.h"

#include <OskaBase/OskaBase.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kThreads = 4;
constexpr int kLinesPerThread = 5000;

void RunLoggingTour() {
  const fs::path folder = fs::temp_directory_path() / "oskabase-showcase";
  const fs::path file = folder / "showcase.log";
  // The whole configuration is one text handed to zellog (see zellog.h):
  // a 256 KiB file that rotates into three older ones, warning and up
  // written, no echo on the console.
  const std::string config = "file=" + file.string() + "; max_size=256K; max_files=3; level=warning; console=0";
  std::printf("Configuration handed to zellog:\n  %s\n", config.c_str());
  Oska::Base::details::CLog::InitLog(config);

  // Every library log line looks like this one: [function]message[source(line)].
  Oska::Base::details::KavoFormatLog(5, "OskaBase", "[%s]%s[%s(%d)]", "showcase::RunLoggingTour",
                                     "logging tour started", "tools/showcase/LoggingSection.cpp", __LINE__);

  std::printf("%d threads log %d lines each (levels 3 and 5, failure levels: each on disk at return)...\n",
              kThreads, kLinesPerThread);
  std::atomic<int> done{0};
  oska_tooling::ProgressLine progress("logging");
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &done] {
      for (int i = 0; i < kLinesPerThread; ++i) {
        Oska::Base::details::KavoFormatLog(i % 2 == 0 ? 3 : 5, "QRN", "[%s]thread %d, line %d[%s(%d)]",
                                           "showcase::Worker", t, i, "tools/showcase/LoggingSection.cpp",
                                           __LINE__);
        done.fetch_add(1, std::memory_order_relaxed);
      }
    });
  }
  while (done.load() < kThreads * kLinesPerThread) {
    progress.Update(done.load(), kThreads * kLinesPerThread, "lines");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  for (auto& th : threads) th.join();
  progress.Update(done.load(), kThreads * kLinesPerThread, "lines");
  progress.Finish();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::printf("\nThe log is in %s (older lines rotated into showcase.1.log ... showcase.3.log).\n",
              file.string().c_str());
  std::ifstream in(file);
  std::string line;
  std::string last;
  while (std::getline(in, line)) last = line;
  std::printf("Its last line:\n  %s\n\n", last.c_str());

  oska_tooling::Table table({"file", "bytes"});
  for (const char* name : {"showcase.log", "showcase.1.log", "showcase.2.log", "showcase.3.log"}) {
    std::error_code ec;
    const auto size = fs::file_size(folder / name, ec);
    table.AddRow({(folder / name).string(), ec ? "-" : std::to_string(size)});
  }
  table.AddRow({"lines written", std::to_string(done.load() + 1)});
  table.AddRow({"lines per second", oska_tooling::Fixed(done.load() / seconds, 0)});
  table.Print();
}

static showcase::Section tour(30, "Logging", &RunLoggingTour);

}  // namespace
