// Weak references: an owner object hands out references that can tell whether
// the owner still wants to be reached.
//
// A CWeakReferenceOwner (usually a member of the object it speaks for) makes
// one shared Flag. GetRef() returns a CWeakReference to it; the references
// are counted in the flag's holder count. Invalidate() or the owner's
// destruction marks the flag invalid, and every reference, taken before or
// after, then reports IsValid() == false.
//
// Lifetime: the flag record is kept alive until both the owner and the last
// reference (or weak-pointer base) pointing at it are gone, so a reference
// may outlive its owner and still answer IsValid() == false safely.
//
//   details::CWeakReference ref;
//   {
//     details::CWeakReferenceOwner owner;
//     ref = owner.GetRef();   // ref.IsValid(), owner.HasRefs()
//   }                         // the owner is gone
//   ref.IsValid() == false;   // and the flag is still readable
//   ref.RefCount() == 1;
//
// Threads: references to one flag may be copied and destroyed on any number
// of threads at once (the counts are atomic). GetRef and Invalidate exclude
// each other through the owner's mutex; IsValid reads the flag without it. A
// true IsValid() is a momentary answer: it does not keep the owner alive, so
// the caller must itself make sure the owner is not invalidated while it
// uses the owner (for example by invalidating only on the thread that uses
// the references).
#pragma once

#include <OskaBase/Export.h>

#include <atomic>
#include <mutex>

namespace Oska {
namespace Base {
namespace details {

class CWeakReferenceOwner;

class OSKABASE_API CWeakReference {
 public:
  // The record shared by an owner and its references. Created by the owner;
  // it deletes itself when the owner and the last holder have both let go.
  // Not copyable.
  class OSKABASE_API Flag {
   public:
    // A valid flag for `owner`, held by that owner and by no reference yet.
    explicit Flag(const CWeakReferenceOwner* owner);
    Flag(const Flag&) = delete;
    Flag& operator=(const Flag&) = delete;

    // The owner pointer is not null.
    bool IsValid() const;
    // Clears the owner pointer; the flag stays in place, invalid for good.
    void Invalidate();
    // References and weak-pointer bases pointing at the flag right now.
    int HolderCount() const;

    // A reference starts or stops pointing at the flag. The last release by
    // a holder or by the owner deletes it.
    void AddHolder();
    void ReleaseHolder();
    // The owner lets go: invalidates the flag and drops the owner's hold.
    void ReleaseOwner();

   private:
    ~Flag();
    void Unretain();

    std::atomic<int> holder_count_;
    std::atomic<const CWeakReferenceOwner*> owner_;
    // Holders plus 1 while the owner keeps the flag; at 0 the flag is deleted.
    std::atomic<int> retain_count_;
  };

  // No flag: IsValid() == false, RefCount() == 0.
  CWeakReference();
  // Points at `flag` (may be null), counted as one more holder.
  CWeakReference(Flag* flag);
  CWeakReference(const CWeakReference& other);
  // Counts the new flag first and only then releases the old one, so
  // assigning a reference to itself changes nothing.
  CWeakReference& operator=(const CWeakReference& other);
  ~CWeakReference();

  // There is a flag and its owner has not invalidated it.
  bool IsValid() const;
  // The flag's holder count (this reference included), or 0 without a flag.
  int RefCount() const;

 private:
  friend class CWeakPtrBase;
  Flag* flag_;
};

// The object a family of weak references speaks for.
//
// Ownership: creates the flag and shares it with the references it hands
// out. Destruction invalidates the flag and drops the owner's hold; the flag
// itself goes when the last reference goes. Not copyable (a copy would be a
// second owner of the same flag).
class OSKABASE_API CWeakReferenceOwner {
 public:
  CWeakReferenceOwner();
  CWeakReferenceOwner(const CWeakReferenceOwner&) = delete;
  CWeakReferenceOwner& operator=(const CWeakReferenceOwner&) = delete;
  ~CWeakReferenceOwner();

  // A new reference to the flag (its holder count goes up by 1). After
  // Invalidate() it is a reference to the same, invalid flag.
  CWeakReference GetRef() const;
  // Marks the flag invalid for every reference, taken before or after.
  // Cannot be undone; calling it again does nothing more.
  void Invalidate();
  // Some reference still points at the flag (read without the mutex).
  bool HasRefs() const;

 private:
  CWeakReference::Flag* flag_;
  mutable std::mutex mutex_;
};

// The base of callers' weak-pointer templates: holds a counted pointer to a
// flag, exactly like CWeakReference (copying, assignment and destruction
// behave the same).
class OSKABASE_API CWeakPtrBase {
 public:
  CWeakPtrBase();
  CWeakPtrBase(const CWeakPtrBase& other);
  CWeakPtrBase& operator=(const CWeakPtrBase& other);
  ~CWeakPtrBase();

 protected:
  explicit CWeakPtrBase(const CWeakReference& ref);

  // For the derived template: whether the owner is still reachable, and how
  // many holders the flag has (0 without one).
  bool IsValid() const;
  int RefCount() const;

 private:
  CWeakReference::Flag* flag_;
};

}  // namespace details
}  // namespace Base
}  // namespace Oska
