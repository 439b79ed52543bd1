// What the library handed to zellog, captured by the test build of the
// binding (CapturingZellog.cpp) that the log tests link in place of the real
// one.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace oska_test {

struct CapturedLine {
  int level;
  const char* module;  // the pointer as passed
  std::string text;
};

struct CapturedZellog {
  static std::mutex mutex;
  static std::vector<CapturedLine> lines;     // guarded by mutex
  static std::vector<std::string> configs;    // guarded by mutex

  // The lines captured so far, removed from the capture.
  static std::vector<CapturedLine> Take();
};

}  // namespace oska_test
