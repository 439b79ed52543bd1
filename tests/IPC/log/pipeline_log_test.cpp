// The exact log and debug lines of the pipelines, one test per situation.
// Both ends live in this process here; the two-process behaviour is tested in
// tests/IPC.
#include <OskaBase/MessagePipeLine.h>
#include <OskaBase/StreamPipeLine.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "IPC/PipeErrorText.h"
#include "LogCapture.h"

namespace {

using log_capture::LogLine;
using Oska::Base::CMessagePipeLine;
using Oska::Base::CPipeLine;
using Oska::Base::CStreamPipeLine;

const char kFile[] = "[src/IPC/PipelineWin.cpp(N)]";

std::string Name(const char* what) {
  static std::atomic<int> counter{0};
  return std::string("\\\\.\\pipe\\oska-log-") + what + "-" + std::to_string(::getpid()) + "-" +
         std::to_string(counter++);
}

std::vector<std::string> Texts(const std::vector<LogLine>& lines) {
  std::vector<std::string> out;
  for (const LogLine& l : lines) out.push_back(l.text);
  return out;
}

// Takes the captured lines: exactly `times` log lines, of `level` and
// `module`, reading "[function]message[file]", and as many debug lines reading
// `message` (unless `debug` says otherwise).
void ExpectLines(size_t times, int level, const char* module, const std::string& function,
                 const std::string& message, const char* debug = nullptr) {
  const std::vector<LogLine> lines = log_capture::TakeLogLines();
  ASSERT_EQ(lines.size(), times);
  for (const LogLine& line : lines) {
    EXPECT_EQ(line.level, level);
    EXPECT_EQ(line.module, module);
    EXPECT_EQ(line.text, "[" + function + "]" + message + kFile);
  }
  EXPECT_EQ(log_capture::TakeDebugLines(), std::vector<std::string>(times, debug ? debug : message));
}

void ExpectOneLine(int level, const char* module, const std::string& function, const std::string& message,
                   const char* debug = nullptr) {
  ExpectLines(1, level, module, function, message, debug);
}

// The texts of the captured log lines, sorted (lines of two threads).
std::vector<std::string> SortedTexts() {
  std::vector<std::string> texts;
  for (const LogLine& l : log_capture::TakeLogLines()) texts.push_back(l.text);
  std::sort(texts.begin(), texts.end());
  return texts;
}

class Fresh : public ::testing::Test {
 protected:
  void SetUp() override {
    log_capture::TakeLogLines();
    log_capture::TakeDebugLines();
  }
};

class Sink : public CMessagePipeLine::CListener {
 public:
  void OnPipeMessage(const std::string& m) override { messages.push_back(m); }
  std::vector<std::string> messages;
};

class Frames : public CStreamPipeLine::CListener {
 public:
  void OnPipeStream(int, const char*, unsigned int) override {}
  void OnPipeClosed() override { ++closed; }
  std::atomic<int> closed{0};
};

HANDLE RawMessageClient(const std::string& name) {
  return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST(PipelineErrorText, NamesTheKnownPipeErrorsAndNumbersTheRest) {
  using Oska::Base::PipeErrorText;
  EXPECT_EQ(PipeErrorText(2), "ERROR_FILE_NOT_FOUND(The system cannot find the file specified.)");
  EXPECT_EQ(PipeErrorText(5), "ERROR_ACCESS_DENIED(Access is denied.)");
  EXPECT_EQ(PipeErrorText(6), "ERROR_INVALID_HANDLE(The handle is invalid.)");
  EXPECT_EQ(PipeErrorText(87), "ERROR_INVALID_PARAMETER(The parameter is incorrect.)");
  EXPECT_EQ(PipeErrorText(109), "ERROR_BROKEN_PIPE(The pipe has been ended.)");
  EXPECT_EQ(PipeErrorText(123),
            "ERROR_INVALID_NAME(The filename, directory name, or volume label syntax is incorrect.)");
  EXPECT_EQ(PipeErrorText(317), "ERROR_MR_MID_NOT_FOUND()");
  EXPECT_EQ(PipeErrorText(535), "ERROR_PIPE_CONNECTED(There is a process on other end of the pipe.)");
  EXPECT_EQ(PipeErrorText(536),
            "ERROR_PIPE_LISTENING(Waiting for a process to open the other end of the pipe.)");
  EXPECT_EQ(PipeErrorText(997), "ERROR_IO_PENDING(Overlapped I/O operation is in progress.)");
  EXPECT_EQ(PipeErrorText(234), "234");
  EXPECT_EQ(PipeErrorText(0), "0");
}

using PipelineReadLog = Fresh;

TEST_F(PipelineReadLog, ARunOfReadFailuresIsLoggedOnceUntilAReadSucceeds) {
  const std::string name = Name("read");
  Sink sink;
  CMessagePipeLine server(name, CPipeLine::Server, &sink);
  HANDLE client = RawMessageClient(name);
  ASSERT_NE(client, INVALID_HANDLE_VALUE);
  server.Connect();
  log_capture::TakeLogLines();
  log_capture::TakeDebugLines();

  // A 10000-byte message read 4096 bytes at a time: two failures (234), then
  // the rest; then a 5000-byte one: logged again after the success.
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(client, std::string(10000, 'm').data(), 10000, &written, nullptr));
  ASSERT_TRUE(WriteFile(client, std::string(5000, 'n').data(), 5000, &written, nullptr));
  server.Read();
  server.Read();
  server.Read();
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0], std::string(10000 - 2 * 4096, 'm'));
  server.Read();
  ExpectLines(2, 5, "QRN", "Oska::Base::CPipeLine::CPipeLineImpl::Read",
              "ReadFile failed.The error message is [234].", "ReadFile error, the error message = [234].");

  // The peer goes away: one broken-pipe line for any number of reads.
  CloseHandle(client);
  for (int i = 0; i < 3; ++i) server.Read();  // the rest of the 5000-byte message, then nothing
  ExpectOneLine(5, "QRN", "Oska::Base::CPipeLine::CPipeLineImpl::Read",
                "ReadFile failed.The error is ERROR_BROKEN_PIPE.", "ReadFile error, ERROR_BROKEN_PIPE.");

  // Close re-arms the report: a read on the closed pipeline is logged.
  server.Close();
  server.Read();
  server.Read();
  ExpectOneLine(5, "QRN", "Oska::Base::CPipeLine::CPipeLineImpl::Read",
                "ReadFile failed.The error message is [ERROR_INVALID_HANDLE(The handle is invalid.)].",
                "ReadFile error, the error message = [ERROR_INVALID_HANDLE(The handle is invalid.)].");
}

using MessagePipeLineLog = Fresh;

TEST_F(MessagePipeLineLog, CreationConnectionAndWritesAreLoggedWithTheirTexts) {
  const std::string name = Name("msg");
  CMessagePipeLine server(name, CPipeLine::Server, nullptr);
  EXPECT_TRUE(log_capture::TakeLogLines().empty());  // a server's success is silent

  CMessagePipeLine second(name, CPipeLine::Server, nullptr);
  ExpectOneLine(5, "QRN", "Oska::Base::CMessagePipeLineImpl::CreatePipeLine",
                "CreateFileA pipe [" + name + "] failed, the mode is 0.The error message = "
                "[ERROR_ACCESS_DENIED(Access is denied.)].");

  // Connect() while the client arrives: success at level 3.
  bool connected = false;
  std::thread waiter([&] { connected = server.Connect(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  CMessagePipeLine client(name, CPipeLine::Client, nullptr);
  waiter.join();
  EXPECT_TRUE(connected);
  std::vector<LogLine> lines = log_capture::TakeLogLines();
  ASSERT_EQ(lines.size(), 2u);
  std::vector<std::string> texts = Texts(lines);
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts[0], "[Oska::Base::CMessagePipeLineImpl::CreatePipeLine]Connect pipe [" + name + "] succ." + kFile);
  EXPECT_EQ(texts[1], "[Oska::Base::CMessagePipeLineImpl::ServerSideConnect]ConnectNamedPipe [" + name + "] successfully." + kFile);
  for (const LogLine& l : lines) EXPECT_EQ(l.level, l.text.find("ServerSideConnect") != std::string::npos ? 3 : 5);
  EXPECT_EQ(log_capture::TakeDebugLines(), (std::vector<std::string>{"Connect pipe [" + name + "] succ."}));

  // A second Connect() on the connected pipe fails with 535.
  EXPECT_FALSE(server.Connect());
  ExpectOneLine(3, "QRN", "Oska::Base::CMessagePipeLineImpl::ServerSideConnect",
                "ConnectNamedPipe [" + name + "] failed.The error message is "
                "[ERROR_PIPE_CONNECTED(There is a process on other end of the pipe.)].",
                "ConnectNamedPipe error, ERROR_PIPE_CONNECTED(There is a process on other end of the pipe.).");

  EXPECT_TRUE(client.TransMessage("hello"));
  EXPECT_EQ(log_capture::TakeDebugLines(),
            (std::vector<std::string>{"WriteFile successfully, size [6], strMessage size [6]."}));
  EXPECT_TRUE(log_capture::TakeLogLines().empty());

  // A closed pipeline: false, logged once until a write succeeds.
  client.Close();
  EXPECT_FALSE(client.TransMessage("lost"));
  EXPECT_FALSE(client.TransMessage("lost again"));
  ExpectOneLine(3, "QRN", "Oska::Base::CMessagePipeLineImpl::TransMessage",
                "WriteFile error, [ERROR_INVALID_HANDLE(The handle is invalid.)], [lost].");
}

TEST_F(MessagePipeLineLog, AWaitingClientLogsEachAttemptUntilTheServerExists) {
  const std::string name = Name("wait");
  std::thread client_thread([&] {
    CMessagePipeLine client(name, CPipeLine::Client, nullptr);
    EXPECT_TRUE(client.IsConnect());
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  CMessagePipeLine server(name, CPipeLine::Server, nullptr);
  client_thread.join();
  const std::vector<LogLine> lines = log_capture::TakeLogLines();
  ASSERT_GE(lines.size(), 2u);
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    EXPECT_EQ(lines[i].level, 5);
    EXPECT_EQ(lines[i].text, "[Oska::Base::CMessagePipeLineImpl::CreatePipeLine]WaitNamedPipeA timeout.The pipe name is [" +
                                 name + "]" + kFile);
  }
  EXPECT_EQ(lines.back().text, "[Oska::Base::CMessagePipeLineImpl::CreatePipeLine]Connect pipe [" + name + "] succ." + kFile);
}

using StreamPipeLineLog = Fresh;

TEST_F(StreamPipeLineLog, CreationConnectionWritesAndTheReadersEndAreLoggedWithTheirTexts) {
  const std::string name = Name("stream");
  CStreamPipeLine missing(name, CPipeLine::Client, nullptr);
  ExpectOneLine(5, "QRN", "Oska::Base::CStreamPipeLineImpl::CreatePipeLine",
                "CreatePipeLine pipe [" + name + "] failed, the mode is 1.The error message = "
                "[ERROR_FILE_NOT_FOUND(The system cannot find the file specified.)].");

  CStreamPipeLine server(name, CPipeLine::Server, nullptr);
  EXPECT_TRUE(log_capture::TakeLogLines().empty());
  Frames frames;
  bool connected = false;
  std::thread waiter([&] { connected = server.Connect(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  auto client = std::make_unique<CStreamPipeLine>(name, CPipeLine::Client, &frames);
  waiter.join();
  EXPECT_TRUE(connected);
  EXPECT_EQ(SortedTexts(),
            (std::vector<std::string>{
                "[Oska::Base::CStreamPipeLineImpl::CreatePipeLine]CreatePipeLine pipe [" + name + "] succ, the mode is 1." + kFile,
                "[Oska::Base::CStreamPipeLineImpl::ServerSideConnect]ConnectNamedPipe [" + name + "] successfully." + kFile}));
  EXPECT_EQ(log_capture::TakeDebugLines(), (std::vector<std::string>{"ConnectNamedPipe [" + name + "] successfully\n"}));

  // Writing on the read-only client: every failure is logged.
  EXPECT_FALSE(client->TransStream(1, "x", 1));
  EXPECT_FALSE(client->TransStream(1, "x", 1));
  ExpectLines(2, 5, "QRN", "Oska::Base::CStreamPipeLineImpl::TransStream",
              "WriteFile failed.The error message is ERROR_ACCESS_DENIED(Access is denied.).");

  // Closing the client wakes its reader, which reports the closed handle
  // (or, if it was between two reads, the stop flag).
  client->Close();
  EXPECT_EQ(frames.closed.load(), 1);
  const std::vector<LogLine> lines = log_capture::TakeLogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].module, "Base");
  EXPECT_EQ(lines[0].level, 5);
  const std::string closed_line = std::string("[Oska::Base::CPipeLine::CPipeLineImpl::AsynReceiveData]m_hPipe is closed") + kFile;
  const std::string exit_line = std::string("[Oska::Base::CPipeLine::CPipeLineImpl::AsynReceiveData]exit thread") + kFile;
  EXPECT_TRUE(lines[0].text == closed_line || lines[0].text == exit_line) << lines[0].text;
  const std::vector<std::string> debug = log_capture::TakeDebugLines();
  ASSERT_EQ(debug.size(), 1u);
  EXPECT_EQ(debug[0], lines[0].text == closed_line ? "m_hPipe is closed" : "exit thread");
}

TEST_F(StreamPipeLineLog, AReaderEndsWithTheBrokenPipeOrTheExitLine) {
  const std::string name = Name("reader");
  Frames frames;
  {
    CStreamPipeLine server(name, CPipeLine::Server, nullptr);
    CStreamPipeLine client(name, CPipeLine::Client, &frames);
    server.Connect();
    log_capture::TakeLogLines();
    log_capture::TakeDebugLines();
    server.Close();
    for (int i = 0; i < 3000 && frames.closed.load() == 0; ++i) Sleep(1);
    EXPECT_EQ(frames.closed.load(), 1);
    ExpectOneLine(5, "QRN", "Oska::Base::CPipeLine::CPipeLineImpl::AsynReceiveData",
                  "ReadFile failed.The error is ERROR_BROKEN_PIPE.", "ReadFile error, ERROR_BROKEN_PIPE.");
  }
  EXPECT_EQ(frames.closed.load(), 1);

  // A frame that cannot be valid stops the reader through its stop flag.
  const std::string other = Name("exit");
  HANDLE raw = CreateNamedPipeA(other.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  Frames second;
  CStreamPipeLine client(other, CPipeLine::Client, &second);
  ConnectNamedPipe(raw, nullptr);
  log_capture::TakeLogLines();
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(raw, "pkg\x01\xff\xff\xff\xff", 8, &written, nullptr));
  for (int i = 0; i < 3000 && second.closed.load() == 0; ++i) Sleep(1);
  EXPECT_EQ(second.closed.load(), 1);
  ExpectOneLine(5, "Base", "Oska::Base::CPipeLine::CPipeLineImpl::AsynReceiveData", "exit thread");
  CloseHandle(raw);
}

}  // namespace
