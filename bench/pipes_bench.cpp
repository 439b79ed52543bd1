// Pipelines between two real processes, beside what a user would write
// instead, in one run:
//  - stream: 1 GiB from a server process to a client process. OskaBase's
//    TransStream in 1 MiB blocks received by the client's listener; a raw
//    AF_UNIX SOCK_STREAM socket with 102400-byte writes and reads; ZeroMQ
//    ipc PUSH/PULL with 100 KB messages.
//  - messages: 64-byte request/reply round trips. OskaBase's TransMessage and
//    Read; a raw SOCK_SEQPACKET ping-pong.
// The second process is this program run again with --peer ROLE NAME. Each
// figure is the best of three interleaved runs.
//
// Usage: oskabase-bench-pipes [--gib N] [--round-trips N]
#include <OskaBase/OskaBase.h>

#include "TextTable.h"

#include <zmq.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using Oska::Base::CMessagePipeLine;
using Oska::Base::CPipeLine;
using Oska::Base::CStreamPipeLine;

constexpr size_t kBlock = 1 << 20;          // TransStream block
constexpr size_t kSocketChunk = 102400;     // raw socket writes and reads
constexpr size_t kZmqMessage = 100 * 1024;  // ZeroMQ message
constexpr size_t kPing = 64;

unsigned long long g_bytes = 1ull << 30;
int g_round_trips = 50000;

// ---------------------------------------------------------------------------
// The second process

sockaddr_un AbstractAddress(const std::string& name, socklen_t* length) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string n = "oska.bench." + name;
  std::memcpy(addr.sun_path + 1, n.data(), n.size());
  *length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n.size());
  return addr;
}

void Ready() {
  std::printf("ready\n");
  std::fflush(stdout);
}

int PeerStreamPipeline(const std::string& name) {
  CStreamPipeLine server(name, CPipeLine::Server, nullptr);
  if (!server.IsConnect()) return 2;
  Ready();
  server.Connect();
  std::vector<char> block(kBlock, 'x');
  for (unsigned long long sent = 0; sent < g_bytes; sent += kBlock) {
    if (!server.TransStream(1, block.data(), kBlock)) return 3;
  }
  // Stay until the reader has everything: the parent closes its end.
  char c;
  return ::read(0, &c, 1) < 0 ? 4 : 0;
}

int ListenAbstract(const std::string& name, int type) {
  socklen_t length = 0;
  const sockaddr_un addr = AbstractAddress(name, &length);
  const int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
  if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), length) != 0 || ::listen(fd, 1) != 0) return -1;
  return fd;
}

int ConnectAbstract(const std::string& name, int type) {
  socklen_t length = 0;
  const sockaddr_un addr = AbstractAddress(name, &length);
  const int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
  if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), length) != 0) return -1;
  return fd;
}

int PeerStreamSocket(const std::string& name) {
  const int listener = ListenAbstract(name, SOCK_STREAM);
  if (listener < 0) return 2;
  Ready();
  const int fd = ::accept(listener, nullptr, nullptr);
  std::vector<char> chunk(kSocketChunk, 'x');
  for (unsigned long long sent = 0; sent < g_bytes;) {
    const size_t want = static_cast<size_t>(std::min<unsigned long long>(kSocketChunk, g_bytes - sent));
    const ssize_t n = ::write(fd, chunk.data(), want);
    if (n <= 0) return 3;
    sent += static_cast<unsigned long long>(n);
  }
  ::close(fd);
  ::close(listener);
  return 0;
}

int PeerStreamZmq(const std::string& name) {
  void* context = zmq_ctx_new();
  void* push = zmq_socket(context, ZMQ_PUSH);
  const std::string endpoint = "ipc://@oska.bench." + name;
  if (zmq_bind(push, endpoint.c_str()) != 0) return 2;
  Ready();
  std::vector<char> message(kZmqMessage, 'x');
  const unsigned long long count = (g_bytes + kZmqMessage - 1) / kZmqMessage;
  for (unsigned long long i = 0; i < count; ++i) {
    if (zmq_send(push, message.data(), message.size(), 0) < 0) return 3;
  }
  int linger = -1;
  zmq_setsockopt(push, ZMQ_LINGER, &linger, sizeof(linger));
  zmq_close(push);
  zmq_ctx_term(context);
  return 0;
}

class Echo : public CMessagePipeLine::CListener {
 public:
  void OnPipeMessage(const std::string& message) override {
    got = true;
    last = message;
  }
  bool got = false;
  std::string last;
};

int PeerMessagePipeline(const std::string& name) {
  Echo echo;
  CMessagePipeLine client(name, CPipeLine::Client, &echo);
  if (!client.IsConnect()) return 2;
  for (;;) {
    echo.got = false;
    client.Read();
    if (!echo.got) return 0;
    client.TransMessage(echo.last);
  }
}

int PeerMessageSocket(const std::string& name) {
  int fd = -1;
  for (int i = 0; i < 1000 && fd < 0; ++i) {
    fd = ConnectAbstract(name, SOCK_SEQPACKET);
    if (fd < 0) ::usleep(5000);
  }
  if (fd < 0) return 2;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
    if (n <= 0) return 0;
    if (::send(fd, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) != n) return 0;
  }
}

// ---------------------------------------------------------------------------
// The measuring process

class Peer {
 public:
  Peer(const char* role, const std::string& name) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) std::abort();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::string self = "/proc/self/exe", flag = "--peer", r = role, n = name;
    std::string bytes = std::to_string(g_bytes);
    char* argv[] = {&self[0], &flag[0], &r[0], &n[0], &bytes[0], nullptr};
    if (::posix_spawn(&pid_, self.c_str(), &actions, nullptr, argv, environ) != 0) std::abort();
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    to_ = in[1];
    from_ = out[0];
  }
  ~Peer() {
    if (to_ >= 0) ::close(to_);
    ::close(from_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  void WaitReady() {
    char line[16] = {};
    size_t got = 0;
    while (got < 6) {
      const ssize_t n = ::read(from_, line + got, 6 - got);
      if (n <= 0) std::abort();
      got += static_cast<size_t>(n);
    }
  }
  void Release() {
    ::close(to_);
    to_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int to_ = -1;
  int from_ = -1;
};

std::string UniqueName(const char* what) {
  return std::string(what) + "-" + std::to_string(::getpid());
}

double GBps(unsigned long long bytes, Clock::duration d) {
  return static_cast<double>(bytes) / std::chrono::duration<double>(d).count() / 1e9;
}

class Counter : public CStreamPipeLine::CListener {
 public:
  void OnPipeStream(int, const char*, unsigned int length) override {
    const unsigned long long total = received_.fetch_add(length, std::memory_order_relaxed) + length;
    if (total >= g_bytes) {
      std::lock_guard<std::mutex> lock(mutex_);
      done_.notify_all();
    }
  }
  void OnPipeClosed() override {}
  void WaitAll() {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return received_.load() >= g_bytes; });
  }

 private:
  std::atomic<unsigned long long> received_{0};
  std::mutex mutex_;
  std::condition_variable done_;
};

double StreamPipeline() {
  const std::string name = "\\\\.\\pipe\\oska-bench-" + UniqueName("stream");
  Peer peer("stream-pipeline", name);
  peer.WaitReady();
  Counter counter;
  const auto start = Clock::now();
  CStreamPipeLine client(name, CPipeLine::Client, &counter);
  if (!client.IsConnect()) std::abort();
  counter.WaitAll();
  const auto elapsed = Clock::now() - start;
  peer.Release();
  return GBps(g_bytes, elapsed);
}

double StreamSocket() {
  const std::string name = UniqueName("socket");
  Peer peer("stream-socket", name);
  peer.WaitReady();
  const auto start = Clock::now();
  const int fd = ConnectAbstract(name, SOCK_STREAM);
  if (fd < 0) std::abort();
  std::vector<char> chunk(kSocketChunk);
  unsigned long long received = 0;
  while (received < g_bytes) {
    const ssize_t n = ::read(fd, chunk.data(), chunk.size());
    if (n <= 0) std::abort();
    received += static_cast<unsigned long long>(n);
  }
  const auto elapsed = Clock::now() - start;
  ::close(fd);
  return GBps(g_bytes, elapsed);
}

double StreamZmq() {
  const std::string name = UniqueName("zmq");
  Peer peer("stream-zmq", name);
  peer.WaitReady();
  void* context = zmq_ctx_new();
  void* pull = zmq_socket(context, ZMQ_PULL);
  const std::string endpoint = "ipc://@oska.bench." + name;
  const auto start = Clock::now();
  if (zmq_connect(pull, endpoint.c_str()) != 0) std::abort();
  const unsigned long long count = (g_bytes + kZmqMessage - 1) / kZmqMessage;
  zmq_msg_t message;
  zmq_msg_init(&message);
  unsigned long long received = 0;
  for (unsigned long long i = 0; i < count; ++i) {
    const int n = zmq_msg_recv(&message, pull, 0);
    if (n < 0) std::abort();
    received += static_cast<unsigned long long>(n);
  }
  const auto elapsed = Clock::now() - start;
  zmq_msg_close(&message);
  zmq_close(pull);
  zmq_ctx_term(context);
  return GBps(received, elapsed);
}

struct Latency {
  double per_second;
  double p50_us;
  double p99_us;
};

Latency Summarise(std::vector<double>& micros, Clock::duration total) {
  std::sort(micros.begin(), micros.end());
  return {static_cast<double>(micros.size()) / std::chrono::duration<double>(total).count(),
          micros[micros.size() / 2], micros[micros.size() * 99 / 100]};
}

class Reply : public CMessagePipeLine::CListener {
 public:
  void OnPipeMessage(const std::string& message) override { size = message.size(); }
  size_t size = 0;
};

Latency MessagePipeline() {
  const std::string name = "\\\\.\\pipe\\oska-bench-" + UniqueName("message");
  Reply reply;
  CMessagePipeLine server(name, CPipeLine::Server, &reply);
  Peer peer("message-pipeline", name);
  server.Connect();
  const std::string ping(kPing, 'p');
  for (int i = 0; i < 1000; ++i) {
    server.TransMessage(ping);
    server.Read();
  }
  std::vector<double> micros;
  micros.reserve(static_cast<size_t>(g_round_trips));
  const auto start = Clock::now();
  for (int i = 0; i < g_round_trips; ++i) {
    const auto t0 = Clock::now();
    reply.size = 0;
    server.TransMessage(ping);
    server.Read();
    if (reply.size != kPing) std::abort();
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  const auto total = Clock::now() - start;
  server.Close();
  return Summarise(micros, total);
}

Latency MessageSocket() {
  const std::string name = UniqueName("seqpacket");
  const int listener = ListenAbstract(name, SOCK_SEQPACKET);
  if (listener < 0) std::abort();
  Peer peer("message-socket", name);
  const int fd = ::accept(listener, nullptr, nullptr);
  char ping[kPing];
  std::memset(ping, 'p', sizeof(ping));
  char buffer[4096];
  auto once = [&] {
    if (::send(fd, ping, sizeof(ping), MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof(ping))) std::abort();
    if (::recv(fd, buffer, sizeof(buffer), 0) != static_cast<ssize_t>(sizeof(ping))) std::abort();
  };
  for (int i = 0; i < 1000; ++i) once();
  std::vector<double> micros;
  micros.reserve(static_cast<size_t>(g_round_trips));
  const auto start = Clock::now();
  for (int i = 0; i < g_round_trips; ++i) {
    const auto t0 = Clock::now();
    once();
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  const auto total = Clock::now() - start;
  ::close(fd);
  ::close(listener);
  return Summarise(micros, total);
}

std::string Fixed(double v, int decimals) { return oska_tooling::Fixed(v, decimals); }

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 5 && std::string(argv[1]) == "--peer") {
    g_bytes = std::strtoull(argv[4], nullptr, 10);
    const std::string role = argv[2];
    const std::string name = argv[3];
    if (role == "stream-pipeline") return PeerStreamPipeline(name);
    if (role == "stream-socket") return PeerStreamSocket(name);
    if (role == "stream-zmq") return PeerStreamZmq(name);
    if (role == "message-pipeline") return PeerMessagePipeline(name);
    if (role == "message-socket") return PeerMessageSocket(name);
    return 64;
  }
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--gib") g_bytes = static_cast<unsigned long long>(std::atof(argv[i + 1]) * (1ull << 30));
    if (std::string(argv[i]) == "--round-trips") g_round_trips = std::atoi(argv[i + 1]);
  }
  std::printf("pipes: %.2f GiB streamed, %d round trips of %zu bytes, two processes each\n",
              static_cast<double>(g_bytes) / (1ull << 30), g_round_trips, kPing);
  std::fflush(stdout);

  // Each measurement three times, interleaved, keeping the best: on a shared
  // machine the best run is the one least disturbed by others.
  double ours = 0, raw = 0, zmq = 0;
  Latency ours_msg{0, 0, 0}, raw_msg{0, 0, 0};
  for (int round = 0; round < 3; ++round) {
    ours = std::max(ours, StreamPipeline());
    raw = std::max(raw, StreamSocket());
    zmq = std::max(zmq, StreamZmq());
    const Latency m = MessagePipeline();
    if (m.per_second > ours_msg.per_second) ours_msg = m;
    const Latency r = MessageSocket();
    if (r.per_second > raw_msg.per_second) raw_msg = r;
  }

  oska_tooling::Table table({"benchmark", "implementation", "throughput", "p50 (us)", "p99 (us)", "vs raw"});
  table.AddRow({"stream 1 MiB blocks", "OskaBase CStreamPipeLine", Fixed(ours, 2) + " GB/s", "", "", Fixed(ours / raw, 2) + "x"});
  table.AddRow({"stream 100 KiB writes", "raw AF_UNIX SOCK_STREAM", Fixed(raw, 2) + " GB/s", "", "", "1.00x"});
  table.AddRow({"stream 100 KB messages", "ZeroMQ ipc PUSH/PULL", Fixed(zmq, 2) + " GB/s", "", "", Fixed(zmq / raw, 2) + "x"});
  table.AddRow({"64-byte round trips", "OskaBase CMessagePipeLine", Fixed(ours_msg.per_second / 1000, 1) + " k/s",
                Fixed(ours_msg.p50_us, 1), Fixed(ours_msg.p99_us, 1),
                Fixed(ours_msg.per_second / raw_msg.per_second, 2) + "x"});
  table.AddRow({"64-byte round trips", "raw SOCK_SEQPACKET", Fixed(raw_msg.per_second / 1000, 1) + " k/s",
                Fixed(raw_msg.p50_us, 1), Fixed(raw_msg.p99_us, 1), "1.00x"});
  table.Print();
  return 0;
}
