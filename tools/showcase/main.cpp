// oskabase-showcase: a guided tour of the OskaBase library. Runs every
// section in order, or only those whose lower-cased titles contain one of the
// words given on the command line: `oskabase-showcase loops pool`.
#include "Section.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include <OskaBase/OskaBase.h>

namespace showcase {
namespace {
std::vector<Section::Entry>& Registry() {
  static std::vector<Section::Entry> entries;
  return entries;
}
}  // namespace

Section::Section(int order, const char* title, SectionBody body) {
  Registry().push_back(Entry{order, title, body});
}

std::vector<Section::Entry> Section::All() {
  std::vector<Entry> all = Registry();
  std::stable_sort(all.begin(), all.end(),
                   [](const Entry& a, const Entry& b) { return a.order < b.order; });
  return all;
}

}  // namespace showcase

int main(int argc, char** argv) {
  std::printf("OskaBase showcase\n=================\n");
  for (const auto& section : showcase::Section::All()) {
    bool wanted = argc < 2;
    for (int i = 1; i < argc; ++i) {
      std::string lower = section.title;
      std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
      if (lower.find(argv[i]) != std::string::npos) wanted = true;
    }
    if (!wanted) continue;
    std::printf("\n== %s ==\n", section.title.c_str());
    section.body();
  }
  return 0;
}
