// Output shared by the commands: help texts and records as an aligned table,
// CSV or JSON.
#include <cmath>
#include <cstdio>
#include <iostream>

#include "Cli.h"
#include "Commands.h"
#include "Csv.h"
#include "Table.h"
#include "TextTable.h"

namespace vtool {

void PrintHelp(const char *help) { std::cout << help; }

Format ParseFormat(const std::optional<std::string> &text) {
  if (!text || *text == "table") return Format::kTable;
  if (*text == "csv") return Format::kCsv;
  if (*text == "json") return Format::kJson;
  throw UsageError("--format must be table, csv or json, not '" + *text + "'");
}

namespace {

// Line breaks and tabs written out, so that every record stays on one line.
std::string OneLine(const std::string &text) {
  std::string out;
  for (char c : text) {
    if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\t')
      out += "\\t";
    else
      out += c;
  }
  return out;
}

std::string JsonString(const std::string &text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"')
      out += "\\\"";
    else if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\t')
      out += "\\t";
    else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// A field's value as JSON: numbers and booleans bare, dates and texts quoted.
std::string JsonValue(const Field &field, const std::string &text) {
  switch (field.type) {
    case 'B': return text;
    case 'C':
    case 'F':
    case 'I':
    case 'R': return std::isfinite(std::strtod(text.c_str(), nullptr)) ? text : JsonString(text);
    default: return JsonString(text);
  }
}

void PrintTable(const Table &table, const std::vector<std::vector<uint8_t>> &records) {
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
      if (record[f] == 0)
        row.push_back("(null)");
      else if (record[f] != 1)
        row.push_back("(flag " + std::to_string(record[f]) + ")");
      else
        row.push_back(OneLine(FormatValue(table.fields()[f], fieldNo, record.data())));
    }
    text.Add(row);
  }
  text.Print(std::cout);
}

void PrintCsv(const Table &table, const std::vector<std::vector<uint8_t>> &records) {
  std::vector<std::string> header;
  for (const Field &field : table.fields()) header.push_back(field.name);
  WriteCsvRow(std::cout, header);
  for (const auto &record : records) {
    std::vector<std::string> texts = table.Texts(record);
    std::vector<bool> quoted(texts.size(), false);
    for (size_t f = 0; f < texts.size(); ++f)
      quoted[f] = texts[f].empty() && !IsNull(record.data(), static_cast<int32_t>(f));
    WriteCsvRow(std::cout, texts, quoted);
  }
}

void PrintJson(const Table &table, const std::vector<std::vector<uint8_t>> &records) {
  std::cout << '[';
  for (size_t r = 0; r < records.size(); ++r) {
    std::cout << (r ? ",\n " : "\n ") << '{';
    for (size_t f = 0; f < table.fields().size(); ++f) {
      const Field &field = table.fields()[f];
      const int32_t fieldNo = static_cast<int32_t>(f);
      std::cout << (f ? ", " : "") << JsonString(field.name) << ": "
                << (IsNull(records[r].data(), fieldNo)
                        ? std::string("null")
                        : JsonValue(field, FormatValue(field, fieldNo, records[r].data())));
    }
    std::cout << '}';
  }
  std::cout << (records.empty() ? "]\n" : "\n]\n");
}

}  // namespace

void PrintRecords(const Table &table, const std::vector<std::vector<uint8_t>> &records, Format format) {
  switch (format) {
    case Format::kTable: return PrintTable(table, records);
    case Format::kCsv: return PrintCsv(table, records);
    case Format::kJson: return PrintJson(table, records);
  }
}

}  // namespace vtool
