// The showcase is a tour of the library, one section per family. A section
// registers itself from its own file with an order number, so families add
// sections without touching main.cpp:
//
//   static showcase::Section tour(10, "Message loops", &RunLoopsTour);
//
// Sections print to stdout; each ends with a table (oska_tooling::Table in tools/common/TextTable.h).
#pragma once

#include <string>
#include <vector>

namespace showcase {

using SectionBody = void (*)();

class Section {
 public:
  Section(int order, const char* title, SectionBody body);

  struct Entry {
    int order;
    std::string title;
    SectionBody body;
  };
  // Every registered section, sorted by order.
  static std::vector<Entry> All();
};

}  // namespace showcase
