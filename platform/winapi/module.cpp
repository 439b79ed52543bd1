// Modules on the dynamic loader. Windows and ELF agree on what matters here:
// a loaded library is reference-counted, loading it again returns the same
// handle, and an address can be mapped back to the library holding it
// (dladdr). They differ in three ways this family bridges or states:
//  - names: "zellog.dll" is "libzellog.so" here (see module.h);
//  - ordinals: ELF exports only names, so an ordinal n is looked up under
//    the name "ordinal_<n>";
//  - search order: a bare name is searched by the loader's rules (the
//    calling library's run path first), not in the executable's folder.
//    Callers that want a library beside their own module build its full
//    path from GetModuleFileNameA, which works the same on both systems.
// Libraries are opened RTLD_NOW so that a missing symbol fails the load, as
// it does on Windows, instead of a later call.
#include <winapi/module.h>
#include <winapi/error.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <string>
#include <unistd.h>

namespace {

std::string PlatformName(const char* name) {
  std::string path(name);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = base.rfind('.');
  std::string extension = dot == std::string::npos ? std::string() : base.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == ".dll") {
    base = "lib" + base.substr(0, dot) + ".so";
  } else if (dot == std::string::npos && !base.empty()) {
    base = "lib" + base + ".so";
  }
  return folder + base;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR name) {
  if (name == nullptr || *name == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* handle = ::dlopen(PlatformName(name).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) SetLastError(ERROR_MOD_NOT_FOUND);
  return handle;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  if (module == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (name == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  char ordinal_name[32];
  const char* symbol = name;
  if (IS_INTRESOURCE(name)) {
    std::snprintf(ordinal_name, sizeof(ordinal_name), "ordinal_%u",
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(name)));
    symbol = ordinal_name;
  }
  ::dlerror();
  void* address = ::dlsym(module, symbol);
  if (address == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(address);
}

BOOL FreeLibrary(HMODULE module) {
  if (module == nullptr || ::dlclose(module) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL GetModuleHandleExA(DWORD flags, LPCSTR name, HMODULE* module) {
  if (module == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *module = nullptr;
  void* handle = nullptr;
  if (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
    Dl_info info{};
    link_map* map = nullptr;
    if (name == nullptr ||
        ::dladdr1(name, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
        map == nullptr) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return FALSE;
    }
    // The program itself is recorded with an empty name; dlopen(null) is
    // its handle.
    handle = map->l_name == nullptr || map->l_name[0] == '\0'
                 ? ::dlopen(nullptr, RTLD_NOW)
                 : ::dlopen(map->l_name, RTLD_NOW | RTLD_NOLOAD);
  } else if (name == nullptr) {
    handle = ::dlopen(nullptr, RTLD_NOW);
  } else {
    handle = ::dlopen(PlatformName(name).c_str(), RTLD_NOW | RTLD_NOLOAD);
  }
  if (handle == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  // The program's own handle is never unloaded, so it needs no reference
  // either way; a library's RTLD_NOLOAD open added one, dropped again when
  // the caller asked for none.
  if (flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) ::dlclose(handle);
  *module = handle;
  return TRUE;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  if (buffer == nullptr || size == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string path;
  link_map* map = nullptr;
  if (module != nullptr && (::dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (map != nullptr && map->l_name != nullptr && map->l_name[0] != '\0') {
    path = map->l_name;
  } else {
    // The executable: the loader records it with an empty name.
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    if (n <= 0) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return 0;
    }
    path.assign(exe, static_cast<std::size_t>(n));
  }
  if (path.size() >= size) {
    std::memcpy(buffer, path.data(), size - 1);
    buffer[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(path.size());
}
