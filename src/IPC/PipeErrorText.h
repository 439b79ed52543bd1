// The names pipeline log lines give Windows error codes.
#pragma once

#include <string>

namespace Oska {
namespace Base {

// The text of `code` for pipeline log and debug lines: the known pipe errors
// by name and message, any other code as its decimal number.
//   PipeErrorText(109) == "ERROR_BROKEN_PIPE(The pipe has been ended.)"
//   PipeErrorText(234) == "234"
std::string PipeErrorText(unsigned long code);

}  // namespace Base
}  // namespace Oska
