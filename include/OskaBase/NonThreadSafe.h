// CNonThreadSafe: the thread-affinity check of classes meant for one thread.
// In this library it accepts every thread: CalledOnValidThread() is always
// true, so deriving from it costs nothing and restricts nothing. It has no
// state; construction, copying and destruction do nothing.
#pragma once

#include <OskaBase/Export.h>

namespace Oska {
namespace Base {

class OSKABASE_API CNonThreadSafe {
 public:
  CNonThreadSafe();
  CNonThreadSafe(const CNonThreadSafe& other);
  CNonThreadSafe& operator=(const CNonThreadSafe& other);
  ~CNonThreadSafe();

  // true on every thread.
  bool CalledOnValidThread() const;
};

}  // namespace Base
}  // namespace Oska
