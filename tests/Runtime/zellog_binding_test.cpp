// The binding to zellog: finding its entries by ordinal in real libraries,
// and the library's log calls arriving in zellog's file end to end.
#include "Runtime/ZellogBinding.h"

#include <OskaBase/Log.h>
#include <zellog/zellog.h>

#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Oska::Base::runtime::LoadZellog;
using Oska::Base::runtime::ZellogEntries;

const std::string kZellogDll = std::string(OSKA_ZELLOG_DIR) + "/zellog.dll";
const std::string kProbeDll = std::string(OSKA_MODULE_PROBE_DIR) + "/module_probe.dll";

TEST(ZellogBinding, FindsBothEntriesByOrdinal) {
  const ZellogEntries entries = LoadZellog({kZellogDll});
  EXPECT_EQ(entries.initialize, &zellog_initialize);
  EXPECT_EQ(entries.write, &zellog_write);
}

TEST(ZellogBinding, SkipsMissingLibrariesAndLibrariesWithoutTheEntries) {
  const ZellogEntries entries = LoadZellog({"/no/such/folder/zellog.dll", kProbeDll, kZellogDll});
  EXPECT_EQ(entries.initialize, &zellog_initialize);
  EXPECT_EQ(entries.write, &zellog_write);
}

TEST(ZellogBinding, NothingFoundGivesNoEntries) {
  const ZellogEntries entries = LoadZellog({"/no/such/folder/zellog.dll", kProbeDll});
  EXPECT_EQ(entries.initialize, nullptr);
  EXPECT_EQ(entries.write, nullptr);
  EXPECT_EQ(LoadZellog({}).write, nullptr);
}

TEST(LibraryLog, LinesReachZellogsFileThroughTheLibrary) {
  oska_test::ScratchDir dir;
  const std::string path = dir / "viewer.log";
  Oska::Base::details::CLog::InitLog("file=" + path + "; level=warning");
  Oska::Base::details::KavoFormatLog(5, "QRN", "[%s]ReadFile error, %s.[%s(%d)]",
                                     "Oska::Base::CPipeLine::CPipeLineImpl::Read", "ERROR_BROKEN_PIPE",
                                     "src/IPC/PipelineWin.cpp", 321);
  Oska::Base::details::KavoFormatLog(2, "QRN", "below the minimum");
  Oska::Base::details::CLog::UninitLog();
  const std::string text = oska_test::ReadWholeFile(path);
  EXPECT_NE(text.find("] [critical] [QRN] [Oska::Base::CPipeLine::CPipeLineImpl::Read]ReadFile error, "
                      "ERROR_BROKEN_PIPE.[src/IPC/PipelineWin.cpp(321)]\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("below the minimum"), std::string::npos);
  zellog_close();
}

}  // namespace
