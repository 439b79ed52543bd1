// A test build of the zellog binding: instead of loading zellog it keeps
// every call, exactly as zellog would receive it.
#include "Log/CapturingZellog.h"

#include "Runtime/ZellogBinding.h"

namespace oska_test {

std::mutex CapturedZellog::mutex;
std::vector<CapturedLine> CapturedZellog::lines;
std::vector<std::string> CapturedZellog::configs;

std::vector<CapturedLine> CapturedZellog::Take() {
  std::lock_guard<std::mutex> lock(mutex);
  std::vector<CapturedLine> taken;
  taken.swap(lines);
  return taken;
}

}  // namespace oska_test

namespace Oska {
namespace Base {
namespace runtime {

void ZellogInitialize(const char* config) {
  std::lock_guard<std::mutex> lock(oska_test::CapturedZellog::mutex);
  oska_test::CapturedZellog::configs.push_back(config);
}

void ZellogWrite(int level, const char* module, const char* text) {
  std::lock_guard<std::mutex> lock(oska_test::CapturedZellog::mutex);
  oska_test::CapturedZellog::lines.push_back({level, module, text});
}

}  // namespace runtime
}  // namespace Base
}  // namespace Oska
