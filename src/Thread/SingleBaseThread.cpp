// The two single-worker-thread classes: thin fronts over one shared record.
#include <OskaBase/SingleBaseThread.h>

#include "Thread/SingleThreadImpl.h"

namespace Oska {
namespace Base {

CSingleBaseThread::CSingleBaseThread() : record_(new details::CSingleThreadImpl()) {}

CSingleBaseThread::~CSingleBaseThread() { record_->Retire(); }

bool CSingleBaseThread::BeginThread(int interval_ms) {
  return record_->Begin(interval_ms, [this] { DoThread(); });
}

void CSingleBaseThread::EndThread() { record_->End(); }

void CSingleBaseThread::WakeupOnce() { record_->Wakeup(); }

void CSingleBaseThread::DoThread() {
  record_->RunLoop([this] { return RunOnce(); });
}

CSingleBaseThreadNoAssert::CSingleBaseThreadNoAssert()
    : record_(new details::CSingleThreadImpl()) {}

CSingleBaseThreadNoAssert::~CSingleBaseThreadNoAssert() { record_->Retire(); }

bool CSingleBaseThreadNoAssert::BeginThread(int interval_ms) {
  return record_->Begin(interval_ms, [this] { DoThread(); });
}

void CSingleBaseThreadNoAssert::EndThread() { record_->End(); }

void CSingleBaseThreadNoAssert::WakeupOnce() { record_->Wakeup(); }

void CSingleBaseThreadNoAssert::DoThread() {
  record_->RunLoop([this] { return RunOnce(); });
}

}  // namespace Base
}  // namespace Oska
