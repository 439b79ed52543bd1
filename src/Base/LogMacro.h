// OSKA_LOG: the one logging call of the library's own sources. It frames the
// message as every log line of the library is framed:
//   "[<qualified function>]<message>[<source path>(<line>)]"
// e.g. OSKA_LOG(5, "QRN", "ReadFile error, %s.", name) in
// Oska::Base::CPipeLine::CPipeLineImpl::Read gives
//   [Oska::Base::CPipeLine::CPipeLineImpl::Read]ReadFile error, ...[src/IPC/PipelineWin.cpp(123)]
// The source path is relative to the project root (see the build's
// -fmacro-prefix-map).
#pragma once

#include <OskaBase/Log.h>

#include "Base/FunctionName.h"

#if defined(_MSC_VER)
#define OSKA_FUNCTION_SIGNATURE __FUNCSIG__
#else
#define OSKA_FUNCTION_SIGNATURE __PRETTY_FUNCTION__
#endif

#define OSKA_LOG(level, module, format, ...)                                                   \
  do {                                                                                         \
    static const ::Oska::Base::details::FunctionName oska_log_function_(OSKA_FUNCTION_SIGNATURE); \
    ::Oska::Base::details::KavoFormatLog((level), (module), "[%s]" format "[%s(%d)]",          \
                                         oska_log_function_.c_str(), ##__VA_ARGS__, __FILE__,   \
                                         __LINE__);                                             \
  } while (0)
