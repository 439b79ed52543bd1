// EncryptLevel::GetEnCryptLevel: counts the kinds of characters a password
// holds. The classes are the ASCII ones, spelled out rather than asked of
// <cctype>, so that a locale set elsewhere in the process cannot change a
// grade and bytes above 0x7F never reach a classification function as a
// negative value.
#include <OskaBase/Encrypt.h>

#include <algorithm>

namespace Oska {
namespace Base {
namespace EncryptLevel {

int GetEnCryptLevel(const std::string& name, const std::string& pass) {
  if (pass.size() < 8) return 0;
  if (pass == name) return 0;
  if (pass.size() == name.size() && std::equal(pass.begin(), pass.end(), name.rbegin())) return 0;

  std::size_t digits = 0, upper = 0, lower = 0;
  for (char ch : pass) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (c >= 'A' && c <= 'Z') {
      ++upper;
    } else if (c >= 'a' && c <= 'z') {
      ++lower;
    }
  }
  const std::size_t other = pass.size() - digits - upper - lower;
  const int kinds = (digits > 0) + (upper > 0) + (lower > 0) + (other > 0);
  switch (kinds) {
    case 1:
      return 0;
    case 2:
      // Digits with letters of one case are the weak pair.
      return digits > 0 && other == 0 ? 1 : 2;
    default:
      return 3;
  }
}

}  // namespace EncryptLevel
}  // namespace Base
}  // namespace Oska
