// zellog's configuration parser on arbitrary text: it must never crash, read
// out of bounds or throw, and what it accepts must stay within its ranges.
#include "config.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);  // may hold NULs: parsed up to the first
  const zellog::Settings s = zellog::ParseConfig(text.c_str());
  if (s.max_size < 1024 || s.max_size > 1024ull * 1024 * 1024 * 1024) std::abort();
  if (s.max_files > 1000) std::abort();
  if (s.level < 0 || s.level > 6) std::abort();
  for (const std::string& p : s.problems) {
    if (p.size() > 400) std::abort();  // hostile text is quoted short
  }
  return 0;
}
