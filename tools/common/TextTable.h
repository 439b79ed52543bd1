// A plain text table for the showcase and benchmark summaries, and a progress line that
// rewrites itself in place while long work runs.
#pragma once

#include <string>
#include <vector>

namespace oska_tooling {

class Table {
 public:
  explicit Table(std::vector<std::string> header);
  void AddRow(std::vector<std::string> row);
  void Print() const;

 private:
  std::vector<std::vector<std::string>> rows_;
};

// Rewrites one line on the terminal ("\r...") with `label`, `done` of
// `total` and a percentage; Finish() ends the line.
class ProgressLine {
 public:
  explicit ProgressLine(std::string label) : label_(std::move(label)) {}
  void Update(double done, double total, const std::string& unit);
  void Finish();

 private:
  std::string label_;
};

// "12.3" style number formatting for the tables.
std::string Fixed(double value, int decimals);

}  // namespace oska_tooling
