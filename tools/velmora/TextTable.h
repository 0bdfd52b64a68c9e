// Aligned text tables for the terminal: a header row, a rule of dashes, and
// the rows, columns two blanks apart.  Widths count terminal columns, not
// bytes, so UTF-8 text lines up: East Asian wide characters take two columns,
// combining marks none.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vtool {

class TextTable {
 public:
  // rightAligned[i]: column i is aligned to the right (numbers).
  TextTable(std::vector<std::string> headers, std::vector<bool> rightAligned = {});
  void Add(std::vector<std::string> row);
  size_t rows() const { return rows_.size(); }
  void Print(std::ostream &out) const;

 private:
  std::vector<std::string> headers_;
  std::vector<bool> right_;
  std::vector<std::vector<std::string>> rows_;
};

// Terminal columns of a UTF-8 text.
size_t DisplayWidth(const std::string &text);

}  // namespace vtool
