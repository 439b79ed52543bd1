// The debug channel. Windows hands debug text to an attached debugger and
// drops it otherwise; Linux has no such channel, so the text goes to stderr
// while a tracer (gdb, strace) is attached, or when ZEL_DEBUG_OUTPUT asks.
//
// The library calls this on every pipe write, so the silent case must cost
// next to nothing. Whether a tracer is attached is read from
// /proc/self/status at the first call and afterwards at most once a second;
// between checks a call reads CLOCK_MONOTONIC_COARSE, which the vDSO answers
// from memory without entering the kernel, compares it with the next check
// time and returns. Threads racing on a due check may both read the file;
// the answers agree and the cost is bounded by the once-a-second rate.
#include <zel/zel.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

enum class Switch { kFollowTracer, kAlways, kNever };

Switch ReadSwitch() {
  const char* value = std::getenv("ZEL_DEBUG_OUTPUT");
  if (value != nullptr && std::strcmp(value, "1") == 0) return Switch::kAlways;
  if (value != nullptr && std::strcmp(value, "0") == 0) return Switch::kNever;
  return Switch::kFollowTracer;
}

// True when /proc/self/status names a tracer (TracerPid other than 0).
bool TracerAttached() {
  const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char text[4096];
  std::size_t used = 0;
  for (;;) {
    const ssize_t n = ::read(fd, text + used, sizeof(text) - 1 - used);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    used += static_cast<std::size_t>(n);
    if (used == sizeof(text) - 1) break;
  }
  ::close(fd);
  text[used] = '\0';
  const char* line = std::strstr(text, "\nTracerPid:");
  if (line == nullptr) return false;
  line += std::strlen("\nTracerPid:");
  while (*line == ' ' || *line == '\t') ++line;
  return *line >= '1' && *line <= '9';
}

std::int64_t CoarseNowNs() {
  timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

constexpr std::int64_t kRecheckNs = 1000000000;

std::atomic<bool> g_tracer_attached{false};
std::atomic<std::int64_t> g_next_check_ns{0};  // 0: never checked

bool Listening() {
  static const Switch s_switch = ReadSwitch();
  if (s_switch == Switch::kAlways) return true;
  if (s_switch == Switch::kNever) return false;
  const std::int64_t now = CoarseNowNs();
  std::int64_t due = g_next_check_ns.load(std::memory_order_relaxed);
  if (due == 0 || now >= due) {
    // One thread wins the check; the others keep the last answer.
    if (g_next_check_ns.compare_exchange_strong(due, now + kRecheckNs, std::memory_order_relaxed)) {
      g_tracer_attached.store(TracerAttached(), std::memory_order_relaxed);
    }
  }
  return g_tracer_attached.load(std::memory_order_relaxed);
}

int WriteAll(const char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(STDERR_FILENO, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<int>(done);
}

}  // namespace

extern "C" int ZEL_OutputDebug(const char* format, ...) {
  if (format == nullptr || !Listening()) return 0;
  char small[1024];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(small, sizeof(small) - 1, format, args);
  va_end(args);
  int result = -1;
  if (length >= 0) {
    // One write per message, the line end included, so that concurrent
    // messages come out whole.
    if (static_cast<std::size_t>(length) < sizeof(small) - 1) {
      std::size_t size = static_cast<std::size_t>(length);
      if (size == 0 || small[size - 1] != '\n') small[size++] = '\n';
      result = WriteAll(small, size);
    } else {
      std::vector<char> big(static_cast<std::size_t>(length) + 2);
      std::vsnprintf(big.data(), big.size() - 1, format, again);
      std::size_t size = static_cast<std::size_t>(length);
      if (big[size - 1] != '\n') big[size++] = '\n';
      result = WriteAll(big.data(), size);
    }
  }
  va_end(again);
  return result;
}
