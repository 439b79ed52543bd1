// The locks over pthread mutexes. The pthread object lives inside the lock's
// own storage (no allocation), so constructing a lock cannot fail for want of
// memory; the storage size is checked against the platform's at compile time.
#include <zel/zel.h>

#include <new>
#include <pthread.h>

namespace {

static_assert(sizeof(pthread_mutex_t) <= sizeof(ZEL_LockStorage::bytes),
              "a pthread mutex fits a lock's storage");
static_assert(alignof(pthread_mutex_t) <= alignof(ZEL_LockStorage),
              "a lock's storage is aligned for a pthread mutex");

pthread_mutex_t* Native(ZEL_LockStorage& storage) {
  return std::launder(reinterpret_cast<pthread_mutex_t*>(storage.bytes));
}

void InitNative(ZEL_LockStorage& storage, int type) {
  pthread_mutexattr_t attr;
  ::pthread_mutexattr_init(&attr);
  ::pthread_mutexattr_settype(&attr, type);
  pthread_mutex_t* mutex = new (storage.bytes) pthread_mutex_t;
  ::pthread_mutex_init(mutex, &attr);
  ::pthread_mutexattr_destroy(&attr);
}

}  // namespace

ZEL_Mutex::ZEL_Mutex() { InitNative(m_lock, PTHREAD_MUTEX_DEFAULT); }

ZEL_Mutex::~ZEL_Mutex() { ::pthread_mutex_destroy(Native(m_lock)); }

int ZEL_Mutex::Lock() { return ::pthread_mutex_lock(Native(m_lock)); }

int ZEL_Mutex::Unlock() { return ::pthread_mutex_unlock(Native(m_lock)); }

namespace zel {

zel_recursive_mutex::zel_recursive_mutex() { InitNative(m_lock, PTHREAD_MUTEX_RECURSIVE); }

zel_recursive_mutex::~zel_recursive_mutex() { ::pthread_mutex_destroy(Native(m_lock)); }

void zel_recursive_mutex::lock() { ::pthread_mutex_lock(Native(m_lock)); }

bool zel_recursive_mutex::try_lock() { return ::pthread_mutex_trylock(Native(m_lock)) == 0; }

void zel_recursive_mutex::unlock() { ::pthread_mutex_unlock(Native(m_lock)); }

}  // namespace zel
