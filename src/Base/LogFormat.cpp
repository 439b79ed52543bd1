#include "Base/LogFormat.h"

#include <cstdint>
#include <cstring>

namespace Oska {
namespace Base {
namespace details {
namespace {

enum class Length { kNone, kShort, kChar, kLong, kLongLong, kSize };

// Reads the length modifier at `p` and moves past it.
Length ReadLength(const char*& p) {
  switch (*p) {
    case 'h':
      if (p[1] == 'h') {
        p += 2;
        return Length::kChar;
      }
      ++p;
      return Length::kShort;
    case 'l':
      if (p[1] == 'l') {
        p += 2;
        return Length::kLongLong;
      }
      ++p;
      return Length::kLong;
    case 'z':
      ++p;
      return Length::kSize;
    default:
      return Length::kNone;
  }
}

// True when every conversion of `format` is one FormatPlain handles.
bool AllPlain(const char* format) {
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    const Length length = ReadLength(p);
    switch (*p) {
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X':
        break;
      case 's':
      case 'c':
        // %ls and %lc are wide: vsnprintf converts them.
        if (length != Length::kNone) return false;
        break;
      default:
        return false;  // flags, width, precision, floats, %p, %n, a lone '%'
    }
  }
  return true;
}

class Output {
 public:
  Output(char* out, std::size_t capacity) : out_(out), capacity_(capacity) {}
  bool Put(char c) {
    if (used_ + 1 >= capacity_) return false;
    out_[used_++] = c;
    return true;
  }
  bool Put(const char* text, std::size_t size) {
    if (size >= capacity_ - used_) return false;
    std::memcpy(out_ + used_, text, size);
    used_ += size;
    return true;
  }
  int Finish() {
    out_[used_] = '\0';
    return static_cast<int>(used_);
  }

 private:
  char* out_;
  std::size_t capacity_;
  std::size_t used_ = 0;
};

bool PutUnsigned(Output& out, std::uint64_t value, unsigned base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char text[24];
  std::size_t at = sizeof(text);
  do {
    text[--at] = digits[value % base];
    value /= base;
  } while (value != 0);
  return out.Put(text + at, sizeof(text) - at);
}

std::int64_t SignedArgument(Length length, va_list& args) {
  switch (length) {
    case Length::kChar: return static_cast<signed char>(va_arg(args, int));
    case Length::kShort: return static_cast<short>(va_arg(args, int));
    case Length::kLong: return va_arg(args, long);
    case Length::kLongLong: return va_arg(args, long long);
    case Length::kSize: return static_cast<std::int64_t>(va_arg(args, std::ptrdiff_t));
    default: return va_arg(args, int);
  }
}

std::uint64_t UnsignedArgument(Length length, va_list& args) {
  switch (length) {
    case Length::kChar: return static_cast<unsigned char>(va_arg(args, unsigned));
    case Length::kShort: return static_cast<unsigned short>(va_arg(args, unsigned));
    case Length::kLong: return va_arg(args, unsigned long);
    case Length::kLongLong: return va_arg(args, unsigned long long);
    case Length::kSize: return va_arg(args, std::size_t);
    default: return va_arg(args, unsigned);
  }
}

int FormatPlainFrom(char* out, std::size_t capacity, const char* format, va_list& args) {
  Output output(out, capacity);
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      // Copy the run of plain text up to the next conversion at once.
      const char* next = std::strchr(p, '%');
      const std::size_t size = next != nullptr ? static_cast<std::size_t>(next - p) : std::strlen(p);
      if (!output.Put(p, size)) return -1;
      p += size - 1;
      continue;
    }
    ++p;
    if (*p == '%') {
      if (!output.Put('%')) return -1;
      continue;
    }
    const Length length = ReadLength(p);
    bool ok = true;
    switch (*p) {
      case 's': {
        const char* text = va_arg(args, const char*);
        if (text == nullptr) text = "(null)";
        ok = output.Put(text, std::strlen(text));
        break;
      }
      case 'c':
        ok = output.Put(static_cast<char>(va_arg(args, int)));
        break;
      case 'd':
      case 'i': {
        const std::int64_t value = SignedArgument(length, args);
        if (value < 0) {
          ok = output.Put('-') && PutUnsigned(output, 0 - static_cast<std::uint64_t>(value), 10, false);
        } else {
          ok = PutUnsigned(output, static_cast<std::uint64_t>(value), 10, false);
        }
        break;
      }
      case 'u':
        ok = PutUnsigned(output, UnsignedArgument(length, args), 10, false);
        break;
      case 'x':
      case 'X':
        ok = PutUnsigned(output, UnsignedArgument(length, args), 16, *p == 'X');
        break;
      default:
        return -1;  // AllPlain let nothing else through
    }
    if (!ok) return -1;
  }
  return output.Finish();
}

}  // namespace

int FormatPlain(char* out, std::size_t capacity, const char* format, va_list args) {
  if (out == nullptr || capacity == 0 || format == nullptr || !AllPlain(format)) return -1;
  // A copy that the helpers can take by reference (va_list may be an array
  // type, which a parameter cannot hold by value); the caller's list stays
  // unread.
  va_list copy;
  va_copy(copy, args);
  const int length = FormatPlainFrom(out, capacity, format, copy);
  va_end(copy);
  return length;
}

}  // namespace details
}  // namespace Base
}  // namespace Oska
