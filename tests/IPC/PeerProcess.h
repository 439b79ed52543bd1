// Starts oska-pipe-peer as a real second process with its stdin and stdout
// connected to this test, so a test can drive it line by line.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace pipe_test {

class PeerProcess {
 public:
  explicit PeerProcess(const std::vector<std::string>& args) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<std::string> all{OSKA_PIPE_PEER_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    to_peer_ = in[1];
    from_peer_ = out[0];
  }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;
  ~PeerProcess() {
    if (to_peer_ >= 0) ::close(to_peer_);
    if (from_peer_ >= 0) ::close(from_peer_);
    if (pid_ > 0 && !waited_) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }

  bool started() const { return pid_ > 0; }

  void Send(const std::string& line) {
    const std::string text = line + "\n";
    if (::write(to_peer_, text.data(), text.size()) < 0) return;
  }

  // The next line the peer printed, or "<timeout>" / "<eof>".
  std::string ReadLine(int timeout_ms = 30000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      const size_t end = buffer_.find('\n');
      if (end != std::string::npos) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return "<timeout>";
      pollfd p{from_peer_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char chunk[256];
      const ssize_t n = ::read(from_peer_, chunk, sizeof(chunk));
      if (n <= 0) return "<eof>";
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

  // The exit code, or -signal.
  int Wait() {
    int status = 0;
    waited_ = true;
    if (::waitpid(pid_, &status, 0) != pid_) return -1000;
    return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
  }

 private:
  pid_t pid_ = -1;
  int to_peer_ = -1;
  int from_peer_ = -1;
  bool waited_ = false;
  std::string buffer_;
};

inline std::string UniquePipeName(const char* what) {
  static std::atomic<int> counter{0};
  return std::string("\\\\.\\pipe\\oska-ipc-") + what + "-" + std::to_string(::getpid()) + "-" +
         std::to_string(counter++);
}

// Byte i of a test block of length L.
inline char PatternByte(unsigned long long i, unsigned long long length) {
  return static_cast<char>((i * 31 + length) & 0xff);
}

}  // namespace pipe_test
