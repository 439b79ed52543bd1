// The configuration text of zellog, parsed into settings. The parser reads
// hostile text: it never throws, never reads past the text and turns every
// item it does not understand into a problem line while keeping the
// default.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zellog {

struct Settings {
  std::string file;  // empty: the default file (see DefaultLogFile)
  std::uint64_t max_size = 10ull * 1024 * 1024;
  std::size_t max_files = 5;
  int level = 2;  // info
  bool console = false;
  // One human-readable text per item not understood ("max_size: 'abc' is not
  // a size (1K to 1024G); using 10M"), in the order met.
  std::vector<std::string> problems;
};

// Parses `text` (may be null, read as ""). An empty text gives the defaults
// and one problem saying so.
Settings ParseConfig(const char* text);

// Level names, 0-6, and the number of a name or number text, -1 if none.
const char* LevelName(int level);
int LevelFromText(const std::string& text);

// "$TMPDIR/<program>-zellog.log", $TMPDIR unset or empty: /tmp.
std::string DefaultLogFile();

}  // namespace zellog
