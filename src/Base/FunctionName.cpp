#include "Base/FunctionName.h"

#include <cctype>
#include <cstring>

namespace Oska {
namespace Base {
namespace details {
namespace {

// Index of the bracket that opens the one closing at `close`, or npos.
std::size_t MatchBackwards(const std::string& s, std::size_t close, char open_ch, char close_ch) {
  int depth = 0;
  for (std::size_t i = close + 1; i-- > 0;) {
    if (s[i] == close_ch) ++depth;
    if (s[i] == open_ch && --depth == 0) return i;
  }
  return std::string::npos;
}

std::string Extract(std::string s) {
  // GCC appends " [with T = int; ...]" to template functions.
  const std::size_t with = s.find(" [with ");
  if (with != std::string::npos) s.erase(with);
  // Cut trailing qualifiers until the parameter list's ')' ends the text.
  while (!s.empty() && s.back() != ')') {
    const std::size_t space = s.rfind(' ');
    if (space == std::string::npos) return s;
    s.erase(space);
  }
  if (s.empty()) return s;
  const std::size_t params = MatchBackwards(s, s.size() - 1, '(', ')');
  if (params == std::string::npos) return s;
  // An operator's name holds symbols and spaces of its own ("operator<",
  // "operator()", "operator bool"); the walk back starts before it.
  std::size_t walk_from = params;
  for (std::size_t at = s.rfind("operator", params); at != std::string::npos && at > 0;
       at = s.rfind("operator", at - 1)) {
    const char before = s[at - 1];
    const char after = at + 8 < s.size() ? s[at + 8] : '\0';
    const bool word_ends = !(std::isalnum(static_cast<unsigned char>(after)) || after == '_');
    if ((before == ':' || before == ' ') && word_ends) {
      walk_from = at;
      break;
    }
  }
  if (s.compare(0, 8, "operator") == 0 && walk_from == params) walk_from = 0;
  // Walk back over the name; spaces inside (), <> belong to it
  // ("(anonymous namespace)"), a space outside ends it.
  int depth = 0;
  std::size_t begin = 0;
  for (std::size_t i = walk_from; i-- > 0;) {
    const char c = s[i];
    if (c == ')' || c == '>') ++depth;
    if (c == '(' || c == '<') --depth;
    if (c == ' ' && depth == 0) {
      begin = i + 1;
      break;
    }
  }
  std::string name = s.substr(begin, params - begin);
  // Drop template arguments of the function itself ("f<int>" -> "f").
  if (!name.empty() && name.back() == '>' && name.find("operator") == std::string::npos) {
    const std::size_t open = MatchBackwards(name, name.size() - 1, '<', '>');
    if (open != std::string::npos) name.erase(open);
  }
  return name;
}

}  // namespace

FunctionName::FunctionName(const char* signature)
    : name_(signature != nullptr ? Extract(signature) : std::string()) {}

}  // namespace details
}  // namespace Base
}  // namespace Oska
