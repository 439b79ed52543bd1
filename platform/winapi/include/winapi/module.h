// Loading libraries at run time and finding their exports: LoadLibraryA,
// GetProcAddress, FreeLibrary, GetModuleHandleExA and GetModuleFileNameA, on
// the dynamic loader (dlopen).
//
// A module handle (HMODULE) in this layer is the loader's handle from dlopen.
// Windows library names are mapped to the platform's: a file name ending in
// ".dll" (any case), or with no extension at all, names the shared object
// "lib<stem>.so" in the same folder ("zellog.dll" and "zellog" give
// "libzellog.so", "C:\x\zellog.dll" gives "C:/x/libzellog.so"); any other
// name is used as it is ("libm.so.6"). Backslashes are taken as folder
// separators.
#pragma once

#include <winapi/base.h>

typedef void* HMODULE;
typedef void* HINSTANCE;
typedef std::intptr_t (*FARPROC)();

// An export ordinal in the place of a name, as the SDK defines it.
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPSTR>(static_cast<std::uintptr_t>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(p) ((reinterpret_cast<std::uintptr_t>(p) >> 16) == 0)

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x1u
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x2u
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x4u

// Loads the library `name` (mapped as above) with its dependencies, or adds
// a reference to it when already loaded. A name without a folder is searched
// as the loader searches (the caller's run path, LD_LIBRARY_PATH, the system
// folders), not in the executable's folder as Windows would. Null with
// ERROR_MOD_NOT_FOUND when it cannot be loaded, or ERROR_INVALID_PARAMETER
// for a null or empty name.
HMODULE LoadLibraryA(LPCSTR name);

// The address of the export `name` of `module`. ELF has no export ordinals:
// an ordinal n (MAKEINTRESOURCEA(n)) is looked up as the symbol
// "ordinal_<n>", which a library built for this layer exports as an alias of
// the function Windows exports at that ordinal. Null with
// ERROR_PROC_NOT_FOUND when there is no such export, ERROR_INVALID_HANDLE
// for a null module.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);

// Drops one reference to `module`; the library is unloaded with the last.
// FALSE with ERROR_INVALID_HANDLE for a null module.
BOOL FreeLibrary(HMODULE module);

// With GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, `name` is an address inside
// a loaded module (code or data), and *module receives that module; without
// it, `name` is a library name as for LoadLibraryA, which must already be
// loaded, and null names the executable. A reference is added unless
// GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT is given (FreeLibrary drops
// it). FALSE with ERROR_MOD_NOT_FOUND (or ERROR_INVALID_PARAMETER for a null
// `module`) and *module null on failure.
BOOL GetModuleHandleExA(DWORD flags, LPCSTR name, HMODULE* module);

// Writes the full path of `module`'s file (null: the executable) into
// `buffer` of `size` characters and returns its length without the NUL.
// When the path does not fit it is cut to size - 1 characters plus the NUL,
// `size` is returned and the last error is ERROR_INSUFFICIENT_BUFFER, as on
// Windows. 0 on failure (ERROR_MOD_NOT_FOUND, ERROR_INVALID_PARAMETER).
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
