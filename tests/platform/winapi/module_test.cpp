// The module family against the real dynamic loader, with a probe library
// built for the purpose.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <unistd.h>

#include "platform/winapi/ErrorOf.h"

namespace {

const std::string kProbeDll = std::string(OSKA_MODULE_PROBE_DIR) + "/module_probe.dll";

using AnswerFn = int (*)();

AnswerFn AsAnswer(FARPROC proc) { return reinterpret_cast<AnswerFn>(reinterpret_cast<void (*)()>(proc)); }

TEST(WinapiModule, DllNameLoadsTheSharedObjectAndFindsNamedAndOrdinalExports) {
  HMODULE module = LoadLibraryA(kProbeDll.c_str());
  ASSERT_NE(module, nullptr);
  FARPROC named = GetProcAddress(module, "module_probe_answer");
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(AsAnswer(named)(), 42);
  FARPROC by_ordinal = GetProcAddress(module, MAKEINTRESOURCEA(7));
  EXPECT_EQ(by_ordinal, named);
  EXPECT_TRUE(FreeLibrary(module));
}

TEST(WinapiModule, BackslashPathsAndLoadingTwiceGiveTheSameModule) {
  std::string windows_style = kProbeDll;
  for (char& c : windows_style) {
    if (c == '/') c = '\\';
  }
  HMODULE first = LoadLibraryA(kProbeDll.c_str());
  HMODULE second = LoadLibraryA(windows_style.c_str());
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  FreeLibrary(second);
  FreeLibrary(first);
}

TEST(WinapiModule, MissingModulesAndExportsReportTheirErrors) {
  EXPECT_EQ(ErrorOf(LoadLibraryA("/no/such/folder/nothing.dll") != nullptr), ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(ErrorOf(LoadLibraryA("") != nullptr), ERROR_INVALID_PARAMETER);
  HMODULE module = LoadLibraryA(kProbeDll.c_str());
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(ErrorOf(GetProcAddress(module, "no_such_export") != nullptr), ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(ErrorOf(GetProcAddress(module, MAKEINTRESOURCEA(8)) != nullptr), ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(ErrorOf(GetProcAddress(nullptr, "x") != nullptr), ERROR_INVALID_HANDLE);
  FreeLibrary(module);
}

TEST(WinapiModule, ModuleOfAnAddressAndItsFileName) {
  HMODULE module = LoadLibraryA(kProbeDll.c_str());
  ASSERT_NE(module, nullptr);
  FARPROC answer = GetProcAddress(module, "module_probe_answer");
  HMODULE found = nullptr;
  ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCSTR>(answer), &found));
  EXPECT_EQ(found, module);
  char path[4096];
  const DWORD n = GetModuleFileNameA(found, path, sizeof(path));
  ASSERT_GT(n, 0u);
  EXPECT_EQ(std::string(path), std::string(OSKA_MODULE_PROBE_DIR) + "/libmodule_probe.so");

  // Too small: cut, terminated, the size returned, ERROR_INSUFFICIENT_BUFFER.
  char small[8];
  EXPECT_EQ(GetModuleFileNameA(found, small, sizeof(small)), sizeof(small));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::strlen(small), sizeof(small) - 1);
  EXPECT_EQ(std::string(small), std::string(path, sizeof(small) - 1));
  FreeLibrary(module);
}

int InTheProgram() { return 1; }

TEST(WinapiModule, NullAndProgramAddressesNameTheExecutable) {
  char expected[4096] = {};
  ASSERT_GT(::readlink("/proc/self/exe", expected, sizeof(expected) - 1), 0);
  char path[4096];
  ASSERT_GT(GetModuleFileNameA(nullptr, path, sizeof(path)), 0u);
  EXPECT_STREQ(path, expected);
  HMODULE program = nullptr;
  ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCSTR>(&InTheProgram), &program));
  ASSERT_GT(GetModuleFileNameA(program, path, sizeof(path)), 0u);
  EXPECT_STREQ(path, expected);
  HMODULE none = reinterpret_cast<HMODULE>(1);
  EXPECT_EQ(ErrorOf(GetModuleHandleExA(0, "never_loaded_library.dll", &none)), ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(none, nullptr);
}

}  // namespace
