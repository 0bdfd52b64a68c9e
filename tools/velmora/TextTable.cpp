#include "TextTable.h"

#include <algorithm>

namespace vtool {

size_t DisplayWidth(const std::string &text) {
  size_t n = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

TextTable::TextTable(std::vector<std::string> headers, std::vector<bool> rightAligned)
    : headers_(std::move(headers)), right_(std::move(rightAligned)) {
  right_.resize(headers_.size(), false);
}

void TextTable::Add(std::vector<std::string> row) {
  row.resize(headers_.size());
  rows_.push_back(std::move(row));
}

void TextTable::Print(std::ostream &out) const {
  std::vector<size_t> width(headers_.size());
  for (size_t i = 0; i < headers_.size(); ++i) width[i] = DisplayWidth(headers_[i]);
  for (const auto &row : rows_)
    for (size_t i = 0; i < row.size(); ++i) width[i] = std::max(width[i], DisplayWidth(row[i]));
  auto line = [&](const std::vector<std::string> &cells) {
    std::string text;
    for (size_t i = 0; i < cells.size(); ++i) {
      if (i > 0) text += "  ";
      std::string pad(width[i] - DisplayWidth(cells[i]), ' ');
      text += right_[i] ? pad + cells[i] : cells[i] + pad;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out << text << '\n';
  };
  line(headers_);
  std::vector<std::string> rule;
  for (size_t w : width) rule.push_back(std::string(w, '-'));
  line(rule);
  for (const auto &row : rows_) line(row);
}

}  // namespace vtool
