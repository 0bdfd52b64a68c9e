// Output shared by the commands: help texts and record tables.
#include <iostream>

#include "Commands.h"
#include "Table.h"
#include "TextTable.h"

namespace vtool {

void PrintHelp(const char *help) { std::cout << help; }

namespace {

// Line breaks and tabs written out, so that every record stays on one line.
std::string OneLine(const std::string &text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else out += c;
  }
  return out;
}

}  // namespace

void PrintRecords(const Table &table, const std::vector<std::vector<uint8_t>> &records) {
  std::vector<std::string> headers;
  std::vector<bool> right;
  for (const Field &field : table.fields()) {
    headers.push_back(field.name);
    right.push_back(IsNumericType(field.type));
  }
  TextTable text(headers, right);
  for (const auto &record : records) {
    std::vector<std::string> row;
    for (size_t f = 0; f < table.fields().size(); ++f) {
      const int32_t fieldNo = static_cast<int32_t>(f);
      if (record[f] == 0) row.push_back("(null)");
      else if (record[f] != 1) row.push_back("(flag " + std::to_string(record[f]) + ")");
      else row.push_back(OneLine(FormatValue(table.fields()[f], fieldNo, record.data())));
    }
    text.Add(row);
  }
  text.Print(std::cout);
}

}  // namespace vtool
