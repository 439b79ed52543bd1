// The message pipeline facade.
#include <OskaBase/MessagePipeLine.h>

namespace Oska {
namespace Base {

CMessagePipeLine::CListener::~CListener() = default;

CMessagePipeLine::CMessagePipeLine(const std::string& name, CPipeLine::Mode mode,
                                   CListener* listener)
    : CPipeLine(new CMessagePipeLineImpl(name, mode, listener)) {}

CMessagePipeLine::~CMessagePipeLine() = default;

bool CMessagePipeLine::TransMessage(const std::string& message) {
  return static_cast<CMessagePipeLineImpl*>(m_pImpl)->TransMessage(message);
}

}  // namespace Base
}  // namespace Oska
