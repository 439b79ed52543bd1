// Runs one test of the current test binary again in a child process with a
// chosen environment (locale and time-zone variables), the way a program
// meets its environment at start-up. The child is this very binary
// (/proc/self/exe) restricted by --gtest_filter to one test, with
// OSKA_IN_CHILD=1 set so that test knows to run rather than skip.
//
//   TEST(Gb18030Locale, RoundTrips) {
//     if (!InChild()) GTEST_SKIP() << "runs in a child";
//     ...
//   }
//   TEST(Gb18030Locale, Run) {
//     EXPECT_CHILD_PASSES("Gb18030Locale.RoundTrips", {{"LANG", "zh_CN.GB18030"}});
//   }
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace oska_test {

inline bool InChild() {
  const char* v = std::getenv("OSKA_IN_CHILD");
  return v != nullptr && std::strcmp(v, "1") == 0;
}

struct ChildOutcome {
  int exit_code = -1;
  std::string output;
};

// Starts the child with the parent's environment minus every locale and
// time-zone variable, plus `env`, and waits for it.
inline ChildOutcome RerunInChild(const std::string& test,
                                 const std::vector<std::pair<std::string, std::string>>& env) {
  std::vector<std::string> vars;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string v = *e;
    if (v.rfind("LC_", 0) == 0 || v.rfind("LANG=", 0) == 0 || v.rfind("LANGUAGE=", 0) == 0 ||
        v.rfind("TZ=", 0) == 0 || v.rfind("OSKA_IN_CHILD=", 0) == 0 ||
        v.rfind("GTEST_", 0) == 0) {
      continue;
    }
    vars.push_back(v);
  }
  for (const auto& kv : env) vars.push_back(kv.first + "=" + kv.second);
  vars.push_back("OSKA_IN_CHILD=1");
  const std::string filter = "--gtest_filter=" + test;

  std::vector<char*> envp;
  for (auto& v : vars) envp.push_back(&v[0]);
  envp.push_back(nullptr);
  std::string self = "/proc/self/exe";
  std::string filter_arg = filter;
  char* argv[] = {&self[0], &filter_arg[0], nullptr};

  ChildOutcome outcome;
  int fds[2];
  if (::pipe(fds) != 0) return outcome;
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return outcome;
  }
  if (pid == 0) {
    ::dup2(fds[1], 1);
    ::dup2(fds[1], 2);
    ::close(fds[0]);
    ::close(fds[1]);
    ::execve("/proc/self/exe", argv, envp.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n > 0) {
      outcome.output.append(buf, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

}  // namespace oska_test

// Passes when the child ran exactly that one test and it passed.
#define EXPECT_CHILD_PASSES(test, ...)                                                  \
  do {                                                                                  \
    const ::oska_test::ChildOutcome oska_child_ = ::oska_test::RerunInChild(test, __VA_ARGS__); \
    EXPECT_EQ(oska_child_.exit_code, 0) << oska_child_.output;                          \
    EXPECT_NE(oska_child_.output.find("[  PASSED  ] 1 test."), std::string::npos)       \
        << oska_child_.output;                                                          \
  } while (0)
