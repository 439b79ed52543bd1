// The library's version text.
#pragma once

#include <OskaBase/Export.h>

namespace Oska {
namespace Base {

// Returns "4.0.0.0". The text is static storage of the library: the caller
// must neither change nor free it (the pointer is not const only to keep the
// exported signature).
OSKABASE_API char* BaseLibVersion();

}  // namespace Base
}  // namespace Oska
