// The weak-reference flag and its holders.
//
// The flag carries two counts. The holder count is what callers see
// (HasRefs, RefCount). The retain count is the holders plus one for the
// owner, and decides when the flag record is freed: only when the owner has
// let go and the last holder is gone. So a reference that outlives its owner
// still reads a live flag, one whose owner pointer is null.
//
// A holder is always made from a pointer that is already retained (by the
// owner inside GetRef, or by the reference being copied), so an increment can
// never meet a flag that is being freed; increments are therefore relaxed,
// and the decrements acquire-release so that the thread that frees the flag
// sees every other thread's last use of it.
#include <OskaBase/WeakReference.h>

namespace Oska {
namespace Base {
namespace details {

CWeakReference::Flag::Flag(const CWeakReferenceOwner* owner)
    : holder_count_(0), owner_(owner), retain_count_(1) {}

CWeakReference::Flag::~Flag() = default;

bool CWeakReference::Flag::IsValid() const {
  return owner_.load(std::memory_order_acquire) != nullptr;
}

void CWeakReference::Flag::Invalidate() { owner_.store(nullptr, std::memory_order_release); }

int CWeakReference::Flag::HolderCount() const {
  return holder_count_.load(std::memory_order_acquire);
}

void CWeakReference::Flag::AddHolder() {
  holder_count_.fetch_add(1, std::memory_order_relaxed);
  retain_count_.fetch_add(1, std::memory_order_relaxed);
}

void CWeakReference::Flag::ReleaseHolder() {
  holder_count_.fetch_sub(1, std::memory_order_acq_rel);
  Unretain();
}

void CWeakReference::Flag::ReleaseOwner() {
  Invalidate();
  Unretain();
}

void CWeakReference::Flag::Unretain() {
  if (retain_count_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

CWeakReference::CWeakReference() : flag_(nullptr) {}

CWeakReference::CWeakReference(Flag* flag) : flag_(flag) {
  if (flag_ != nullptr) flag_->AddHolder();
}

CWeakReference::CWeakReference(const CWeakReference& other) : CWeakReference(other.flag_) {}

CWeakReference& CWeakReference::operator=(const CWeakReference& other) {
  Flag* incoming = other.flag_;
  if (incoming != nullptr) incoming->AddHolder();
  if (flag_ != nullptr) flag_->ReleaseHolder();
  flag_ = incoming;
  return *this;
}

CWeakReference::~CWeakReference() {
  if (flag_ != nullptr) flag_->ReleaseHolder();
}

bool CWeakReference::IsValid() const { return flag_ != nullptr && flag_->IsValid(); }

int CWeakReference::RefCount() const { return flag_ != nullptr ? flag_->HolderCount() : 0; }

CWeakReferenceOwner::CWeakReferenceOwner() : flag_(new CWeakReference::Flag(this)) {}

CWeakReferenceOwner::~CWeakReferenceOwner() {
  std::lock_guard<std::mutex> lock(mutex_);
  flag_->ReleaseOwner();
  flag_ = nullptr;
}

CWeakReference CWeakReferenceOwner::GetRef() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return CWeakReference(flag_);
}

void CWeakReferenceOwner::Invalidate() {
  std::lock_guard<std::mutex> lock(mutex_);
  flag_->Invalidate();
}

bool CWeakReferenceOwner::HasRefs() const { return flag_->HolderCount() > 0; }

CWeakPtrBase::CWeakPtrBase() : flag_(nullptr) {}

CWeakPtrBase::CWeakPtrBase(const CWeakReference& ref) : flag_(ref.flag_) {
  if (flag_ != nullptr) flag_->AddHolder();
}

CWeakPtrBase::CWeakPtrBase(const CWeakPtrBase& other) : flag_(other.flag_) {
  if (flag_ != nullptr) flag_->AddHolder();
}

CWeakPtrBase& CWeakPtrBase::operator=(const CWeakPtrBase& other) {
  CWeakReference::Flag* incoming = other.flag_;
  if (incoming != nullptr) incoming->AddHolder();
  if (flag_ != nullptr) flag_->ReleaseHolder();
  flag_ = incoming;
  return *this;
}

CWeakPtrBase::~CWeakPtrBase() {
  if (flag_ != nullptr) flag_->ReleaseHolder();
}

bool CWeakPtrBase::IsValid() const { return flag_ != nullptr && flag_->IsValid(); }

int CWeakPtrBase::RefCount() const { return flag_ != nullptr ? flag_->HolderCount() : 0; }

}  // namespace details
}  // namespace Base
}  // namespace Oska
