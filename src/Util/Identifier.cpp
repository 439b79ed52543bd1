// GuidUtil::CreateGuid and UuidUtil::CreateUuid: a new GUID from
// CoCreateGuid, printed field by field.
#include <OskaBase/Identifier.h>

#include <windows.h>

#include <cstdio>

namespace Oska {
namespace Base {
namespace {

// Prints a new GUID with `format`, which takes Data1, Data2, Data3 and the
// eight Data4 bytes as unsigned ints; empty if no GUID could be had.
std::string PrintNewGuid(const char* format) {
  GUID guid;
  if (FAILED(CoCreateGuid(&guid))) return std::string();
  char text[64] = {};
  std::snprintf(text, sizeof(text), format, static_cast<unsigned>(guid.Data1),
                static_cast<unsigned>(guid.Data2), static_cast<unsigned>(guid.Data3),
                static_cast<unsigned>(guid.Data4[0]), static_cast<unsigned>(guid.Data4[1]),
                static_cast<unsigned>(guid.Data4[2]), static_cast<unsigned>(guid.Data4[3]),
                static_cast<unsigned>(guid.Data4[4]), static_cast<unsigned>(guid.Data4[5]),
                static_cast<unsigned>(guid.Data4[6]), static_cast<unsigned>(guid.Data4[7]));
  return std::string(text);
}

}  // namespace

namespace GuidUtil {
std::string CreateGuid() { return PrintNewGuid("%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X"); }
}  // namespace GuidUtil

namespace UuidUtil {
std::string CreateUuid() { return PrintNewGuid("%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X"); }
}  // namespace UuidUtil

}  // namespace Base
}  // namespace Oska
