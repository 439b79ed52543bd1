// The whole log path: a pipeline failure goes through the library's log call
// and the real zellog into a log file.
#include <OskaBase/OskaBase.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "IPC/PeerProcess.h"

namespace {

TEST(PipelineLogFile, AFailureIsWrittenAsOneFramedLineAtCriticalLevel) {
  const std::string path = "/tmp/oska-ipc-log-" + std::to_string(::getpid()) + ".log";
  std::remove(path.c_str());
  Oska::Base::details::CLog::InitLog("file=" + path + "; console=0; level=trace");
  const std::string name = pipe_test::UniquePipeName("logfile");
  Oska::Base::CStreamPipeLine client(name, Oska::Base::CPipeLine::Client, nullptr);
  EXPECT_FALSE(client.IsConnect());

  std::ifstream file(path);
  if (!file) {
    // zellog opens its file when initialised; no file means the library
    // could not load zellog in this build (sanitizer runtimes intercept
    // dlopen and lose the library's own search path).
    GTEST_SKIP() << "zellog was not loaded: no " << path;
  }
  std::stringstream content;
  content << file.rdbuf();
  const std::string expected =
      "[critical] [QRN] [Oska::Base::CStreamPipeLineImpl::CreatePipeLine]CreatePipeLine pipe [" + name +
      "] failed, the mode is 1.The error message = [ERROR_FILE_NOT_FOUND(The system cannot find the "
      "file specified.)].[src/IPC/PipelineWin.cpp(";
  const size_t at = content.str().find(expected);
  ASSERT_NE(at, std::string::npos) << content.str();
  const std::string rest = content.str().substr(at + expected.size());
  EXPECT_EQ(rest.substr(rest.find(')'), 3), ")]\n");
  std::remove(path.c_str());
}

}  // namespace
