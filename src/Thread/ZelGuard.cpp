// ZEL_Guard: declared by the runtime's header, compiled and exported here.
#include <zel/zel.h>

ZEL_Guard::ZEL_Guard(ZEL_Mutex* mutex) : m_pMutex(mutex) {
  if (m_pMutex != nullptr) m_pMutex->Lock();
}

ZEL_Guard::~ZEL_Guard() { Release(); }

void ZEL_Guard::Release() {
  if (m_pMutex != nullptr) {
    m_pMutex->Unlock();
    m_pMutex = nullptr;
  }
}
