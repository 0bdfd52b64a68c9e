// Comma-separated values as RFC 4180 has them: fields separated by commas,
// records by CRLF (a bare LF is accepted too), a field that holds a comma, a
// quote or a line break enclosed in double quotes with inner quotes doubled.
// The reader tells a quoted empty field ("") from an empty one, so that an
// empty text and a null value survive a round trip.
#pragma once

#include <istream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace vtool {

class CsvError : public std::runtime_error {
 public:
  explicit CsvError(const std::string &message) : std::runtime_error(message) {}
};

struct CsvRow {
  size_t line = 0;  // line number (from 1) on which the record starts
  std::vector<std::string> fields;
  std::vector<bool> quoted;  // per field: it was enclosed in quotes
};

class CsvReader {
 public:
  // `delimiter` separates the fields (a comma by default; ';' or a tab for
  // other spreadsheets' files).
  explicit CsvReader(std::istream &in, char delimiter = ',') : in_(in), delimiter_(delimiter) {}
  // The next record; false at the end of the input.  Raises CsvError, naming
  // the line, for a quote inside an unquoted field, text after a closing
  // quote, or a quoted field that is never closed.
  bool Next(CsvRow &row);

 private:
  int Get();
  int Peek();
  std::istream &in_;
  char delimiter_;
  size_t line_ = 1;
  bool started_ = false;
};

// One field, quoted when it must be (or when `quote` asks for it).
std::string CsvField(const std::string &text, bool quote = false);
// Writes one record ended by CRLF; quoted[i] forces quotes on field i.
void WriteCsvRow(std::ostream &out, const std::vector<std::string> &fields, const std::vector<bool> &quoted = {});

// Splits one line of text written in the same form (used for keys on the
// command line: Smith,"Jones, Jr").
std::vector<std::string> SplitCsvText(const std::string &text);

}  // namespace vtool
