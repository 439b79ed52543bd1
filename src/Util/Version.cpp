// BaseLibVersion: the version text of this build of the library.
#include <OskaBase/Version.h>

namespace Oska {
namespace Base {
namespace {
char g_version[] = "4.0.0.0";
}  // namespace

char* BaseLibVersion() { return g_version; }

}  // namespace Base
}  // namespace Oska
