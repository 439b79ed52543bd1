// The binding to zellog's two entry points: initialise from a configuration
// text (export ordinal 25) and write one line (ordinal 26). zellog is loaded
// at the first call, from the folder of this library first and then by the
// system's search ("zellog.dll"; the Windows layer maps the name on other
// systems), and stays loaded until the process ends: a log call may come at
// any time, even during unload. If zellog cannot be found, or lacks either
// entry, both calls do nothing and nothing fails; the lookup is not retried.
//
// Only details::CLog::InitLog calls ZellogInitialize and only
// details::KavoFormatLog calls ZellogWrite. Both may be called from any
// thread, concurrently; the first call of either does the loading, and the
// others wait for it.
#pragma once

#include <string>
#include <vector>

namespace Oska {
namespace Base {
namespace runtime {

struct ZellogEntries {
  int (*initialize)(const char* config) = nullptr;
  int (*write)(int level, const char* module, const char* text) = nullptr;
};

// Loads the first of `candidates` (library names or paths as LoadLibraryA
// takes them) that loads and exports both entries, and returns them; both
// null when none does. A candidate that loads without both entries is
// released again.
ZellogEntries LoadZellog(const std::vector<std::string>& candidates);

// Passes `config` to zellog's initialise entry; its result is not examined.
void ZellogInitialize(const char* config);

// Passes the line to zellog's write entry unchanged; its result is not
// examined.
void ZellogWrite(int level, const char* module, const char* text);

}  // namespace runtime
}  // namespace Base
}  // namespace Oska
