// Files and directories of the runtime, on real files in a scratch folder.
#include <zel/zel.h>

#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using oska_test::ReadWholeFile;
using oska_test::ScratchDir;

constexpr unsigned kCreateEmptyReadWrite = 15;  // read | write | create | truncate

void SetModificationTime(const std::string& path, time_t seconds) {
  timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(ZelFile, FlagsFifteenCreateOrEmptyAFileOpenForWriting) {
  ScratchDir dir;
  const std::string path = dir / "new.dmp";
  for (const char* content : {"previous content", "hello"}) {
    void* file = ZEL_OpenFile(path.c_str(), kCreateEmptyReadWrite, ZEL_FILE_MODE_DEFAULT);
    ASSERT_NE(file, nullptr);
    ZEL_FINFO_S info{};
    ASSERT_EQ(ZEL_FileStat(file, &info), 0);
    EXPECT_EQ(info.size, 0);  // the earlier round's content is gone
    EXPECT_EQ(ZEL_WriteFile(file, content, static_cast<uint32_t>(std::strlen(content))),
              static_cast<std::int64_t>(std::strlen(content)));
    EXPECT_EQ(ZEL_FileFlush(file), 0);
    ASSERT_EQ(ZEL_FileStat(file, &info), 0);
    EXPECT_EQ(info.size, static_cast<std::int64_t>(std::strlen(content)));
    EXPECT_EQ(info.type, ZEL_FTYPE_FILE);
    EXPECT_GT(info.mtime, 0);
    EXPECT_EQ(ZEL_CloseFile(file), 0);
  }
  EXPECT_EQ(ReadWholeFile(path), "hello");
}

TEST(ZelFile, HandleIsACloseOnExecDescriptor) {
  ScratchDir dir;
  void* file = ZEL_OpenFile((dir / "f").c_str(), kCreateEmptyReadWrite, ZEL_FILE_MODE_DEFAULT);
  ASSERT_NE(file, nullptr);
  const int fd = static_cast<int>(reinterpret_cast<intptr_t>(file));
  EXPECT_GT(fd, 2);
  EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
  ZEL_CloseFile(file);
}

TEST(ZelFile, ExplicitPermissionBitsAreUsed) {
  ScratchDir dir;
  const std::string path = dir / "private";
  void* file = ZEL_OpenFile(path.c_str(), kCreateEmptyReadWrite, 0600);
  ASSERT_NE(file, nullptr);
  ZEL_FINFO_S info{};
  ZEL_FileStat(file, &info);
  EXPECT_EQ(info.mode, 0600u);
  ZEL_CloseFile(file);
}

TEST(ZelFile, FailuresGiveNullOrMinusOne) {
  ScratchDir dir;
  EXPECT_EQ(ZEL_OpenFile((dir / "missing").c_str(), ZEL_FILE_READ, 0), nullptr);
  EXPECT_EQ(ZEL_OpenFile((dir / "nodir/f").c_str(), kCreateEmptyReadWrite, 0), nullptr);
  EXPECT_EQ(ZEL_OpenFile(nullptr, kCreateEmptyReadWrite, 0), nullptr);
  EXPECT_EQ(ZEL_OpenFile("", kCreateEmptyReadWrite, 0), nullptr);
  EXPECT_EQ(ZEL_OpenFile((dir / "f").c_str(), ZEL_FILE_CREATE, 0), nullptr);  // neither read nor write
  const std::string excl = dir / "excl";
  void* file = ZEL_OpenFile(excl.c_str(), ZEL_FILE_WRITE | ZEL_FILE_CREATE | ZEL_FILE_EXCL, 0);
  ASSERT_NE(file, nullptr);
  ZEL_CloseFile(file);
  EXPECT_EQ(ZEL_OpenFile(excl.c_str(), ZEL_FILE_WRITE | ZEL_FILE_CREATE | ZEL_FILE_EXCL, 0), nullptr);
  EXPECT_EQ(ZEL_CloseFile(nullptr), -1);
  EXPECT_EQ(ZEL_FileStat(nullptr, nullptr), -1);
  EXPECT_EQ(ZEL_FileFlush(nullptr), -1);
  EXPECT_EQ(ZEL_DeleteFile((dir / "missing").c_str()), -1);
  EXPECT_EQ(ZEL_DeleteFile(nullptr), -1);
}

TEST(ZelFile, AppendAndReadBack) {
  ScratchDir dir;
  const std::string path = dir / "log";
  for (const char* part : {"one,", "two"}) {
    void* file = ZEL_OpenFile(path.c_str(), ZEL_FILE_WRITE | ZEL_FILE_CREATE | ZEL_FILE_APPEND, 0);
    ASSERT_NE(file, nullptr);
    ZEL_WriteFile(file, part, static_cast<uint32_t>(std::strlen(part)));
    ZEL_CloseFile(file);
  }
  void* file = ZEL_OpenFile(path.c_str(), ZEL_FILE_READ, 0);
  char text[16] = {};
  EXPECT_EQ(ZEL_ReadFile(file, text, sizeof(text)), 7);
  EXPECT_STREQ(text, "one,two");
  EXPECT_EQ(ZEL_ReadFile(file, text, sizeof(text)), 0);
  ZEL_CloseFile(file);
  EXPECT_EQ(ZEL_DeleteFile(path.c_str()), 0);
  EXPECT_NE(::access(path.c_str(), F_OK), 0);
}

TEST(ZelDirectory, MakeDirCreatesOneLevelOnly) {
  ScratchDir dir;
  EXPECT_EQ(ZEL_MakeDir((dir / "a/b").c_str()), -1);
  EXPECT_EQ(ZEL_MakeDir((dir / "a").c_str()), 0);
  EXPECT_EQ(ZEL_MakeDir((dir / "a").c_str()), -1);  // exists
  EXPECT_EQ(ZEL_MakeDir((dir / "a/b").c_str()), 0);
  EXPECT_EQ(ZEL_RemoveDir((dir / "a").c_str()), -1);  // not empty
  EXPECT_EQ(ZEL_RemoveDir((dir / "a/b").c_str()), 0);
  EXPECT_EQ(ZEL_RemoveDir((dir / "a").c_str()), 0);
  EXPECT_EQ(ZEL_RemoveDir((dir / "a").c_str()), -1);
}

TEST(ZelDirectory, EnumerationListsEveryNameWithItsTimeStamp) {
  ScratchDir dir;
  for (const char* name : {"old.dmp", "new.dmp", "mid.txt"}) {
    void* f = ZEL_OpenFile((dir / name).c_str(), kCreateEmptyReadWrite, ZEL_FILE_MODE_DEFAULT);
    ZEL_WriteFile(f, "12345", 5);
    ZEL_CloseFile(f);
  }
  ASSERT_EQ(ZEL_MakeDir((dir / "sub").c_str()), 0);
  SetModificationTime(dir / "old.dmp", 1000000000);  // 2001
  SetModificationTime(dir / "mid.txt", 1500000000);  // 2017
  SetModificationTime(dir / "new.dmp", 4200000000);  // after 2038: needs 64 bits

  void* handle = ZEL_OpenDir(dir.path().c_str());
  ASSERT_NE(handle, nullptr);
  std::map<std::string, ZEL_DIRENT_S> seen;
  ZEL_DIRENT_S entry;
  int rc;
  while ((rc = ZEL_FindFileInDir(handle, &entry)) == 0) seen[entry.name] = entry;
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(ZEL_FindFileInDir(handle, &entry), 1);  // stays at the end
  EXPECT_EQ(ZEL_CloseDir(handle), 0);

  ASSERT_EQ(seen.size(), 6u);  // ".", "..", three files, one folder
  EXPECT_EQ(seen.count("."), 1u);
  EXPECT_EQ(seen.count(".."), 1u);
  EXPECT_EQ(seen["sub"].type, ZEL_FTYPE_DIR);
  EXPECT_EQ(seen["old.dmp"].type, ZEL_FTYPE_FILE);
  EXPECT_EQ(seen["old.dmp"].size, 5);
  EXPECT_EQ(seen["old.dmp"].mtime, 1000000000LL * 1000000000LL);
  EXPECT_EQ(seen["new.dmp"].mtime, 4200000000LL * 1000000000LL);
  EXPECT_LT(seen["old.dmp"].mtime, seen["mid.txt"].mtime);
  EXPECT_LT(seen["mid.txt"].mtime, seen["new.dmp"].mtime);
}

TEST(ZelDirectory, OpenDirOnMissingOrFileGivesNull) {
  ScratchDir dir;
  EXPECT_EQ(ZEL_OpenDir((dir / "missing").c_str()), nullptr);
  void* f = ZEL_OpenFile((dir / "file").c_str(), kCreateEmptyReadWrite, ZEL_FILE_MODE_DEFAULT);
  ZEL_CloseFile(f);
  EXPECT_EQ(ZEL_OpenDir((dir / "file").c_str()), nullptr);
  EXPECT_EQ(ZEL_OpenDir(nullptr), nullptr);
  EXPECT_EQ(ZEL_OpenDir(""), nullptr);
  EXPECT_EQ(ZEL_FindFileInDir(nullptr, nullptr), -1);
  EXPECT_EQ(ZEL_CloseDir(nullptr), -1);
}

TEST(ZelProcess, ExePathIsTheRunningImage) {
  char expected[4096] = {};
  ASSERT_GT(::readlink("/proc/self/exe", expected, sizeof(expected) - 1), 0);
  char buffer[1040] = {};
  ASSERT_EQ(ZEL_GetCurExePath(buffer, sizeof(buffer)), 0);
  EXPECT_STREQ(buffer, expected);
  const int exact = static_cast<int>(std::strlen(expected)) + 1;
  char fits[4096];
  EXPECT_EQ(ZEL_GetCurExePath(fits, exact), 0);
  EXPECT_EQ(ZEL_GetCurExePath(fits, exact - 1), -1);
  EXPECT_EQ(ZEL_GetCurExePath(nullptr, 10), -1);
}

TEST(ZelProcess, HostNameIsTheSystems) {
  char expected[256] = {};
  ASSERT_EQ(::gethostname(expected, sizeof(expected) - 1), 0);
  char buffer[256] = {};
  ASSERT_EQ(ZEL_GetHostName(buffer, 256), 0);
  EXPECT_STREQ(buffer, expected);
  EXPECT_EQ(ZEL_GetHostName(buffer, static_cast<int>(std::strlen(expected))), -1);
}

}  // namespace
