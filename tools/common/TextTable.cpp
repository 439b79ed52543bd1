#include "TextTable.h"

#include <algorithm>
#include <cstdio>

namespace oska_tooling {

Table::Table(std::vector<std::string> header) { rows_.push_back(std::move(header)); }

void Table::AddRow(std::vector<std::string> row) { rows_.push_back(std::move(row)); }

void Table::Print() const {
  std::vector<std::size_t> widths;
  for (const auto& row : rows_) {
    if (widths.size() < row.size()) widths.resize(row.size(), 0);
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  auto print_row = [&](const std::vector<std::string>& row) {
    std::printf("|");
    for (std::size_t i = 0; i < widths.size(); ++i) {
      const std::string cell = i < row.size() ? row[i] : std::string();
      std::printf(" %-*s |", static_cast<int>(widths[i]), cell.c_str());
    }
    std::printf("\n");
  };
  print_row(rows_.front());
  std::printf("|");
  for (std::size_t w : widths) std::printf("%s|", std::string(w + 2, '-').c_str());
  std::printf("\n");
  for (std::size_t r = 1; r < rows_.size(); ++r) print_row(rows_[r]);
  std::fflush(stdout);
}

void ProgressLine::Update(double done, double total, const std::string& unit) {
  const double pct = total > 0 ? 100.0 * done / total : 100.0;
  std::printf("\r  %s: %.0f / %.0f %s (%3.0f%%)   ", label_.c_str(), done, total, unit.c_str(), pct);
  std::fflush(stdout);
}

void ProgressLine::Finish() {
  std::printf("\n");
  std::fflush(stdout);
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

}  // namespace oska_tooling
