#include "IPC/PipeErrorText.h"

namespace Oska {
namespace Base {

std::string PipeErrorText(unsigned long code) {
  switch (code) {
    case 2: return "ERROR_FILE_NOT_FOUND(The system cannot find the file specified.)";
    case 5: return "ERROR_ACCESS_DENIED(Access is denied.)";
    case 6: return "ERROR_INVALID_HANDLE(The handle is invalid.)";
    case 87: return "ERROR_INVALID_PARAMETER(The parameter is incorrect.)";
    case 109: return "ERROR_BROKEN_PIPE(The pipe has been ended.)";
    case 123:
      return "ERROR_INVALID_NAME(The filename, directory name, or volume label syntax is "
             "incorrect.)";
    case 317: return "ERROR_MR_MID_NOT_FOUND()";
    case 535: return "ERROR_PIPE_CONNECTED(There is a process on other end of the pipe.)";
    case 536:
      return "ERROR_PIPE_LISTENING(Waiting for a process to open the other end of the pipe.)";
    case 997: return "ERROR_IO_PENDING(Overlapped I/O operation is in progress.)";
    default: return std::to_string(code);
  }
}

}  // namespace Base
}  // namespace Oska
