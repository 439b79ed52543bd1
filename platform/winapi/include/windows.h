// The one Windows header the library's sources include. On Windows the SDK's
// own <windows.h> is found instead and this folder is not on the include path;
// on Linux it brings in every family of the POSIX-backed layer.
#pragma once

#include <winapi/base.h>
#include <winapi/error.h>
#include <winapi/thread.h>
#include <winapi/counter.h>
#include <winapi/codepage.h>
#include <winapi/module.h>
#include <winapi/guid.h>
#include <winapi/handle.h>
#include <winapi/pipe.h>
