// The two intrusive counts. The atomic one uses acquire-release on the
// decrement so that the thread deleting the object sees every write other
// threads made through their references before dropping them.
#include <OskaBase/RefCounted.h>

namespace Oska {
namespace Base {
namespace details {

CRefCountedBase::CRefCountedBase() : ref_count_(0) {}

CRefCountedBase::CRefCountedBase(const CRefCountedBase&) : ref_count_(0) {}

CRefCountedBase& CRefCountedBase::operator=(const CRefCountedBase&) { return *this; }

CRefCountedBase::~CRefCountedBase() = default;

bool CRefCountedBase::HasOneRef() const { return ref_count_ == 1; }

int CRefCountedBase::RefCount() const { return ref_count_; }

bool CRefCountedBase::InplementsThreadSafeReferenceCounting() { return false; }

void CRefCountedBase::AddRef() { ++ref_count_; }

bool CRefCountedBase::Release() { return --ref_count_ == 0; }

CRefCountedThreadSafeBase::CRefCountedThreadSafeBase() : ref_count_(0) {}

CRefCountedThreadSafeBase::CRefCountedThreadSafeBase(const CRefCountedThreadSafeBase&)
    : ref_count_(0) {}

CRefCountedThreadSafeBase& CRefCountedThreadSafeBase::operator=(
    const CRefCountedThreadSafeBase&) {
  return *this;
}

CRefCountedThreadSafeBase::~CRefCountedThreadSafeBase() = default;

bool CRefCountedThreadSafeBase::HasOneRef() const {
  return ref_count_.load(std::memory_order_acquire) == 1;
}

int CRefCountedThreadSafeBase::RefCount() const {
  return ref_count_.load(std::memory_order_acquire);
}

bool CRefCountedThreadSafeBase::InplementsThreadSafeReferenceCounting() { return true; }

void CRefCountedThreadSafeBase::AddRef() { ref_count_.fetch_add(1, std::memory_order_relaxed); }

bool CRefCountedThreadSafeBase::Release() {
  return ref_count_.fetch_sub(1, std::memory_order_acq_rel) == 1;
}

}  // namespace details
}  // namespace Base
}  // namespace Oska
