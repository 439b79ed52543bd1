// The pipeline facade: forwards to the implementation it owns.
#include <OskaBase/PipeLine.h>

namespace Oska {
namespace Base {

CPipeLine::CPipeLine(CPipeLineImpl* impl) : m_pImpl(impl) {}

CPipeLine::~CPipeLine() {
  if (m_pImpl == nullptr) return;
  m_pImpl->CloseAndStop();
  delete m_pImpl;
  m_pImpl = nullptr;
}

bool CPipeLine::Connect() {
  if (m_pImpl == nullptr || !m_pImpl->IsOpen()) return false;
  if (m_pImpl->GetMode() == Server) return m_pImpl->ServerSideConnect();
  m_pImpl->ResetReportFlags();
  return false;
}

bool CPipeLine::IsConnect() const { return m_pImpl != nullptr && m_pImpl->IsOpen(); }

void CPipeLine::Close() {
  if (m_pImpl != nullptr) m_pImpl->CloseAndStop();
}

std::string CPipeLine::PipeName() { return m_pImpl != nullptr ? m_pImpl->Name() : std::string(); }

void CPipeLine::Read() {
  if (m_pImpl != nullptr) m_pImpl->Read();
}

}  // namespace Base
}  // namespace Oska
