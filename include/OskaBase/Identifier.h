// New GUIDs as text: 32 upper-case hexadecimal digits (GuidUtil) or the
// 36-character form with dashes (UuidUtil). Each call asks the platform for
// a new random GUID (CoCreateGuid: version 4, 122 random bits), so texts
// from separate calls differ. Safe to call from any thread.
//   CreateGuid() -> e.g. "0F8E5A2C9B714D3EA1C2B3D4E5F60718"
//   CreateUuid() -> e.g. "0F8E5A2C-9B71-4D3E-A1C2-B3D4E5F60718"
// The fields are printed in order Data1 (8 digits), Data2 (4), Data3 (4),
// then the eight bytes of Data4 (2 digits each).
#pragma once

#include <OskaBase/Export.h>

#include <string>

namespace Oska {
namespace Base {
namespace GuidUtil {

// A new GUID as 32 characters from 0-9 and A-F. If the platform cannot
// produce a GUID (not expected to happen) the result is an empty string, so
// that a failure can never pass for a valid, possibly repeated, identifier.
OSKABASE_API std::string CreateGuid();

}  // namespace GuidUtil

namespace UuidUtil {

// A new GUID as 36 characters: hexadecimal digits in groups of 8-4-4-4-12
// separated by "-" (at positions 9, 14, 19 and 24, counting from 1). Empty
// when the platform cannot produce a GUID, as CreateGuid.
OSKABASE_API std::string CreateUuid();

}  // namespace UuidUtil
}  // namespace Base
}  // namespace Oska
