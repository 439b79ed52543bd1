// The thread-affinity check that accepts every thread.
#include <OskaBase/NonThreadSafe.h>

namespace Oska {
namespace Base {

CNonThreadSafe::CNonThreadSafe() = default;

CNonThreadSafe::CNonThreadSafe(const CNonThreadSafe&) {}

CNonThreadSafe& CNonThreadSafe::operator=(const CNonThreadSafe&) { return *this; }

CNonThreadSafe::~CNonThreadSafe() = default;

bool CNonThreadSafe::CalledOnValidThread() const { return true; }

}  // namespace Base
}  // namespace Oska
