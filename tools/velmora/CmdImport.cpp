// velmora import: every row of a CSV file posted as a new record.  A row that
// cannot be converted or that the library refuses is reported with its line
// number and the reason, and the others go on; the summary says how many
// rows went in.
#include <unistd.h>

#include <fstream>
#include <iostream>

#include "Cli.h"
#include "Commands.h"
#include "Csv.h"
#include "Table.h"

namespace vtool {

const char *const kImportHelp =
    "Usage: velmora import TABLE.vri FILE.csv\n\n"
    "Adds the rows of a CSV file (RFC 4180: comma-separated, fields holding\n"
    "commas, quotes or line breaks in double quotes) as new records.  The first\n"
    "row names the fields, in any order; fields it leaves out are null.  An empty\n"
    "value is null; \"\" is an empty text in a String field.  Values are written as\n"
    "velmora list shows them: true/false, 12.5, 2024-03-15 13:05:00, ...\n\n"
    "Rows that do not convert or that the table refuses (such as a second record\n"
    "with the same key of the first index) are reported with their line number\n"
    "and the reason; the other rows are imported.  Ends with \"imported N of M\n"
    "rows\"; exit status 1 when any row was rejected.  Shows a progress bar on a\n"
    "terminal for long imports.\n";

namespace {

// A progress bar on standard error, drawn only when that is a terminal.
class Progress {
 public:
  explicit Progress(size_t total) : total_(total), shown_(total >= 2000 && isatty(2)) {}
  ~Progress() { Clear(); }
  void Update(size_t done) {
    if (!shown_) return;
    const size_t percent = done * 100 / total_;
    if (percent == last_) return;
    last_ = percent;
    std::string bar(percent / 4, '#');
    bar.resize(25, '.');
    std::cerr << "\rimporting [" << bar << "] " << percent << "% " << done << '/' << total_ << std::flush;
  }
  // Takes the bar off the line before other text goes to standard error.
  void Clear() {
    if (shown_ && last_ != kNone) std::cerr << "\r\033[K" << std::flush;
    last_ = kNone;
  }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);
  size_t total_;
  bool shown_;
  size_t last_ = kNone;
};

}  // namespace

int RunImport(const Arguments &argv) {
  Args args(argv, {}, {});
  if (args.help()) return PrintHelp(kImportHelp), 0;
  if (args.positionals().size() != 2) throw UsageError("expected a table name and a CSV file");
  const std::string csvPath = args.positionals()[1];

  // The whole file is read first, so that a malformed file imports nothing.
  std::ifstream in(csvPath, std::ios::binary);
  if (!in) throw ToolError(csvPath + ": cannot be read");
  std::vector<CsvRow> rows;
  try {
    CsvReader reader(in);
    CsvRow row;
    while (reader.Next(row)) {
      // A line with nothing on it is no row.
      if (row.fields.size() == 1 && row.fields[0].empty() && !row.quoted[0]) continue;
      rows.push_back(row);
    }
  } catch (const CsvError &e) {
    throw ToolError(csvPath + ": " + e.what() + "; nothing imported");
  }
  if (rows.empty()) throw ToolError(csvPath + ": no header row; nothing imported");

  Table table(args.positionals()[0], kOpenExclusive);
  std::vector<int32_t> columns;
  for (const std::string &name : rows[0].fields) {
    const int32_t f = table.FieldNumber(name);
    for (int32_t other : columns)
      if (other == f) throw ToolError(csvPath + ": column " + name + " appears twice; nothing imported");
    columns.push_back(f);
  }

  const size_t total = rows.size() - 1;
  size_t imported = 0;
  Progress progress(total);
  auto reject = [&](const CsvRow &row, const std::string &reason) {
    progress.Clear();
    std::cerr << csvPath << ": line " << row.line << ": " << reason << '\n';
  };
  for (size_t r = 1; r < rows.size(); ++r) {
    const CsvRow &row = rows[r];
    progress.Update(r - 1);
    if (row.fields.size() != columns.size()) {
      reject(row, std::to_string(row.fields.size()) + " values for " + std::to_string(columns.size()) + " columns");
      continue;
    }
    std::vector<uint8_t> record = table.NewRecord();
    bool converted = true;
    for (size_t c = 0; c < columns.size() && converted; ++c) {
      const int32_t f = columns[c];
      const Field &field = table.fields()[f];
      try {
        StoreValue(field, f, row.fields[c], record.data());
        // A quoted empty value is an empty text, not null.
        if (row.fields[c].empty() && row.quoted[c] && field.type == 'S') record[f] = 1;
      } catch (const ValueError &e) {
        reject(row, "field " + field.name + ": " + e.what());
        converted = false;
      }
    }
    if (!converted) continue;
    try {
      DLL_MoveToDB(table.handle(), record.data());
      DLL_PostNewRecord(table.handle());
      ++imported;
    } catch (const velmora::Exception &e) {
      reject(row, e.what());
    }
  }
  progress.Clear();
  std::cout << "imported " << imported << " of " << total << " rows\n";
  return imported == total ? 0 : 1;
}

}  // namespace vtool
