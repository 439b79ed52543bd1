// Named pipes between real processes: the test binary re-runs itself with
// OSKA_PIPE_PEER=<role> in the environment to play the other side.
#include <windows.h>

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/winapi/ErrorOf.h"

extern char** environ;

namespace {

// ---------------------------------------------------------------------------
// The peer side, run before main() when the marker is present.

int OpenClient(const char* name, DWORD access) {
  for (int i = 0; i < 500; ++i) {
    HANDLE h = CreateFileA(name, access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) return static_cast<int>(reinterpret_cast<std::intptr_t>(h));
    if (GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PIPE_BUSY) return -1;
    Sleep(10);
  }
  return -1;
}

HANDLE AsHandle(int v) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(v)); }

int RunPeer(const std::string& role, const char* name) {
  if (role == "echo") {
    // Answers every message with "re:" + message until the server goes.
    const int v = OpenClient(name, GENERIC_READ | GENERIC_WRITE);
    if (v < 0) return 10;
    HANDLE h = AsHandle(v);
    char buf[8192];
    DWORD n = 0;
    while (ReadFile(h, buf, sizeof(buf), &n, nullptr)) {
      std::string reply = "re:" + std::string(buf, n);
      DWORD w = 0;
      if (!WriteFile(h, reply.data(), static_cast<DWORD>(reply.size()), &w, nullptr)) return 11;
    }
    return GetLastError() == ERROR_BROKEN_PIPE ? 0 : 12;
  }
  if (role == "write-two-and-exit") {
    const int v = OpenClient(name, GENERIC_WRITE);
    if (v < 0) return 10;
    DWORD w = 0;
    WriteFile(AsHandle(v), "abc", 3, &w, nullptr);
    WriteFile(AsHandle(v), "defg", 4, &w, nullptr);
    return 0;  // exits without closing: the kernel ends the connection
  }
  if (role == "read-only-client") {
    const int v = OpenClient(name, GENERIC_READ);
    if (v < 0) return 10;
    DWORD w = 0;
    if (WriteFile(AsHandle(v), "x", 1, &w, nullptr) || GetLastError() != ERROR_ACCESS_DENIED) return 11;
    char buf[16];
    DWORD n = 0;
    if (!ReadFile(AsHandle(v), buf, sizeof(buf), &n, nullptr) || n != 2) return 12;
    return 0;
  }
  if (role == "crash-server") {
    HANDLE h = CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 4096, 4096, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 10;
    ::raise(SIGKILL);
    return 11;
  }
  if (role == "other-user-client" || role == "other-user-server") {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) return 100;
    HANDLE h = role == "other-user-client"
                   ? CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                   : CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                      PIPE_TYPE_MESSAGE, 1, 4096, 4096, 0, nullptr);
    return h == INVALID_HANDLE_VALUE ? static_cast<int>(GetLastError()) : 99;
  }
  if (role == "other-user-serve") {
    // Serves a pipe as another user until killed.
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) return 100;
    HANDLE h = CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE, 1, 4096, 4096, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 10;
    ConnectNamedPipe(h, nullptr);
    return 0;
  }
  if (role == "count-sockets") {
    int sockets = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) return 100;
    while (dirent* e = ::readdir(dir)) {
      char target[256] = {};
      const std::string path = std::string("/proc/self/fd/") + e->d_name;
      if (::readlink(path.c_str(), target, sizeof(target) - 1) > 0 &&
          std::strncmp(target, "socket:", 7) == 0) {
        ++sockets;
      }
    }
    ::closedir(dir);
    return sockets;
  }
  return 99;
}

struct PeerDispatch {
  PeerDispatch() {
    const char* role = std::getenv("OSKA_PIPE_PEER");
    if (role != nullptr) std::_Exit(RunPeer(role, std::getenv("OSKA_PIPE_NAME")));
  }
} g_peer_dispatch;

// ---------------------------------------------------------------------------
// The test side.

pid_t StartPeer(const std::string& role, const std::string& name) {
  std::vector<std::string> env_text;
  for (char** e = environ; *e != nullptr; ++e) env_text.emplace_back(*e);
  env_text.push_back("OSKA_PIPE_PEER=" + role);
  env_text.push_back("OSKA_PIPE_NAME=" + name);
  std::vector<char*> envp;
  for (auto& s : env_text) envp.push_back(&s[0]);
  envp.push_back(nullptr);
  char self[] = "/proc/self/exe";
  char* argv[] = {self, nullptr};
  pid_t pid = -1;
  if (::posix_spawn(&pid, self, nullptr, nullptr, argv, envp.data()) != 0) return -1;
  return pid;
}

// The peer's exit code, or -signal when it was killed.
int WaitPeer(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1000;
  if (WIFSIGNALED(status)) return -WTERMSIG(status);
  return WEXITSTATUS(status);
}

std::string UniqueName(const char* what) {
  static std::atomic<int> counter{0};
  return std::string("\\\\.\\pipe\\oska-test-") + what + "-" + std::to_string(::getpid()) + "-" +
         std::to_string(counter++);
}

HANDLE MakeServer(const std::string& name, DWORD open_mode = PIPE_ACCESS_DUPLEX,
                  DWORD pipe_mode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE) {
  return CreateNamedPipeA(name.c_str(), open_mode, pipe_mode, 1, 4096, 4096, 5000, nullptr);
}

HANDLE OpenClient(const std::string& name, DWORD access = GENERIC_READ | GENERIC_WRITE) {
  return CreateFileA(name.c_str(), access, 0, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
}

std::string ReadOnce(HANDLE h, DWORD size = 512) {
  std::vector<char> buf(size);
  DWORD n = 0;
  if (!ReadFile(h, buf.data(), size, &n, nullptr)) return "<error " + std::to_string(GetLastError()) + ">";
  return std::string(buf.data(), n);
}

bool WriteText(HANDLE h, const std::string& text) {
  DWORD w = 0;
  return WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &w, nullptr) && w == text.size();
}

// The error of `call`, blocked in another thread, when `h` is closed under it.
template <typename Call>
DWORD ErrorOfCallClosedUnder(HANDLE h, Call call) {
  std::atomic<DWORD> error{0};
  std::thread blocked([&] { error = ErrorOf(call() != FALSE); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(CloseHandle(h));
  blocked.join();
  return error.load();
}

// ---------------------------------------------------------------------------

TEST(NamedPipe, MessageModeKeepsBoundariesBothWaysBetweenProcesses) {
  const std::string name = UniqueName("echo");
  HANDLE server = MakeServer(name);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  const pid_t peer = StartPeer("echo", name);
  ASSERT_GT(peer, 0);
  const BOOL connected = ConnectNamedPipe(server, nullptr);
  ASSERT_TRUE(connected || GetLastError() == ERROR_PIPE_CONNECTED);
  ASSERT_TRUE(WriteText(server, "first"));
  ASSERT_TRUE(WriteText(server, ""));
  ASSERT_TRUE(WriteText(server, std::string(3000, 'z')));
  EXPECT_EQ(ReadOnce(server, 4096), "re:first");
  EXPECT_EQ(ReadOnce(server, 4096), "re:");
  EXPECT_EQ(ReadOnce(server, 4096), "re:" + std::string(3000, 'z'));
  EXPECT_TRUE(CloseHandle(server));
  EXPECT_EQ(WaitPeer(peer), 0);
}

TEST(NamedPipe, ByteModeIsAStreamAndAGonePeerIsABrokenPipe) {
  const std::string name = UniqueName("bytes");
  HANDLE server = MakeServer(name, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  const pid_t peer = StartPeer("write-two-and-exit", name);
  ConnectNamedPipe(server, nullptr);
  ASSERT_EQ(WaitPeer(peer), 0);
  // Both writes are in the pipe: a byte-mode read takes what fits.
  EXPECT_EQ(ReadOnce(server, 5), "abcde");
  EXPECT_EQ(ReadOnce(server, 5), "fg");
  DWORD n = 7;
  char c;
  EXPECT_EQ(ErrorOf(ReadFile(server, &c, 1, &n, nullptr)), ERROR_BROKEN_PIPE);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(ErrorOf(WriteText(server, "x")), ERROR_ACCESS_DENIED);  // an inbound-only server
  CloseHandle(server);
}

TEST(NamedPipe, OutboundServerAndReadOnlyClientRefuseTheOtherDirection) {
  const std::string name = UniqueName("outbound");
  HANDLE server = MakeServer(name, PIPE_ACCESS_OUTBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE,
                             PIPE_TYPE_BYTE | PIPE_READMODE_BYTE);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  const pid_t peer = StartPeer("read-only-client", name);
  ConnectNamedPipe(server, nullptr);
  char c;
  DWORD n = 0;
  EXPECT_EQ(ErrorOf(ReadFile(server, &c, 1, &n, nullptr)), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(WriteText(server, "ok"));
  EXPECT_EQ(WaitPeer(peer), 0);
  CloseHandle(server);
}

TEST(NamedPipe, ASecondServerOfTheSameNameFails) {
  const std::string name = UniqueName("twice");
  HANDLE first = MakeServer(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ErrorOf(MakeServer(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE)), ERROR_ACCESS_DENIED);
  EXPECT_EQ(ErrorOf(MakeServer(name, PIPE_ACCESS_DUPLEX)), ERROR_PIPE_BUSY);
  CloseHandle(first);
  HANDLE again = MakeServer(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE);
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);
}

TEST(NamedPipe, OneInstanceIsBusyForASecondClientAndWaitNamedPipeWaitsForIt) {
  const std::string name = UniqueName("busy");
  HANDLE server = MakeServer(name);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(WaitNamedPipeA(name.c_str(), 1000));  // free, and still free after asking
  HANDLE first = OpenClient(name);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  // Busy before and after the server accepts the first client.
  EXPECT_EQ(ErrorOf(OpenClient(name)), ERROR_PIPE_BUSY);
  EXPECT_EQ(ErrorOf(ConnectNamedPipe(server, nullptr)), ERROR_PIPE_CONNECTED);
  EXPECT_EQ(ErrorOf(OpenClient(name)), ERROR_PIPE_BUSY);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ErrorOf(WaitNamedPipeA(name.c_str(), 200)), ERROR_SEM_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(190));

  // A new instance appears while a client waits: the wait ends with TRUE.
  std::thread replace([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    CloseHandle(server);
    CloseHandle(first);
    server = MakeServer(name);
  });
  EXPECT_TRUE(WaitNamedPipeA(name.c_str(), 20000));
  replace.join();
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  HANDLE second = OpenClient(name);
  EXPECT_NE(second, INVALID_HANDLE_VALUE);
  CloseHandle(second);
  CloseHandle(server);
}

TEST(NamedPipe, ANameNobodyServesFailsAtOnceWithFileNotFound) {
  const std::string name = UniqueName("missing");
  EXPECT_EQ(ErrorOf(OpenClient(name)), ERROR_FILE_NOT_FOUND);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ErrorOf(WaitNamedPipeA(name.c_str(), 60000)), ERROR_FILE_NOT_FOUND);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(NamedPipe, AClientBeforeConnectNamedPipeGivesPipeConnectedAndAWorkingPipe) {
  const std::string name = UniqueName("early");
  HANDLE server = MakeServer(name);
  HANDLE client = OpenClient(name);
  ASSERT_NE(client, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ErrorOf(ConnectNamedPipe(server, nullptr)), ERROR_PIPE_CONNECTED);
  EXPECT_TRUE(WriteText(client, "hello"));
  EXPECT_EQ(ReadOnce(server), "hello");
  CloseHandle(client);
  EXPECT_EQ(ReadOnce(server), "<error 109>");
  CloseHandle(server);
}

TEST(NamedPipe, AServerWithoutClientReportsListening) {
  const std::string name = UniqueName("listening");
  HANDLE server = MakeServer(name);
  EXPECT_EQ(ReadOnce(server), "<error 536>");
  EXPECT_EQ(ErrorOf(WriteText(server, "x")), ERROR_PIPE_LISTENING);
  CloseHandle(server);
}

TEST(NamedPipe, AClosedHandleIsInvalid) {
  const std::string name = UniqueName("closed");
  HANDLE server = MakeServer(name);
  HANDLE client = OpenClient(name);
  EXPECT_TRUE(CloseHandle(client));
  EXPECT_EQ(ErrorOf(CloseHandle(client)), ERROR_INVALID_HANDLE);
  EXPECT_EQ(ReadOnce(client), "<error 6>");
  EXPECT_EQ(ErrorOf(WriteText(client, "x")), ERROR_INVALID_HANDLE);
  EXPECT_EQ(ErrorOf(ReadFile(INVALID_HANDLE_VALUE, nullptr, 0, nullptr, nullptr)), ERROR_INVALID_HANDLE);
  CloseHandle(server);
}

TEST(NamedPipe, AMessageLargerThanTheBufferGivesMoreDataAndTheRestLater) {
  const std::string name = UniqueName("moredata");
  HANDLE server = MakeServer(name);
  HANDLE client = OpenClient(name);
  std::string message;
  for (int i = 0; i < 100; ++i) message.push_back(static_cast<char>('a' + i % 26));
  ASSERT_TRUE(WriteText(client, message));
  ASSERT_TRUE(WriteText(client, "next"));
  char buf[40];
  DWORD n = 0;
  for (int at = 0; at < 80; at += 40) {
    EXPECT_EQ(ErrorOf(ReadFile(server, buf, 40, &n, nullptr)), ERROR_MORE_DATA);
    EXPECT_EQ(std::string(buf, n), message.substr(at, 40));
  }
  EXPECT_TRUE(ReadFile(server, buf, 40, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), message.substr(80));
  EXPECT_EQ(ReadOnce(server), "next");
  CloseHandle(client);
  CloseHandle(server);
}

TEST(NamedPipe, ClosingAHandleWakesCallsBlockedOnItInOtherThreads) {
  const std::string name = UniqueName("wake");
  HANDLE server = MakeServer(name);
  HANDLE client = OpenClient(name);
  ConnectNamedPipe(server, nullptr);
  char buf[16];
  DWORD n = 0;
  EXPECT_EQ(ErrorOfCallClosedUnder(client, [&] { return ReadFile(client, buf, sizeof(buf), &n, nullptr); }),
            ERROR_INVALID_HANDLE);
  CloseHandle(server);
  HANDLE waiting = MakeServer(UniqueName("wake-connect"));
  EXPECT_EQ(ErrorOfCallClosedUnder(waiting, [&] { return ConnectNamedPipe(waiting, nullptr); }),
            ERROR_INVALID_HANDLE);
}

TEST(NamedPipe, NamesFollowWindowsRulesAndNeverTouchTheFileSystem) {
  const std::string base = UniqueName("Names");
  HANDLE server = MakeServer(base);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  // Case-insensitive, prefix included.
  std::string upper = base;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  HANDLE client = OpenClient(upper);
  EXPECT_NE(client, INVALID_HANDLE_VALUE);
  CloseHandle(client);
  CloseHandle(server);

  // 256 characters, the Windows limit; two such names differing only at the
  // end are two pipes.
  std::string long_a = base + "-";
  long_a.resize(255, 'x');
  const std::string long_b = long_a + "b";
  long_a += "a";
  ASSERT_EQ(long_a.size(), 256u);
  HANDLE a = MakeServer(long_a, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE);
  HANDLE b = MakeServer(long_b, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE);
  EXPECT_NE(a, INVALID_HANDLE_VALUE);
  EXPECT_NE(b, INVALID_HANDLE_VALUE);
  CloseHandle(a);
  CloseHandle(b);
  for (const std::string& bad : std::vector<std::string>{long_a + "c", "\\\\.\\pipe\\", "\\\\.\\pipe\\a\\b",
                                                         "\\\\host\\pipe\\x", "/tmp/x", "pipe"}) {
    EXPECT_EQ(ErrorOf(MakeServer(bad)), ERROR_INVALID_NAME) << bad;
  }

  // Path-like names are just names.
  const std::string tricky = "\\\\.\\pipe\\../../../tmp/oska-pipe-escape-" + std::to_string(::getpid());
  HANDLE t = MakeServer(tricky);
  EXPECT_NE(t, INVALID_HANDLE_VALUE);
  EXPECT_NE(::access(("/tmp/oska-pipe-escape-" + std::to_string(::getpid())).c_str(), F_OK), 0);
  CloseHandle(t);
}

TEST(NamedPipe, ACrashedServerDoesNotBlockItsRestart) {
  const std::string name = UniqueName("crash");
  EXPECT_EQ(WaitPeer(StartPeer("crash-server", name)), -SIGKILL);
  HANDLE server = MakeServer(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE);
  EXPECT_NE(server, INVALID_HANDLE_VALUE);
  CloseHandle(server);
}

TEST(NamedPipe, AnotherUserCanNeitherConnectNorServeNorIntercept) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to start a process of another user";
  const std::string name = UniqueName("owner");
  HANDLE server = MakeServer(name);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  EXPECT_EQ(WaitPeer(StartPeer("other-user-client", name)), static_cast<int>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(WaitPeer(StartPeer("other-user-server", name)), static_cast<int>(ERROR_ACCESS_DENIED));
  // The refused client left the instance free for a legitimate one.
  HANDLE client = OpenClient(name);
  ASSERT_NE(client, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ErrorOf(ConnectNamedPipe(server, nullptr)), ERROR_PIPE_CONNECTED);
  EXPECT_TRUE(WriteText(client, "mine"));
  EXPECT_EQ(ReadOnce(server), "mine");
  CloseHandle(client);
  CloseHandle(server);

  // A name served by another user: root may open every pipe.
  const std::string theirs = UniqueName("theirs");
  const pid_t squatter = StartPeer("other-user-serve", theirs);
  for (int i = 0; i < 500 && !WaitNamedPipeA(theirs.c_str(), 10); ++i) Sleep(10);
  HANDLE root_client = OpenClient(theirs);
  EXPECT_NE(root_client, INVALID_HANDLE_VALUE);
  CloseHandle(root_client);
  EXPECT_EQ(WaitPeer(squatter), 0);
}

TEST(NamedPipe, ChildProcessesInheritNoPipe) {
  const std::string name = UniqueName("cloexec");
  HANDLE server = MakeServer(name);
  HANDLE client = OpenClient(name);
  ConnectNamedPipe(server, nullptr);
  EXPECT_EQ(WaitPeer(StartPeer("count-sockets", name)), 0);
  CloseHandle(client);
  CloseHandle(server);
}

}  // namespace
