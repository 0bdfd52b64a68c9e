#include "TextTable.h"

#include <algorithm>
#include <cstdint>

namespace vtool {

namespace {

// East Asian wide and full-width characters take two columns of a terminal.
bool IsWide(uint32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
         (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
         (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
}

// Combining marks take no column of their own.
bool IsCombining(uint32_t c) {
  return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
         (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE20 && c <= 0xFE2F) || c == 0x200B;
}

}  // namespace

size_t DisplayWidth(const std::string &text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 1;
    uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
    size_t k = 1;
    for (; k < length && i + k < text.size(); ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) break;
      c = (c << 6) | (next & 0x3F);
    }
    if (k < length) {
      // A broken sequence: one column per byte read (a terminal shows a mark for each).
      i += k;
      width += k;
      continue;
    }
    i += length;
    width += IsCombining(c) ? 0 : IsWide(c) ? 2 : 1;
  }
  return width;
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
