// The conversions between UTF-8, the Local code page and wide text: two
// families of the same six operations, all built on the platform's
// MultiByteToWideChar / WideCharToMultiByte with flags 0.
#include <OskaBase/StringUtil.h>

#include <windows.h>

#include <cstdint>
#include <memory>
#include <new>

namespace Oska {
namespace Base {
namespace {

// The platform's counts are 32-bit: only the low 32 bits of a length reach it.
int PlatformLength(size_t length) {
  return static_cast<int>(static_cast<std::uint32_t>(length));
}

bool BytesToWide(UINT code_page, const char* text, size_t length,
                 std::basic_string<wchar_t>* out) {
  if (text == nullptr || out == nullptr) return false;
  const int n = MultiByteToWideChar(code_page, 0, text, PlatformLength(length), nullptr, 0);
  if (n <= 0) {
    out->clear();
    return true;
  }
  std::unique_ptr<wchar_t[]> buffer(new (std::nothrow) wchar_t[static_cast<size_t>(n)]);
  if (!buffer) return false;
  const int written =
      MultiByteToWideChar(code_page, 0, text, PlatformLength(length), buffer.get(), n);
  out->assign(buffer.get(), written > 0 ? static_cast<size_t>(written) : 0u);
  return true;
}

bool WideToBytes(UINT code_page, const wchar_t* text, size_t length, std::string* out) {
  if (text == nullptr || out == nullptr) return false;
  const int n = WideCharToMultiByte(code_page, 0, text, PlatformLength(length), nullptr, 0,
                                    nullptr, nullptr);
  if (n <= 0) {
    out->clear();
    return true;
  }
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<size_t>(n)]);
  if (!buffer) return false;
  const int written = WideCharToMultiByte(code_page, 0, text, PlatformLength(length),
                                          buffer.get(), n, nullptr, nullptr);
  out->assign(buffer.get(), written > 0 ? static_cast<size_t>(written) : 0u);
  return true;
}

// Bytes in one code page to bytes in another, through wide text.
bool BytesToBytes(UINT from, UINT to, const char* text, size_t length, std::string* out) {
  if (text == nullptr || out == nullptr) return false;
  const int w = MultiByteToWideChar(from, 0, text, PlatformLength(length), nullptr, 0);
  if (w <= 0) {
    out->clear();
    return true;
  }
  std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[static_cast<size_t>(w)]);
  if (!wide) return false;
  const int converted = MultiByteToWideChar(from, 0, text, PlatformLength(length), wide.get(), w);
  if (converted <= 0) {
    out->clear();
    return true;
  }
  const int m = WideCharToMultiByte(to, 0, wide.get(), converted, nullptr, 0, nullptr, nullptr);
  if (m <= 0) {
    out->clear();
    return true;
  }
  std::unique_ptr<char[]> bytes(new (std::nothrow) char[static_cast<size_t>(m)]);
  if (!bytes) return false;
  const int written =
      WideCharToMultiByte(to, 0, wide.get(), converted, bytes.get(), m, nullptr, nullptr);
  out->assign(bytes.get(), written > 0 ? static_cast<size_t>(written) : 0u);
  return true;
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
