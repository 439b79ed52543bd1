// zellog writing real files: line layout, levels, rotation, reopening, many
// threads, and a line surviving SIGKILL.
#include <zellog/zellog.h>

#include "support/RerunInChild.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using oska_test::InChild;
using oska_test::ReadWholeFile;
using oska_test::RerunInChild;
using oska_test::ScratchDir;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Everything written to stderr while it lives.
class StderrCapture {
 public:
  StderrCapture() : file_(std::tmpfile()) {
    std::fflush(stderr);
    saved_ = ::dup(STDERR_FILENO);
    ::dup2(::fileno(file_), STDERR_FILENO);
  }
  ~StderrCapture() {
    Restore();
    std::fclose(file_);
  }
  std::string Text() {
    Restore();
    return ReadWholeFile("/proc/self/fd/" + std::to_string(::fileno(file_)));
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    saved_ = -1;
  }
  std::FILE* file_;
  int saved_ = -1;
};

class ZellogFile : public ::testing::Test {
 protected:
  void TearDown() override { zellog_close(); }
  std::string Init(const std::string& extra = "") {
    path_ = dir_ / "app.log";
    const std::string config = "file=" + path_ + ";" + extra;
    EXPECT_EQ(zellog_initialize(config.c_str()), 0);
    return path_;
  }
  ScratchDir dir_;
  std::string path_;
};

TEST_F(ZellogFile, LineHasTimeIdsLevelNameModuleAndTextAsGiven) {
  const std::string path = Init();
  EXPECT_EQ(zellog_write(5, "QRN", "[Oska::Base::F]ReadFile error[src/IPC/PipelineWin.cpp(12)]"), 0);
  EXPECT_EQ(zellog_write(3, "Base", ""), 0);
  const auto lines = Lines(ReadWholeFile(path));
  ASSERT_EQ(lines.size(), 2u);
  const std::regex layout(
      R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] \[\d+:\d+\] \[critical\] \[QRN\] )"
      R"(\[Oska::Base::F\]ReadFile error\[src/IPC/PipelineWin\.cpp\(12\)\])");
  EXPECT_TRUE(std::regex_match(lines[0], layout)) << lines[0];
  EXPECT_NE(lines[0].find("[" + std::to_string(::getpid()) + ":"), std::string::npos);
  EXPECT_NE(lines[1].find("] [warning] [Base] "), std::string::npos) << lines[1];
}

TEST_F(ZellogFile, FailureLevelsAreOnDiskWhenWriteReturns) {
  const std::string path = Init();
  for (const int level : {3, 5}) {
    zellog_write(level, "QRN", ("line " + std::to_string(level)).c_str());
    EXPECT_NE(ReadWholeFile(path).find("line " + std::to_string(level)), std::string::npos);
  }
}

TEST_F(ZellogFile, LinesBelowTheMinimumLevelAreDropped) {
  const std::string path = Init("level=error");
  EXPECT_EQ(zellog_write(3, "QRN", "dropped"), 0);
  EXPECT_EQ(zellog_write(4, "QRN", "kept"), 0);
  EXPECT_EQ(zellog_write(99, "QRN", "clamped"), 0);
  const std::string text = ReadWholeFile(path);
  EXPECT_EQ(text.find("dropped"), std::string::npos);
  EXPECT_NE(text.find("[error] [QRN] kept"), std::string::npos);
  EXPECT_NE(text.find("[critical] [QRN] clamped"), std::string::npos);
}

TEST_F(ZellogFile, NullTextsReadAsEmpty) {
  const std::string path = Init();
  EXPECT_EQ(zellog_write(5, nullptr, nullptr), 0);
  EXPECT_NE(ReadWholeFile(path).find("[critical] [] \n"), std::string::npos);
}

TEST_F(ZellogFile, RotationKeepsTheCountedNewestFiles) {
  const std::string path = Init("max_size=1K; max_files=2");
  const std::string filler(60, 'x');
  for (int i = 0; i < 200; ++i) {
    zellog_write(5, "kvq", (std::to_string(i) + " " + filler).c_str());
  }
  const std::string rotated1 = dir_ / "app.1.log";
  const std::string rotated2 = dir_ / "app.2.log";
  ASSERT_TRUE(std::filesystem::exists(rotated1));
  ASSERT_TRUE(std::filesystem::exists(rotated2));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "app.3.log"));
  for (const std::string& f : {path, rotated1, rotated2}) {
    EXPECT_LE(std::filesystem::file_size(f), 1024u) << f;
  }
  // Newest lines last, in order across the files.
  const auto current = Lines(ReadWholeFile(path));
  ASSERT_FALSE(current.empty());
  EXPECT_NE(current.back().find("] 199 x"), std::string::npos);
  const auto older = Lines(ReadWholeFile(rotated1));
  ASSERT_FALSE(older.empty());
  auto number = [](const std::string& line) { return std::atoi(line.c_str() + line.find("[kvq] ") + 6); };
  EXPECT_EQ(number(older.back()) + 1, number(current.front()));
}

TEST_F(ZellogFile, ReopeningAppendsAndCountsTheExistingSize) {
  const std::string config = "max_size=2K; max_files=1";
  const std::string path = Init(config);
  const std::string line(100, 'a');  // about 160 bytes a line with its prefix
  for (int i = 0; i < 11; ++i) zellog_write(5, "Base", line.c_str());
  ASSERT_FALSE(std::filesystem::exists(dir_ / "app.1.log"));
  const auto before = std::filesystem::file_size(path);
  ASSERT_LT(before, 2048u - 100u);

  EXPECT_EQ(zellog_initialize(("file=" + path + ";" + config).c_str()), 0);
  zellog_write(5, "Base", "after restart");
  const std::string after = ReadWholeFile(path);
  EXPECT_EQ(after.size(), before + Lines(after).back().size() + 1);  // appended, not emptied

  for (int i = 0; i < 5; ++i) zellog_write(5, "Base", line.c_str());
  // The size from before the restart counted: the file rotated at 2K with
  // the old lines and the restart line in the rotated file.
  ASSERT_TRUE(std::filesystem::exists(dir_ / "app.1.log"));
  EXPECT_LE(std::filesystem::file_size(path), 2048u);
  const std::string rotated = ReadWholeFile(dir_ / "app.1.log");
  EXPECT_NE(rotated.find("after restart"), std::string::npos);
  EXPECT_GE(Lines(rotated).size(), 12u);  // the eleven old lines and the restart line
}

TEST_F(ZellogFile, ConcurrentLinesNeverInterleave) {
  const std::string path = Init("max_size=64M");
  constexpr int kThreads = 4;
  constexpr int kLines = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      const std::string body = "thread" + std::to_string(t) + ":" + std::string(200, static_cast<char>('a' + t));
      for (int i = 0; i < kLines; ++i) zellog_write(i % 2 == 0 ? 5 : 2, "QRN", body.c_str());
    });
  }
  for (auto& th : threads) th.join();
  zellog_close();  // flushes the buffered info lines
  const auto lines = Lines(ReadWholeFile(path));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
  int per_thread[kThreads] = {};
  for (const std::string& l : lines) {
    const std::size_t at = l.find("[QRN] thread");
    ASSERT_NE(at, std::string::npos) << l;
    const int t = l[at + 12] - '0';
    ASSERT_TRUE(t >= 0 && t < kThreads) << l;
    ASSERT_EQ(l.substr(at + 14), std::string(200, static_cast<char>('a' + t))) << l;
    ++per_thread[t];
  }
  for (int count : per_thread) EXPECT_EQ(count, kLines);
}

TEST_F(ZellogFile, SwitchingFilesSendsLaterLinesToTheNewFile) {
  const std::string first = Init();
  zellog_write(5, "QRN", "one");
  const std::string second = dir_ / "other/second.log";  // folder created
  EXPECT_EQ(zellog_initialize(("file=" + second).c_str()), 0);
  zellog_write(5, "QRN", "two");
  EXPECT_NE(ReadWholeFile(first).find("one"), std::string::npos);
  EXPECT_EQ(ReadWholeFile(first).find("two"), std::string::npos);
  EXPECT_NE(ReadWholeFile(second).find("two"), std::string::npos);
}

TEST_F(ZellogFile, ConsoleEchoWritesTheLineToStderrToo) {
  StderrCapture capture;
  const std::string path = Init("console=1");
  zellog_write(5, "kvq", "echoed");
  const std::string err = capture.Text();
  EXPECT_NE(err.find("[critical] [kvq] echoed"), std::string::npos) << err;
  EXPECT_NE(ReadWholeFile(path).find("echoed"), std::string::npos);
}

TEST_F(ZellogFile, MalformedConfigurationFallsBackAndSaysWhy) {
  StderrCapture capture;
  const std::string path = dir_ / "x.log";
  EXPECT_EQ(zellog_initialize(("file=" + path + "; level=loud; max_size=huge").c_str()), 1);
  zellog_write(2, "QRN", "info still written");  // level stayed info
  zellog_close();
  const std::string err = capture.Text();
  EXPECT_NE(err.find("zellog: level: 'loud' is not a level"), std::string::npos) << err;
  EXPECT_NE(err.find("zellog: max_size: 'huge' is not a size"), std::string::npos) << err;
  EXPECT_NE(err.find("zellog: logging to '" + path + "'"), std::string::npos) << err;
  EXPECT_NE(ReadWholeFile(path).find("info still written"), std::string::npos);
}

TEST_F(ZellogFile, UnopenableFileFallsBackToTheDefaultFile) {
  StderrCapture capture;
  ASSERT_EQ(::setenv("TMPDIR", dir_.path().c_str(), 1), 0);
  const int rc = zellog_initialize("file=/proc/no-such-dir/app.log");
  ::unsetenv("TMPDIR");
  EXPECT_EQ(rc, 1);
  zellog_write(5, "QRN", "to the default file");
  const std::string fallback = dir_ / "oska_zellog_tests-zellog.log";
  EXPECT_NE(ReadWholeFile(fallback).find("to the default file"), std::string::npos);
  EXPECT_NE(capture.Text().find("cannot open log file '/proc/no-such-dir/app.log'"), std::string::npos);
}

TEST_F(ZellogFile, WritesAfterCloseAreDropped) {
  const std::string path = Init();
  zellog_close();
  EXPECT_EQ(zellog_write(5, "QRN", "dropped"), -1);
  EXPECT_EQ(ReadWholeFile(path).find("dropped"), std::string::npos);
}

// A child (this binary, re-run on the child case) logs and kills itself
// with SIGKILL: no exit handler, no flush at exit.
constexpr const char* kKillChildFile = "ZELLOG_TEST_KILL_FILE";

TEST(ZellogCrash, LineWrittenJustBeforeSigkillIsInTheFile) {
  ScratchDir dir;
  const std::string path = dir / "crash.log";
  EXPECT_EQ(RerunInChild("ZellogCrashChild.LogThenSigkill", {{kKillChildFile, path}}).exit_code,
            128 + SIGKILL);
  const std::string text = ReadWholeFile(path);
  EXPECT_NE(text.find("[warning] [QRN] before the kill, level 3"), std::string::npos) << text;
  EXPECT_NE(text.find("[critical] [OskaBase] last words, level 5"), std::string::npos) << text;
}

TEST(ZellogCrash, BufferedLinesReachTheFileAtNormalExit) {
  ScratchDir dir;
  const std::string path = dir / "exit.log";
  EXPECT_CHILD_PASSES("ZellogCrashChild.LogInfoThenExit", {{kKillChildFile, path}});
  EXPECT_NE(ReadWholeFile(path).find("[info] [QRN] buffered info line"), std::string::npos);
}

TEST(ZellogCrashChild, LogThenSigkill) {
  if (!InChild()) GTEST_SKIP() << "runs only as a child";
  const char* path = std::getenv(kKillChildFile);
  zellog_initialize((std::string("file=") + path).c_str());
  zellog_write(3, "QRN", "before the kill, level 3");
  zellog_write(5, "OskaBase", "last words, level 5");
  ::raise(SIGKILL);
}

TEST(ZellogCrashChild, LogInfoThenExit) {
  if (!InChild()) GTEST_SKIP() << "runs only as a child";
  const char* path = std::getenv(kKillChildFile);
  zellog_initialize((std::string("file=") + path).c_str());
  zellog_write(2, "QRN", "buffered info line");
  // No close: the process ends through exit().
}

}  // namespace
