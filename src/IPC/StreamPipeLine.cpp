// The stream pipeline facade.
#include <OskaBase/StreamPipeLine.h>

namespace Oska {
namespace Base {

CStreamPipeLine::CListener::~CListener() = default;

CStreamPipeLine::CStreamPipeLine(const std::string& name, CPipeLine::Mode mode,
                                 CListener* listener)
    : CPipeLine(new CStreamPipeLineImpl(name, mode, listener)) {}

CStreamPipeLine::~CStreamPipeLine() = default;

bool CStreamPipeLine::TransStream(int type, const char* data, unsigned long long length) {
  return static_cast<CStreamPipeLineImpl*>(m_pImpl)->TransStream(type, data, length);
}

}  // namespace Base
}  // namespace Oska
