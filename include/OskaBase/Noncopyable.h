// CNoncopyable: a base class that removes copying from the classes derived
// from it. Construction and destruction are protected, so it is only ever a
// base.
#pragma once

#include <OskaBase/Export.h>

namespace Oska {
namespace Base {

class OSKABASE_API CNoncopyable {
 protected:
  CNoncopyable() = default;
  ~CNoncopyable() = default;

 public:
  CNoncopyable(const CNoncopyable&) = delete;
  CNoncopyable& operator=(const CNoncopyable&) = delete;
};

}  // namespace Base
}  // namespace Oska
