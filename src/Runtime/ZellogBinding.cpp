// zellog reached at run time through the module loader, by ordinal.
#include "Runtime/ZellogBinding.h"

#include <windows.h>

namespace Oska {
namespace Base {
namespace runtime {
namespace {

constexpr const char* kZellogName = "zellog.dll";
constexpr WORD kInitializeOrdinal = 25;
constexpr WORD kWriteOrdinal = 26;

// Function pointer types differ from FARPROC; going through void (*)() is
// the conversion compilers accept without a cast-function-type warning.
template <typename F>
F Entry(HMODULE module, WORD ordinal) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
}

// The folder of the module holding this code, with its trailing separator;
// empty when it cannot be told.
std::string OwnFolder() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(&OwnFolder), &self)) {
    return std::string();
  }
  char path[4096] = {};
  const DWORD length = GetModuleFileNameA(self, path, sizeof(path));
  if (length == 0 || length >= sizeof(path)) return std::string();
  const std::string file(path, length);
  const std::size_t separator = file.find_last_of("/\\");
  return separator == std::string::npos ? std::string() : file.substr(0, separator + 1);
}

const ZellogEntries& Zellog() {
  static const ZellogEntries entries = [] {
    std::vector<std::string> candidates;
    const std::string folder = OwnFolder();
    if (!folder.empty()) candidates.push_back(folder + kZellogName);
    candidates.push_back(kZellogName);
    return LoadZellog(candidates);
  }();
  return entries;
}

}  // namespace

ZellogEntries LoadZellog(const std::vector<std::string>& candidates) {
  for (const std::string& candidate : candidates) {
    HMODULE module = LoadLibraryA(candidate.c_str());
    if (module == nullptr) continue;
    ZellogEntries entries;
    entries.initialize = Entry<decltype(entries.initialize)>(module, kInitializeOrdinal);
    entries.write = Entry<decltype(entries.write)>(module, kWriteOrdinal);
    if (entries.initialize != nullptr && entries.write != nullptr) return entries;  // never freed
    FreeLibrary(module);
  }
  return ZellogEntries();
}

void ZellogInitialize(const char* config) {
  if (const auto initialize = Zellog().initialize) initialize(config);
}

void ZellogWrite(int level, const char* module, const char* text) {
  if (const auto write = Zellog().write) write(level, module, text);
}

}  // namespace runtime
}  // namespace Base
}  // namespace Oska
