// Showcase: pipelines between two processes. The showcase starts itself a
// second time as the other process (OSKA_SHOWCASE_PIPE_PEER in its
// environment selects the role): first a stream server that sends a few
// hundred megabytes to this process, then a message client for a short
// conversation and round-trip timings.
#include "Section.h"
#include "TextTable.h"

#include <OskaBase/OskaBase.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using Oska::Base::CMessagePipeLine;
using Oska::Base::CPipeLine;
using Oska::Base::CStreamPipeLine;

constexpr unsigned kStreamMiB = 384;
constexpr int kRoundTrips = 20000;
const char kRoleVariable[] = "OSKA_SHOWCASE_PIPE_PEER";

// ---------------------------------------------------------------------------
// The second process

int ServeStream(const std::string& name) {
  CStreamPipeLine server(name, CPipeLine::Server, nullptr);
  if (!server.IsConnect()) return 2;
  std::printf("ready\n");
  std::fflush(stdout);
  server.Connect();
  std::vector<char> block(1 << 20);
  for (unsigned i = 0; i < kStreamMiB; ++i) {
    std::fill(block.begin(), block.end(), static_cast<char>(i));
    if (!server.TransStream(1, block.data(), block.size())) return 3;
  }
  char c;
  return ::read(0, &c, 1) < 0 ? 4 : 0;  // until the showcase lets go
}

class Answer : public CMessagePipeLine::CListener {
 public:
  void OnPipeMessage(const std::string& message) override {
    got = true;
    text = message;
  }
  bool got = false;
  std::string text;
};

int AnswerMessages(const std::string& name) {
  Answer answer;
  CMessagePipeLine client(name, CPipeLine::Client, &answer);
  if (!client.IsConnect()) return 2;
  for (;;) {
    answer.got = false;
    client.Read();
    if (!answer.got) return 0;
    if (answer.text == "Who are you?") {
      client.TransMessage("Process " + std::to_string(::getpid()) + ", the other end of this pipe.");
    } else {
      client.TransMessage(answer.text);  // echo
    }
  }
}

struct PeerDispatch {
  PeerDispatch() {
    const char* role = std::getenv(kRoleVariable);
    if (role == nullptr) return;
    const std::string r = role;
    const size_t colon = r.find(':');
    const std::string what = r.substr(0, colon);
    const std::string name = colon == std::string::npos ? "" : r.substr(colon + 1);
    std::_Exit(what == "stream" ? ServeStream(name) : AnswerMessages(name));
  }
} g_peer_dispatch;

// ---------------------------------------------------------------------------
// The showcase process

class Child {
 public:
  Child(const std::string& role) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    env.push_back(std::string(kRoleVariable) + "=" + role);
    std::vector<char*> envp;
    for (auto& s : env) envp.push_back(&s[0]);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    char self[] = "/proc/self/exe";
    char* argv[] = {self, nullptr};
    if (::posix_spawn(&pid_, self, &actions, nullptr, argv, envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    to_ = in[1];
    from_ = out[0];
  }
  ~Child() {
    Release();
    ::close(from_);
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }
  bool WaitReady() {
    char text[6];
    size_t got = 0;
    while (got < sizeof(text)) {
      const ssize_t n = ::read(from_, text + got, sizeof(text) - got);
      if (n <= 0) return false;
      got += static_cast<size_t>(n);
    }
    return true;
  }
  void Release() {
    if (to_ >= 0) ::close(to_);
    to_ = -1;
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int to_ = -1;
  int from_ = -1;
};

class Progress : public CStreamPipeLine::CListener {
 public:
  void OnPipeStream(int, const char*, unsigned int length) override {
    bytes.fetch_add(length, std::memory_order_relaxed);
    frames.fetch_add(1, std::memory_order_relaxed);
  }
  void OnPipeClosed() override { closed = true; }
  std::atomic<unsigned long long> bytes{0};
  std::atomic<unsigned long long> frames{0};
  std::atomic<bool> closed{false};
};

class Inbox : public CMessagePipeLine::CListener {
 public:
  void OnPipeMessage(const std::string& message) override { last = message; }
  std::string last;
};

void RunPipesTour() {
  oska_tooling::Table table({"what", "result"});
  const std::string suffix = std::to_string(::getpid());

  // Stream: the child serves, this process reads on the pipeline's reader.
  const std::string stream_name = "\\\\.\\pipe\\oska-showcase-stream-" + suffix;
  Child server("stream:" + stream_name);
  std::printf("  started process %d as the stream server of %s\n", static_cast<int>(server.pid()),
              stream_name.c_str());
  if (!server.WaitReady()) {
    std::printf("  the stream server did not start\n");
    return;
  }
  Progress progress;
  const double total = kStreamMiB * 1048576.0;
  const auto start = Clock::now();
  {
    CStreamPipeLine client(stream_name, CPipeLine::Client, &progress);
    oska_tooling::ProgressLine line("received");
    while (progress.bytes.load() < total && !progress.closed.load()) {
      line.Update(static_cast<double>(progress.bytes.load()) / 1048576.0, kStreamMiB, "MiB");
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    line.Update(static_cast<double>(progress.bytes.load()) / 1048576.0, kStreamMiB, "MiB");
    line.Finish();
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  server.Release();
  table.AddRow({"stream received", oska_tooling::Fixed(progress.bytes.load() / 1048576.0, 0) + " MiB in " +
                                       std::to_string(progress.frames.load()) + " frames"});
  table.AddRow({"stream throughput", oska_tooling::Fixed(progress.bytes.load() / seconds / 1e9, 2) + " GB/s"});

  // Messages: this process serves, the child answers.
  const std::string message_name = "\\\\.\\pipe\\oska-showcase-messages-" + suffix;
  Inbox inbox;
  CMessagePipeLine pipe(message_name, CPipeLine::Server, &inbox);
  Child answerer("messages:" + message_name);
  pipe.Connect();
  pipe.TransMessage("Who are you?");
  pipe.Read();
  std::printf("  > Who are you?\n  < %s\n", inbox.last.c_str());
  std::vector<double> micros;
  micros.reserve(kRoundTrips);
  const std::string ping(64, 'p');
  for (int i = 0; i < kRoundTrips; ++i) {
    const auto t0 = Clock::now();
    pipe.TransMessage(ping);
    pipe.Read();
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  std::sort(micros.begin(), micros.end());
  pipe.Close();
  table.AddRow({"64-byte round trips", std::to_string(kRoundTrips)});
  table.AddRow({"round trip p50 / p99", oska_tooling::Fixed(micros[micros.size() / 2], 1) + " / " +
                                            oska_tooling::Fixed(micros[micros.size() * 99 / 100], 1) + " us"});
  table.Print();
}

showcase::Section pipes_section(60, "Pipes between processes", &RunPipesTour);

}  // namespace
