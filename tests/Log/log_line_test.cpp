// Log lines as zellog receives them from the library: the framing of the
// logging macro, the formatter, and the log singleton's two calls.
#include "Base/LogMacro.h"
#include "Log/CapturingZellog.h"

#include <OskaBase/Log.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

using oska_test::CapturedLine;
using oska_test::CapturedZellog;

namespace Oska {
namespace Base {
namespace Probe {

struct CPipeLineImpl {
  // Returns the line of its log call.
  int Read(const char* error) {
    const int line = __LINE__ + 1;
    OSKA_LOG(5, "QRN", "ReadFile error, %s.", error);
    return line;
  }
  int ExitThread() const {
    const int line = __LINE__ + 1;
    OSKA_LOG(5, "Base", "exit thread");
    return line;
  }
};

}  // namespace Probe
}  // namespace Base
}  // namespace Oska

namespace {

using Oska::Base::details::KavoFormatLog;

const char* const kThisFile = "tests/Log/log_line_test.cpp";

// Runs `log`, which must pass exactly one line to zellog, and returns it.
template <typename F>
CapturedLine OneLine(F log) {
  CapturedZellog::Take();
  log();
  auto lines = CapturedZellog::Take();
  EXPECT_EQ(lines.size(), 1u);
  return lines.empty() ? CapturedLine{0, nullptr, "<none>"} : lines[0];
}

std::string Framed(const std::string& function, const std::string& message, int line) {
  return "[Oska::Base::Probe::CPipeLineImpl::" + function + "]" + message + "[" + kThisFile + "(" +
         std::to_string(line) + ")]";
}

TEST(LogLine, MacroFramesFunctionMessageAndSourceLine) {
  Oska::Base::Probe::CPipeLineImpl pipe;
  int line = 0;
  CapturedLine got = OneLine([&] { line = pipe.Read("ERROR_IO_PENDING"); });
  EXPECT_EQ(got.level, 5);
  EXPECT_STREQ(got.module, "QRN");
  EXPECT_EQ(got.text, Framed("Read", "ReadFile error, ERROR_IO_PENDING.", line));
  // Without arguments, from a const member function.
  const Oska::Base::Probe::CPipeLineImpl& const_pipe = pipe;
  got = OneLine([&] { line = const_pipe.ExitThread(); });
  EXPECT_STREQ(got.module, "Base");
  EXPECT_EQ(got.text, Framed("ExitThread", "exit thread", line));
  // The source path is project-relative.
  got = OneLine([] { OSKA_LOG(3, "kvq", "x"); });
  EXPECT_NE(got.text.find(std::string("x[") + kThisFile + "("), std::string::npos) << got.text;
  EXPECT_EQ(got.text.find("/work"), std::string::npos);
}

TEST(KavoFormatLog, PassesLevelAndModulePointerUnchanged) {
  static const char kModule[] = "OskaBase";
  const CapturedLine got = OneLine([] { KavoFormatLog(-7, kModule, "%d-%s", 12, "ab"); });
  EXPECT_EQ(got.level, -7);
  EXPECT_EQ(got.module, kModule);
  EXPECT_EQ(got.text, "12-ab");
}

TEST(KavoFormatLog, FormatsAsPrintfDoesWhateverTheLength) {
  EXPECT_EQ(OneLine([] { KavoFormatLog(3, "kvq", "%5d|%-3s|%.2f|%04x", 42, "a", 1.5, 0xbeu); }).text,
            "   42|a  |1.50|00be");
  EXPECT_EQ(OneLine([] { KavoFormatLog(3, "Base", "%s", ""); }).text, "");
  std::string big;
  for (int i = 0; big.size() < 64 * 1024; ++i) big += std::to_string(i) + ",";
  EXPECT_EQ(OneLine([&] { KavoFormatLog(5, "QRN", "[%s]%s[%s(%d)]", "F", big.c_str(), "src/IPC/PipelineWin.cpp", 1); })
                .text,
            "[F]" + big + "[src/IPC/PipelineWin.cpp(1)]");
}

TEST(KavoFormatLog, FormatterErrorPassesNothingOn) {
  CapturedZellog::Take();
  // A wide character the "C" locale cannot convert makes vsnprintf fail.
  KavoFormatLog(5, "QRN", "%ls", L"\u0100");
  EXPECT_TRUE(CapturedZellog::Take().empty());
}

TEST(KavoFormatLog, ConcurrentLoggersEachPassTheirOwnText) {
  CapturedZellog::Take();
  constexpr int kThreads = 8;
  constexpr int kLines = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      const std::string own(100 + t * 300, static_cast<char>('a' + t));
      for (int i = 0; i < kLines; ++i) KavoFormatLog(5, "QRN", "%d:%d:%s", t, i, own.c_str());
    });
  }
  for (auto& th : threads) th.join();
  const auto lines = CapturedZellog::Take();
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
  std::set<std::pair<int, int>> seen;
  for (const CapturedLine& l : lines) {
    int t = -1, i = -1;
    ASSERT_EQ(std::sscanf(l.text.c_str(), "%d:%d:", &t, &i), 2) << l.text;
    ASSERT_TRUE(t >= 0 && t < kThreads);
    const std::string expected =
        std::to_string(t) + ":" + std::to_string(i) + ":" + std::string(100 + t * 300, static_cast<char>('a' + t));
    ASSERT_EQ(l.text, expected);
    seen.insert({t, i});
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}

TEST(CLog, InitLogPassesTheTextAndUninitLogCallsNothing) {
  using Oska::Base::details::CLog;
  {
    std::lock_guard<std::mutex> lock(CapturedZellog::mutex);
    CapturedZellog::configs.clear();
  }
  CLog::UninitLog();  // before InitLog
  CLog::InitLog("file=/tmp/x.log; level=info");
  CLog::UninitLog();
  CLog::UninitLog();
  std::lock_guard<std::mutex> lock(CapturedZellog::mutex);
  ASSERT_EQ(CapturedZellog::configs.size(), 1u);
  EXPECT_EQ(CapturedZellog::configs[0], "file=/tmp/x.log; level=info");
}

TEST(CLog, IsOneInstance) {
  EXPECT_EQ(&Oska::Base::details::CLog::Instance(), &Oska::Base::details::CLog::Instance());
}

}  // namespace
