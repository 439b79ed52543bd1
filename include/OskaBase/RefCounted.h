// Intrusive reference-count bases for callers' classes and smart-pointer
// templates. The library keeps only the count: the derived class (or the
// caller's pointer template) calls AddRef/Release and deletes the object when
// Release() returns true.
//
//   struct Node : details::CRefCountedBase {
//     void Retain() { AddRef(); }
//     void Drop() { if (Release()) delete this; }
//   };
//   Node* n = new Node;        // n->RefCount() == 0
//   n->Retain(); n->Retain();  // 2
//   n->Drop();                 // n->HasOneRef()
//   n->Drop();                 // Release() returned true: deleted
#pragma once

#include <OskaBase/Export.h>

#include <atomic>

namespace Oska {
namespace Base {
namespace details {

// A count for objects used by one thread at a time: nothing is synchronised.
class OSKABASE_API CRefCountedBase {
 public:
  bool HasOneRef() const;
  int RefCount() const;
  // false: this count is not safe across threads. (Spelled "Inplements".)
  static bool InplementsThreadSafeReferenceCounting();

 protected:
  CRefCountedBase();
  // A copy is a new object that nobody references yet: it starts at 0.
  CRefCountedBase(const CRefCountedBase& other);
  // Keeps the target's own count. The count belongs to the object's
  // identity, not to its value: copying the source's count would let
  // holders of the target release it too early or never.
  CRefCountedBase& operator=(const CRefCountedBase& other);
  // Does nothing; the caller has already seen Release() return true.
  ~CRefCountedBase();

  void AddRef();
  // Subtracts 1; true when the count has become 0 and the caller must delete
  // the object.
  bool Release();

 private:
  int ref_count_;
};

// The same count with atomic read-modify-write operations: AddRef and Release
// may be called from any number of threads at once, and exactly one Release
// (the one that drops the last reference) returns true. HasOneRef and
// RefCount give a momentary value.
class OSKABASE_API CRefCountedThreadSafeBase {
 public:
  bool HasOneRef() const;
  int RefCount() const;
  // true.
  static bool InplementsThreadSafeReferenceCounting();

 protected:
  CRefCountedThreadSafeBase();
  // Starts at 0, as CRefCountedBase's copy does.
  CRefCountedThreadSafeBase(const CRefCountedThreadSafeBase& other);
  // Keeps the target's own count (see CRefCountedBase).
  CRefCountedThreadSafeBase& operator=(const CRefCountedThreadSafeBase& other);
  ~CRefCountedThreadSafeBase();

  void AddRef();
  // Atomic decrement; true when the value before it was 1. Orders every
  // earlier use of the object by any thread before the deleting thread's
  // delete.
  bool Release();

 private:
  std::atomic<int> ref_count_;
};

}  // namespace details
}  // namespace Base
}  // namespace Oska
