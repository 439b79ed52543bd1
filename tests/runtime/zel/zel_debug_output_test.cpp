// The debug channel, observed from outside: each case re-runs this test
// binary as a child process (only the child case, selected by a filter and
// an environment marker) and reads what the child wrote to stderr.
#include <zel/zel.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr const char* kChildMarker = "ZEL_TEST_DEBUG_CHILD";

// Runs the child case with `extra` environment entries ("NAME=value"),
// ZEL_DEBUG_OUTPUT removed unless `extra` sets it. Calls `while_running`
// with the child's pid, then returns the child's stderr.
template <typename F>
std::string RunChild(std::vector<std::string> extra, F while_running) {
  std::vector<std::string> env_text;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "ZEL_DEBUG_OUTPUT=", 17) != 0) env_text.push_back(*e);
  }
  env_text.push_back(std::string(kChildMarker) + "=1");
  for (auto& e : extra) env_text.push_back(e);
  std::vector<char*> envp;
  for (auto& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);

  std::string filter = "--gtest_filter=ZelDebugOutputChild.*";
  std::string exe = "/proc/self/exe";
  char* argv[] = {exe.data(), filter.data(), nullptr};

  int err[2];
  EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(err[1]);
  std::string output;
  if (rc != 0) {
    ADD_FAILURE() << "posix_spawn: " << rc;
    ::close(err[0]);
    return output;
  }
  std::thread reader([&] {
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(err[0], buffer, sizeof(buffer))) > 0) output.append(buffer, n);
  });
  while_running(pid);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  reader.join();
  ::close(err[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  return output;
}

void NoWork(pid_t) {}

TEST(ZelDebugOutput, SwitchOnWritesWholeLinesToStderr) {
  const std::string out = RunChild({"ZEL_DEBUG_OUTPUT=1"}, NoWork);
  EXPECT_NE(out.find("ReadFile error, ERROR_IO_PENDING.\n"), std::string::npos) << out;
  EXPECT_NE(out.find("already ends\n"), std::string::npos);
  EXPECT_EQ(out.find("already ends\n\n"), std::string::npos);
  EXPECT_NE(out.find(std::string(3000, 'x') + "\n"), std::string::npos);
}

TEST(ZelDebugOutput, SilentWithoutListenerOrWhenSwitchedOff) {
  for (const std::vector<std::string>& env : {std::vector<std::string>{}, {"ZEL_DEBUG_OUTPUT=0"}}) {
    const std::string out = RunChild(env, NoWork);
    EXPECT_EQ(out.find("ReadFile error"), std::string::npos) << out;
  }
}

TEST(ZelDebugOutput, AttachedTracerStartsTheOutput) {
  bool attached = false;
  const std::string out = RunChild({"ZEL_TEST_DEBUG_TICKS=1", "ASAN_OPTIONS=detect_leaks=0"},
                                   [&](pid_t pid) {
                                     attached = ::ptrace(PTRACE_SEIZE, pid, nullptr, nullptr) == 0;
                                     if (!attached) return;
                                     // Pass every signal-delivery stop on; the
                                     // child exits by itself.
                                     int status = 0;
                                     while (::waitpid(pid, &status, 0) == pid && WIFSTOPPED(status)) {
                                       ::ptrace(PTRACE_CONT, pid, nullptr,
                                                reinterpret_cast<void*>(
                                                    static_cast<long>(WSTOPSIG(status))));
                                     }
                                   });
  if (!attached) GTEST_SKIP() << "ptrace not permitted here";
  EXPECT_NE(out.find("tick"), std::string::npos) << out;
}

TEST(ZelDebugOutputChild, Emit) {
  if (std::getenv(kChildMarker) == nullptr) GTEST_SKIP() << "runs only as a child";
  if (std::getenv("ZEL_TEST_DEBUG_TICKS") != nullptr) {
    // Three seconds of ticks: the tracer attaches meanwhile and must be
    // noticed within the one-second re-check.
    for (int i = 0; i < 60; ++i) {
      ZEL_OutputDebug("tick %d", i);
      ::usleep(50000);
    }
    return;
  }
  ZEL_OutputDebug("ReadFile error, %s.", "ERROR_IO_PENDING");
  ZEL_OutputDebug("already ends\n");
  ZEL_OutputDebug("%s", std::string(3000, 'x').c_str());
}

}  // namespace
