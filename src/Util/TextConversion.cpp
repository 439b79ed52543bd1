// The conversions between UTF-8, the Local code page and wide text: two
// families of the same six operations, all built on the platform's
// MultiByteToWideChar / WideCharToMultiByte with flags 0.
#include <OskaBase/StringUtil.h>

#include <windows.h>

#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>

namespace Oska {
namespace Base {
namespace {

// The platform's counts are 32-bit: only the low 32 bits of a length reach it.
int PlatformLength(size_t length) {
  return static_cast<int>(static_cast<std::uint32_t>(length));
}

// Sizes *out to exactly n units and lets `convert` fill them; the platform
// call returns how many it wrote. The result goes straight into *out's own
// storage when it already has room (a caller converting repeatedly into one
// string allocates nothing), otherwise into a new string that replaces *out
// only once complete. An allocation failure returns false with *out
// untouched.
template <typename String, typename Convert>
bool FillExactly(String* out, int n, Convert convert) {
  if (n <= 0) {
    out->clear();
    return true;
  }
  const size_t size = static_cast<size_t>(n);
  if (out->capacity() >= size) {
    out->resize(size);
    const int written = convert(&(*out)[0], n);
    out->resize(written > 0 ? static_cast<size_t>(written) : 0u);
    return true;
  }
  String fresh;
  try {
    fresh.resize(size);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  const int written = convert(&fresh[0], n);
  fresh.resize(written > 0 ? static_cast<size_t>(written) : 0u);
  out->swap(fresh);
  return true;
}

bool BytesToWide(UINT code_page, const char* text, size_t length,
                 std::basic_string<wchar_t>* out) {
  if (text == nullptr || out == nullptr) return false;
  const int in = PlatformLength(length);
  const int n = MultiByteToWideChar(code_page, 0, text, in, nullptr, 0);
  return FillExactly(out, n, [&](wchar_t* buffer, int units) {
    return MultiByteToWideChar(code_page, 0, text, in, buffer, units);
  });
}

bool WideToBytes(UINT code_page, const wchar_t* text, size_t length, std::string* out) {
  if (text == nullptr || out == nullptr) return false;
  const int in = PlatformLength(length);
  const int n = WideCharToMultiByte(code_page, 0, text, in, nullptr, 0, nullptr, nullptr);
  return FillExactly(out, n, [&](char* buffer, int bytes) {
    return WideCharToMultiByte(code_page, 0, text, in, buffer, bytes, nullptr, nullptr);
  });
}

// Bytes in one code page to bytes in another, through a wide buffer
// allocated without throwing.
bool BytesToBytes(UINT from, UINT to, const char* text, size_t length, std::string* out) {
  if (text == nullptr || out == nullptr) return false;
  const int in = PlatformLength(length);
  const int w = MultiByteToWideChar(from, 0, text, in, nullptr, 0);
  if (w <= 0) {
    out->clear();
    return true;
  }
  std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[static_cast<size_t>(w)]);
  if (!wide) return false;
  const int converted = MultiByteToWideChar(from, 0, text, in, wide.get(), w);
  if (converted <= 0) {
    out->clear();
    return true;
  }
  const int m = WideCharToMultiByte(to, 0, wide.get(), converted, nullptr, 0, nullptr, nullptr);
  return FillExactly(out, m, [&](char* buffer, int bytes) {
    return WideCharToMultiByte(to, 0, wide.get(), converted, buffer, bytes, nullptr, nullptr);
  });
}

}  // namespace

bool UTF8ToLocal(const char* text, size_t length, std::string* out) {
  return BytesToBytes(CP_UTF8, CP_ACP, text, length, out);
}

bool LocalToUTF8(const char* text, size_t length, std::string* out) {
  return BytesToBytes(CP_ACP, CP_UTF8, text, length, out);
}

bool UTF8ToWide(const char* text, size_t length, std::basic_string<wchar_t>* out) {
  return BytesToWide(CP_UTF8, text, length, out);
}

bool WideToUTF8(const wchar_t* text, size_t length, std::string* out) {
  return WideToBytes(CP_UTF8, text, length, out);
}

bool LocalToWide(const char* text, size_t length, std::basic_string<wchar_t>* out) {
  return BytesToWide(CP_ACP, text, length, out);
}

bool WideToLocal(const wchar_t* text, size_t length, std::string* out) {
  return WideToBytes(CP_ACP, text, length, out);
}

std::string UTF8ToLocal(const std::string& text) {
  std::string result;
  UTF8ToLocal(text.data(), text.size(), &result);
  return result;
}

std::string LocalToUTF8(const std::string& text) {
  std::string result;
  LocalToUTF8(text.data(), text.size(), &result);
  return result;
}

std::basic_string<wchar_t> UTF8ToWide(const std::string& text) {
  std::basic_string<wchar_t> result;
  UTF8ToWide(text.data(), text.size(), &result);
  return result;
}

std::string WideToUTF8(const std::basic_string<wchar_t>& text) {
  std::string result;
  WideToUTF8(text.data(), text.size(), &result);
  return result;
}

std::basic_string<wchar_t> LocalToWide(const std::string& text) {
  std::basic_string<wchar_t> result;
  LocalToWide(text.data(), text.size(), &result);
  return result;
}

std::string WideToLocal(const std::basic_string<wchar_t>& text) {
  std::string result;
  WideToLocal(text.data(), text.size(), &result);
  return result;
}

}  // namespace Base
}  // namespace Oska
