// CSingleton<T>: one lazily created, process-wide instance of T.
//
// Ownership: s_instance_ owns the instance from its creation until the
// library (or, for a client's own T, the program) is unloaded; there is no
// reset. The instance is deleted through T's virtual destructor when
// s_instance_ itself is destroyed.
//
// Threads: Instance() may be called from any number of threads at once. The
// instance is created once, under mutex_; afterwards Instance() takes no lock
// (one acquire load). If T's constructor throws, s_instance_ stays empty,
// mutex_ is unlocked and the exception propagates; the next call tries again.
//
// T derives from CSingleton<T>, declares its constructor private and names
// CSingleton<T> its friend, so Instance() is the only way to reach it.
//
// The library's own instantiations (the main loop, the three named loops and
// the log) define mutex_ and s_instance_ inside the library as exported data,
// in an order that fixes their destruction at unload; see MessageLoop.h.
#pragma once

#include <OskaBase/Noncopyable.h>

#include <memory>
#include <mutex>

namespace Oska {
namespace Base {
namespace details {

// Acquire load and release store of the pointer held by a unique_ptr with the
// default deleter, whose only member is that pointer. The unlocked fast path
// of Instance() needs an atomic read of it, and the store that publishes a new
// instance must be the atomic counterpart, or the read would race with it.
template <class T>
T* LoadInstanceAcquire(const std::unique_ptr<T>& holder) {
  static_assert(sizeof(std::unique_ptr<T>) == sizeof(T*), "unique_ptr holds one pointer");
  T* const* slot = reinterpret_cast<T* const*>(&holder);
#if defined(__GNUC__) || defined(__clang__)
  return __atomic_load_n(slot, __ATOMIC_ACQUIRE);
#else
  // MSVC: volatile reads have acquire semantics (/volatile:ms, the default
  // on x86 and x64).
  return *const_cast<T* const volatile*>(slot);
#endif
}

template <class T>
void StoreInstanceRelease(std::unique_ptr<T>& holder, T* value) {
  T** slot = reinterpret_cast<T**>(&holder);
#if defined(__GNUC__) || defined(__clang__)
  __atomic_store_n(slot, value, __ATOMIC_RELEASE);
#else
  *const_cast<T* volatile*>(slot) = value;
#endif
}

}  // namespace details

template <class T>
class CSingleton : private CNoncopyable {
 public:
  ~CSingleton() = default;

  // Returns the one instance, creating it on first use.
  static T& Instance() {
    if (T* existing = details::LoadInstanceAcquire(s_instance_)) return *existing;
    std::lock_guard<std::mutex> lock(mutex_);
    if (T* existing = s_instance_.get()) return *existing;
    T* created = new T();
    details::StoreInstanceRelease(s_instance_, created);
    return *created;
  }

  // Guards the creation of the instance. Public only because the library's
  // instantiations are exported data; callers never lock it.
  static std::mutex mutex_;
  // Owns the instance. Callers never modify it.
  static std::unique_ptr<T> s_instance_;

 protected:
  CSingleton() = default;
};

// Definitions for a client's own T. The library's instantiations are
// explicit specializations declared in the headers of their classes and
// defined inside the library.
template <class T>
std::mutex CSingleton<T>::mutex_;
template <class T>
std::unique_ptr<T> CSingleton<T>::s_instance_;

}  // namespace Base
}  // namespace Oska
