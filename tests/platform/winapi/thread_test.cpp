// The threads-and-time family of the Windows layer, against real threads.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <pthread.h>
#include <set>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/winapi/ErrorOf.h"

namespace {

TEST(ThreadIds, AreKernelIdsDistinctPerThreadAndStable) {
  const DWORD main_id = GetCurrentThreadId();
  EXPECT_NE(main_id, 0u);
  EXPECT_EQ(main_id, GetCurrentThreadId());
  // The first thread of a process has the process id as its thread id.
  EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(::getpid()));

  std::vector<DWORD> ids(4);
  std::vector<std::thread> threads;
  for (auto& id : ids) threads.emplace_back([&id] { id = GetCurrentThreadId(); });
  for (auto& t : threads) t.join();
  std::set<DWORD> unique(ids.begin(), ids.end());
  unique.insert(main_id);
  EXPECT_EQ(unique.size(), 5u);
}

TEST(LastError, IsPerThreadAndStartsAtSuccess) {
  SetLastError(ERROR_PIPE_BUSY);
  DWORD seen_by_other = 12345;
  std::thread([&] {
    seen_by_other = GetLastError();
    SetLastError(ERROR_BROKEN_PIPE);
  }).join();
  EXPECT_EQ(seen_by_other, ERROR_SUCCESS);
  EXPECT_EQ(GetLastError(), ERROR_PIPE_BUSY);
}

TEST(LastError, ErrnoMapsToTheWindowsCodesCallersTest) {
  EXPECT_EQ(winapi::WinErrorFromErrno(0), ERROR_SUCCESS);
  EXPECT_EQ(winapi::WinErrorFromErrno(ENOENT), 2u);
  EXPECT_EQ(winapi::WinErrorFromErrno(EACCES), 5u);
  EXPECT_EQ(winapi::WinErrorFromErrno(EBADF), 6u);
  EXPECT_EQ(winapi::WinErrorFromErrno(EPIPE), 109u);
  EXPECT_EQ(winapi::WinErrorFromErrno(EEXIST), 183u);
  EXPECT_EQ(winapi::WinErrorFromErrno(EMSGSIZE), 234u);
  EXPECT_EQ(winapi::WinErrorFromErrno(EDOM), ERROR_GEN_FAILURE);
}

TEST(GetExitCodeThread, TellsARunningThreadFromAnEndedOneWithoutJoining) {
  std::atomic<bool> release{false};
  std::thread worker([&] {
    while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  HANDLE handle = reinterpret_cast<HANDLE>(worker.native_handle());
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(handle, &code));
  EXPECT_EQ(code, STILL_ACTIVE);

  release = true;
  // Ends soon; the test must not join before the code changes.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  do {
    ASSERT_TRUE(GetExitCodeThread(handle, &code));
    if (code != STILL_ACTIVE) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  } while (std::chrono::steady_clock::now() < deadline);
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(worker.joinable());
  worker.join();
}

TEST(GetExitCodeThread, RejectsMissingArguments) {
  DWORD code = 0;
  EXPECT_EQ(ErrorOf(GetExitCodeThread(nullptr, &code)), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(GetExitCodeThread(reinterpret_cast<HANDLE>(::pthread_self()), nullptr));
}

TEST(Counter, IsMonotonicInNanosecondsAndAgreesWithSleep) {
  LARGE_INTEGER frequency, before, after;
  ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
  EXPECT_EQ(frequency.QuadPart, 1000000000LL);
  ASSERT_TRUE(QueryPerformanceCounter(&before));
  const ULONGLONG ticks_before = GetTickCount64();
  Sleep(20);
  ASSERT_TRUE(QueryPerformanceCounter(&after));
  const LONGLONG elapsed_ms = (after.QuadPart - before.QuadPart) / 1000000;
  EXPECT_GE(elapsed_ms, 20);
  EXPECT_LT(elapsed_ms, 5000);
  EXPECT_GE(GetTickCount64() - ticks_before, 19u);
  EXPECT_EQ(ErrorOf(QueryPerformanceCounter(nullptr)), ERROR_INVALID_PARAMETER);
}

}  // namespace
