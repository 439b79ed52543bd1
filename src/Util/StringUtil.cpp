// StringUtil: replace, case mapping, the logging Local/UTF-8 conversions,
// the file-name character check and the per-encoding length.
#include <OskaBase/StringUtil.h>

#include <windows.h>

#include "Base/LogMacro.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <vector>

namespace Oska {
namespace Base {
namespace StringUtil {
namespace {

// Shared by Local2UTF8 and UTF82Local; each logs under its own name, so the
// steps that can fail report back which call failed and the error code.
enum class Failed { kNone, kToWide, kFromWide };

struct Recoded {
  Failed failed = Failed::kNone;
  DWORD error = 0;
  std::string text;
};

Recoded Recode(UINT from, UINT to, const std::string& text) {
  Recoded r;
  const int w = MultiByteToWideChar(from, 0, text.c_str(), -1, nullptr, 0);
  if (w == 0) {
    r.failed = Failed::kToWide;
    r.error = GetLastError();
    return r;
  }
  std::vector<wchar_t> wide(static_cast<size_t>(w) + 1, L'\0');
  if (MultiByteToWideChar(from, 0, text.c_str(), -1, wide.data(), w) == 0) {
    r.failed = Failed::kToWide;
    r.error = GetLastError();
    return r;
  }
  const int m = WideCharToMultiByte(to, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
  if (m == 0) {
    r.failed = Failed::kFromWide;
    r.error = GetLastError();
    return r;
  }
  std::vector<char> bytes(static_cast<size_t>(m) + 1, '\0');
  if (WideCharToMultiByte(to, 0, wide.data(), w, bytes.data(), m, nullptr, nullptr) == 0) {
    r.failed = Failed::kFromWide;
    r.error = GetLastError();
    return r;
  }
  r.text = bytes.data();  // up to the first zero byte
  return r;
}

// UTF-16 units of the n wide units the text makes. A 16-bit wchar_t holds
// UTF-16 already; a 32-bit one holds UTF-32, where each character outside
// the Basic Multilingual Plane counts two.
template <typename Wide>
int Utf16Units(UINT code_page, const char* text, int length, int n) {
  if constexpr (sizeof(Wide) == 2) {
    return n;
  } else {
    std::vector<Wide> wide(static_cast<size_t>(n));
    const int written = MultiByteToWideChar(code_page, 0, text, length, wide.data(), n);
    if (written <= 0) return 0;
    int units = 0;
    for (int i = 0; i < written; ++i) {
      units += static_cast<std::uint32_t>(wide[static_cast<size_t>(i)]) > 0xFFFF ? 2 : 1;
    }
    return units;
  }
}

}  // namespace

std::string StringReplace(const char* text, const std::string& from, const std::string& to) {
  std::string result = text;
  const std::string::size_type step = to.size() - from.size() + 1;  // may wrap: see below
  std::string::size_type pos = 0;
  for (;;) {
    const std::string::size_type found = result.find(from, pos);
    if (found == std::string::npos) return result;
    result.replace(found, from.size(), to);
    pos = found + step;
    // The unsigned sum wraps when `from` is longer than `to` by two or more
    // and the occurrence lies near the start; restart at 0 instead of
    // jumping past the end.
    if (from.size() > to.size() + 1 && found < from.size() - to.size() - 1) pos = 0;
  }
}

std::string StringReplace(const std::string& text, const std::string& from,
                          const std::string& to) {
  return StringReplace(text.c_str(), from, to);
}

std::string StringReplace(const std::string& text, size_t limit, const std::string& from,
                          const std::string& to) {
  const size_t length = std::strlen(text.c_str());
  if (length > limit) return StringReplace(std::string(text.c_str(), limit), from, to);
  return StringReplace(text.c_str(), from, to);
}

std::string UpperCase(const std::string& text) {
  std::string result = text;
  for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return result;
}

std::string LowerCase(const std::string& text) {
  std::string result = text;
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

std::string Local2UTF8(const std::string& text) {
  if (text.empty()) return std::string();
  Recoded r = Recode(CP_ACP, CP_UTF8, text);
  if (r.failed == Failed::kToWide) {
    OSKA_LOG(5, "Base", "MultiByteToWideChar failed, error code[%d].", static_cast<int>(r.error));
    return text;
  }
  if (r.failed == Failed::kFromWide) {
    OSKA_LOG(5, "Base", "WideCharToMultiByte failed, error code[%d].", static_cast<int>(r.error));
    return text;
  }
  return std::move(r.text);
}

std::string UTF82Local(const std::string& text) {
  if (text.empty()) return std::string();
  Recoded r = Recode(CP_UTF8, CP_ACP, text);
  if (r.failed == Failed::kToWide) {
    OSKA_LOG(5, "Base", "MultiByteToWideChar failed, error code[%d].", static_cast<int>(r.error));
    return text;
  }
  if (r.failed == Failed::kFromWide) {
    OSKA_LOG(5, "Base", "WideCharToMultiByte failed, error code[%d].", static_cast<int>(r.error));
    return text;
  }
  return std::move(r.text);
}

bool ContainsIllegalCharacters(const std::string& text) {
  static const char kIllegal[] = {'\\', '/', ':', '*', '?', '"', '<', '>', '|'};
  for (const char c : kIllegal) {
    if (text.find(c) != std::string::npos) return true;
  }
  return false;
}

int str_len(const std::string& text, STR_TYPE type) {
  if (text.empty()) return 0;
  const int length = static_cast<int>(static_cast<std::uint32_t>(text.size()));
  const UINT code_page = static_cast<UINT>(type);
  const int n = MultiByteToWideChar(code_page, 0, text.data(), length, nullptr, 0);
  if (n <= 0) return 0;
  return Utf16Units<wchar_t>(code_page, text.data(), length, n);
}

}  // namespace StringUtil
}  // namespace Base
}  // namespace Oska
