// The error record: two codes plus the sub-system code and the cascading text,
// the last two kept as text in the attribute map under fixed keys.
#include <OskaBase/Error.h>

#include <cstdio>
#include <sstream>
#include <utility>

namespace Oska {
namespace Base {

namespace {
const char kSubSystemKey[] = "sub_system";
const char kCascadingInfoKey[] = "cascading_error_info";

std::string DecimalText(int value) {
  std::ostringstream out;
  out << value;
  return out.str();
}
}  // namespace

Error::ErrorCode::ErrorCode() : ErrorCode(0, 0, 0, std::string()) {}

Error::ErrorCode::ErrorCode(int primary, int secondary)
    : ErrorCode(0, primary, secondary, std::string()) {}

Error::ErrorCode::ErrorCode(int subSystem, int primary, int secondary)
    : ErrorCode(subSystem, primary, secondary, std::string()) {}

Error::ErrorCode::ErrorCode(int primary, int secondary, const std::string& cascadingInfo)
    : ErrorCode(0, primary, secondary, cascadingInfo) {}

Error::ErrorCode::ErrorCode(int subSystem, int primary, int secondary,
                            const std::string& cascadingInfo)
    : primaryCode(primary), secondaryCode(secondary) {
  attributes.emplace(kSubSystemKey, DecimalText(subSystem));
  attributes.emplace(kCascadingInfoKey, cascadingInfo);
}

Error::ErrorCode::ErrorCode(const ErrorCode& other)
    : primaryCode(other.primaryCode),
      secondaryCode(other.secondaryCode),
      attributes(other.attributes) {}

Error::ErrorCode::ErrorCode(ErrorCode&& other)
    : primaryCode(other.primaryCode),
      secondaryCode(other.secondaryCode),
      attributes(std::move(other.attributes)) {
  // A moved-from std::map is only "valid but unspecified"; the record's
  // contract is an empty map.
  other.attributes.clear();
}

Error::ErrorCode& Error::ErrorCode::operator=(const ErrorCode& other) {
  primaryCode = other.primaryCode;
  secondaryCode = other.secondaryCode;
  if (this != &other) {
    attributes.clear();
    attributes.insert(other.attributes.begin(), other.attributes.end());
  }
  return *this;
}

Error::ErrorCode& Error::ErrorCode::operator=(ErrorCode&& other) {
  primaryCode = other.primaryCode;
  secondaryCode = other.secondaryCode;
  if (this != &other) {
    attributes.clear();
    attributes.swap(other.attributes);
  }
  return *this;
}

Error::ErrorCode::~ErrorCode() = default;

int Error::ErrorCode::GetSubSystemErrorCode() {
  const std::string& text = attributes[kSubSystemKey];
  if (text.empty()) return 0;
  std::istringstream in(text);
  // On a failed extraction the stream stores 0 (no number) or the int limit
  // (out of range), which is the documented result either way.
  int value = 0;
  in >> value;
  return value;
}

void Error::ErrorCode::SetSubSystemErrorCode(int code) {
  attributes[kSubSystemKey] = DecimalText(code);
}

std::string Error::ErrorCode::GetCasadingErrorInfo() { return attributes[kCascadingInfoKey]; }

void Error::ErrorCode::SetCasadingErrorInfo(const std::string& text) {
  attributes[kCascadingInfoKey] = text;
}

std::string Error::MakeCascadingErrorStr(int first, int second) {
  // 26 characters at most ("(-2147483648, -2147483648)"); the buffer leaves
  // ample room, so the text is never cut.
  char buffer[60] = {};
  std::snprintf(buffer, sizeof(buffer), "(%d, %d)", first, second);
  return std::string(buffer);
}

}  // namespace Base
}  // namespace Oska
