// The last-error store: one process-wide map from the operating system's
// numeric thread id to that thread's last record, behind one mutex. Both are
// created at load and destroyed at unload. The mutex is held only for one
// lookup and one record copy; everything that may allocate heavily (the copy
// of the caller's record) happens outside it.
#include <OskaBase/Error.h>

#include <windows.h>

#include <boost/thread/locks.hpp>
#include <boost/thread/mutex.hpp>

#include <cstdint>
#include <map>

namespace Oska {
namespace Base {

namespace {

struct LastErrorStore {
  boost::mutex mutex;
  std::map<std::uint32_t, Error::ErrorCode> records;  // guarded by mutex
};

LastErrorStore g_last_errors;

std::uint32_t CallingThreadId() { return static_cast<std::uint32_t>(::GetCurrentThreadId()); }

}  // namespace

Error::ErrorCode Error::GetLastError() {
  ErrorCode result;
  const std::uint32_t id = CallingThreadId();
  bool found = false;
  {
    boost::unique_lock<boost::mutex> lock(g_last_errors.mutex);
    auto it = g_last_errors.records.find(id);
    if (it != g_last_errors.records.end()) {
      result = it->second;
      found = true;
    }
  }
  if (!found) return ErrorCode();
  return result;
}

void Error::SetLastError(const ErrorCode& code) {
  const std::uint32_t id = CallingThreadId();
  ErrorCode copy(code);
  boost::unique_lock<boost::mutex> lock(g_last_errors.mutex);
  ErrorCode& stored = g_last_errors.records[id];
  stored.primaryCode = copy.primaryCode;
  stored.secondaryCode = copy.secondaryCode;
  // Swap rather than copy again: the second copy would allocate under the lock.
  stored.attributes.swap(copy.attributes);
}

}  // namespace Base
}  // namespace Oska
