#include "Csv.h"

#include <sstream>

namespace vtool {

int CsvReader::Get() { return in_.get(); }
int CsvReader::Peek() { return in_.peek(); }

bool CsvReader::Next(CsvRow &row) {
  row = CsvRow();
  if (!started_) {
    started_ = true;
    // A byte order mark before the first field is not part of it.
    if (Peek() == 0xEF) {
      char bom[3];
      in_.read(bom, 3);
      if (!(in_.gcount() == 3 && static_cast<unsigned char>(bom[1]) == 0xBB &&
            static_cast<unsigned char>(bom[2]) == 0xBF)) {
        in_.clear();
        for (int i = static_cast<int>(in_.gcount()) - 1; i >= 0; --i) in_.putback(bom[i]);
      }
    }
  }
  if (Peek() == std::char_traits<char>::eof()) return false;
  row.line = line_;
  std::string field;
  bool quoted = false;
  for (;;) {
    int c = Get();
    if (c == '"' && field.empty() && !quoted) {
      quoted = true;
      const size_t openedOn = line_;
      for (;;) {
        c = Get();
        if (c == std::char_traits<char>::eof())
          throw CsvError("line " + std::to_string(openedOn) + ": quoted field is not closed");
        if (c == '"') {
          if (Peek() == '"') {
            Get();
            field += '"';
            continue;
          }
          break;
        }
        if (c == '\n') ++line_;
        field += static_cast<char>(c);
      }
      c = Get();
      if (c == '\r' && Peek() == '\n') c = Get();
      if (c != delimiter_ && c != '\n' && c != std::char_traits<char>::eof())
        throw CsvError("line " + std::to_string(line_) + ": text after the closing quote of a field");
    }
    if (c == delimiter_ || c == '\n' || c == std::char_traits<char>::eof() || (c == '\r' && Peek() == '\n')) {
      if (c == '\r') Get();
      row.fields.push_back(field);
      row.quoted.push_back(quoted);
      field.clear();
      quoted = false;
      if (c == delimiter_) continue;
      if (c != std::char_traits<char>::eof()) ++line_;
      return true;
    }
    if (c == '"') throw CsvError("line " + std::to_string(line_) + ": quote inside an unquoted field");
    field += static_cast<char>(c);
  }
}

std::string CsvField(const std::string &text, bool quote) {
  if (!quote && text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

void WriteCsvRow(std::ostream &out, const std::vector<std::string> &fields, const std::vector<bool> &quoted) {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out << ',';
    out << CsvField(fields[i], i < quoted.size() && quoted[i]);
  }
  out << "\r\n";
}

std::vector<std::string> SplitCsvText(const std::string &text) {
  std::istringstream in(text);
  CsvReader reader(in);
  CsvRow row;
  if (!reader.Next(row)) return {""};
  CsvRow extra;
  if (reader.Next(extra)) throw CsvError("a key must be written on one line");
  return row.fields;
}

}  // namespace vtool
