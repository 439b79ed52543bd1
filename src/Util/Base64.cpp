// Encrypt::Base64Encode/Base64Decode: the exported forms over the codec.
#include <OskaBase/Encrypt.h>

#include "Util/Base64Codec.h"

#include <climits>
#include <utility>

namespace Oska {
namespace Base {
namespace Encrypt {
namespace {
// The longest input whose encoding still has an int length.
constexpr int kMaxEncodableLength = INT_MAX / 4 * 3;
}  // namespace

int Base64Encode(const char* src, int len, char* dst) {
  if (len < 0 || len > kMaxEncodableLength) return -1;
  const std::size_t written =
      base64::EncodePairTable(reinterpret_cast<const unsigned char*>(src), static_cast<std::size_t>(len), dst);
  dst[written] = '\0';
  return static_cast<int>(written);
}

int Base64Decode(const char* src, int len, char* dst) {
  if (len < 0) return -1;
  return static_cast<int>(
      base64::Decode(src, static_cast<std::size_t>(len), reinterpret_cast<unsigned char*>(dst)));
}

bool Base64Encode(std::string& out, const std::string& in) {
  std::string encoded(base64::EncodedLength(in.size()), '\0');
  base64::EncodePairTable(reinterpret_cast<const unsigned char*>(in.data()), in.size(), &encoded[0]);
  out = std::move(encoded);
  return true;
}

bool Base64Decode(std::string& out, const std::string& in) {
  std::string decoded(3 * (in.size() / 4), '\0');
  const std::ptrdiff_t n =
      base64::Decode(in.data(), in.size(), reinterpret_cast<unsigned char*>(&decoded[0]));
  if (n < 0) return false;
  decoded.resize(static_cast<std::size_t>(n));
  out = std::move(decoded);
  return true;
}

}  // namespace Encrypt
}  // namespace Base
}  // namespace Oska
