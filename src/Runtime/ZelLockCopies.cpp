// The copy operations of the runtime's locks, which its header declares and
// this library compiles and exports. They copy member by member; a lock's
// storage never takes over another lock's state (see ZEL_LockStorage), so a
// copied-to lock stays a working lock of its own.
#include <zel/zel.h>

ZEL_Mutex& ZEL_Mutex::operator=(const ZEL_Mutex& other) {
  m_lock = other.m_lock;
  return *this;
}

namespace zel {

// A new lock: built by the runtime's constructor, unlocked whatever the
// state of `other`.
zel_recursive_mutex::zel_recursive_mutex(const zel_recursive_mutex&) : zel_recursive_mutex() {}

zel_recursive_mutex& zel_recursive_mutex::operator=(const zel_recursive_mutex& other) {
  m_lock = other.m_lock;
  return *this;
}

}  // namespace zel
