#include "config.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace zellog {
namespace {

constexpr std::uint64_t kMinSize = 1024;
constexpr std::uint64_t kMaxSize = 1024ull * 1024 * 1024 * 1024;
constexpr std::size_t kMaxFiles = 1000;

const char* const kLevelNames[] = {"trace", "debug", "info", "warning", "error", "critical", "off"};

std::string Trim(const std::string& s) {
  std::size_t begin = 0;
  std::size_t end = s.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(s[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1]))) --end;
  return s.substr(begin, end - begin);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Printable form of hostile text for a problem line: at most 64 characters,
// control bytes shown as '?'.
std::string Quote(const std::string& s) {
  std::string out = "'";
  for (std::size_t i = 0; i < s.size() && i < 64; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    out += (c < 0x20 || c == 0x7f) ? '?' : static_cast<char>(c);
  }
  if (s.size() > 64) out += "...";
  return out + "'";
}

// Digits with an optional K/M/G suffix; false on anything else or overflow.
bool ParseSize(const std::string& text, std::uint64_t* out) {
  if (text.empty()) return false;
  std::uint64_t value = 0;
  std::size_t i = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    if (value > (UINT64_MAX - 9) / 10) return false;
    value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
  }
  if (i == 0) return false;
  std::uint64_t unit = 1;
  if (i < text.size()) {
    switch (std::toupper(static_cast<unsigned char>(text[i]))) {
      case 'K': unit = 1024; break;
      case 'M': unit = 1024ull * 1024; break;
      case 'G': unit = 1024ull * 1024 * 1024; break;
      default: return false;
    }
    if (++i != text.size()) return false;
  }
  if (value > UINT64_MAX / unit) return false;
  *out = value * unit;
  return true;
}

bool ParseBool(const std::string& text, bool* out) {
  const std::string t = Lower(text);
  if (t == "1" || t == "yes" || t == "true" || t == "on") {
    *out = true;
    return true;
  }
  if (t == "0" || t == "no" || t == "false" || t == "off") {
    *out = false;
    return true;
  }
  return false;
}

void Apply(Settings& s, const std::string& key, const std::string& value) {
  if (key == "file") {
    if (value.empty() || value.find('\0') != std::string::npos) {
      s.problems.push_back("file: empty path; using the default file");
    } else {
      s.file = value;
    }
  } else if (key == "max_size") {
    std::uint64_t size = 0;
    if (ParseSize(value, &size) && size >= kMinSize && size <= kMaxSize) {
      s.max_size = size;
    } else {
      s.problems.push_back("max_size: " + Quote(value) + " is not a size from 1K to 1024G; using " +
                           std::to_string(s.max_size) + " bytes");
    }
  } else if (key == "max_files") {
    std::uint64_t count = 0;
    const bool digits_only = !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
    if (digits_only && ParseSize(value, &count) && count <= kMaxFiles) {
      s.max_files = static_cast<std::size_t>(count);
    } else {
      s.problems.push_back("max_files: " + Quote(value) + " is not a count from 0 to 1000; using " +
                           std::to_string(s.max_files));
    }
  } else if (key == "level") {
    const int level = LevelFromText(value);
    if (level >= 0) {
      s.level = level;
    } else {
      s.problems.push_back("level: " + Quote(value) + " is not a level (0-6 or trace, debug, info, "
                           "warning, error, critical, off); using " + LevelName(s.level));
    }
  } else if (key == "console") {
    bool on = false;
    if (ParseBool(value, &on)) {
      s.console = on;
    } else {
      s.problems.push_back("console: " + Quote(value) + " is not 1/0, yes/no, true/false or on/off; using " +
                           (s.console ? "on" : "off"));
    }
  } else {
    s.problems.push_back("unknown key " + Quote(key) + " ignored");
  }
}

}  // namespace

const char* LevelName(int level) {
  if (level < 0) level = 0;
  if (level > 6) level = 6;
  return kLevelNames[level];
}

int LevelFromText(const std::string& text) {
  const std::string t = Lower(Trim(text));
  if (t.size() == 1 && t[0] >= '0' && t[0] <= '6') return t[0] - '0';
  for (int i = 0; i <= 6; ++i) {
    if (t == kLevelNames[i]) return i;
  }
  if (t == "warn") return 3;
  if (t == "err") return 4;
  if (t == "fatal") return 5;
  return -1;
}

Settings ParseConfig(const char* text) {
  Settings s;
  const std::string all = text != nullptr ? text : "";
  if (Trim(all).empty()) {
    s.problems.push_back("empty configuration; using the defaults");
    return s;
  }
  std::size_t start = 0;
  while (start <= all.size()) {
    std::size_t end = all.find_first_of(";\n", start);
    if (end == std::string::npos) end = all.size();
    const std::string item = Trim(all.substr(start, end - start));
    start = end + 1;
    if (item.empty()) continue;
    const std::size_t eq = item.find('=');
    if (eq == std::string::npos) {
      s.problems.push_back("item " + Quote(item) + " has no '='; ignored");
      continue;
    }
    Apply(s, Lower(Trim(item.substr(0, eq))), Trim(item.substr(eq + 1)));
  }
  return s;
}

std::string DefaultLogFile() {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
  char exe[4096] = {};
  std::string program = "zellog";
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof(exe) - 1);
  if (n > 0) {
    const char* slash = std::strrchr(exe, '/');
    program = slash != nullptr ? slash + 1 : exe;
  }
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir + program + "-zellog.log";
}

}  // namespace zellog
