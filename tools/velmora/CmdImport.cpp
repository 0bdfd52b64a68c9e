// velmora import: every row of a CSV file posted as a new record.  A row that
// cannot be converted or that the library refuses is reported with its line
// number and the reason, and the others go on; the summary says how many
// rows went in.
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <iostream>

#include "Cli.h"
#include "Commands.h"
#include "Csv.h"
#include "Table.h"

namespace vtool {

namespace {
constexpr size_t kMaxRecords = 30000;
}  // namespace

const char *const kImportHelp =
    "Usage: velmora import TABLE.vri FILE.csv [--delimiter C]\n\n"
    "Adds the rows of a CSV file (RFC 4180: comma-separated, fields holding\n"
    "commas, quotes or line breaks in double quotes) as new records; FILE.csv\n"
    "\"-\" reads standard input.  The first row names the fields, in any order and\n"
    "letter case; fields it leaves out are null.  An empty value is null; \"\" is\n"
    "an empty text in a String field.  Values are written as velmora list shows\n"
    "them: 12.5, 2024-03-15 13:05:00, ...; booleans as true/false, yes/no, 1/0,\n"
    "on/off, t/f or y/n.  A String value may not be longer than the field's\n"
    "length in bytes (UTF-8: a letter beyond ASCII takes 2 to 4 bytes).\n\n"
    "  --delimiter C   the character between fields: a comma by default, ';',\n"
    "                  or 'tab' for tab-separated files\n\n"
    "A table holds at most 30000 records: an import that cannot fit is announced\n"
    "before it starts, and stops when the table is full.\n\n"
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
  // Shows the bar full for a moment's notice, then takes it off.
  void Finish() {
    Update(total_);
    Clear();
  }
  void Update(size_t done) {
    if (!shown_) return;
    const size_t percent = total_ == 0 ? 100 : done * 100 / total_;
    if (percent == last_) return;
    last_ = percent;
    std::string bar(percent / 4, '#');
    bar.resize(25, '.');
    std::cerr << "\rimporting [" << bar << "] " << percent << "% " << done << '/' << total_ << std::flush;
  }
  // Takes the bar off the line before other text goes to standard error.
  void Clear() {
    if (shown_ && last_ == 100)
      std::cerr << '\n' << std::flush;
    else if (shown_ && last_ != kNone)
      std::cerr << "\r\033[K" << std::flush;
    last_ = kNone;
  }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);
  size_t total_;
  bool shown_;
  size_t last_ = kNone;
};

}  // namespace

namespace {

char Delimiter(const std::optional<std::string> &text) {
  if (!text) return ',';
  if (*text == "tab" || *text == "\\t" || *text == "\t") return '\t';
  if (text->size() != 1 || (*text)[0] == '"' || (*text)[0] == '\n' || (*text)[0] == '\r')
    throw UsageError("--delimiter must be one character other than a quote or a line break, or 'tab'");
  return (*text)[0];
}

// A column of the header row: the field of that name, else the one field whose
// name differs only in letter case.
int32_t ColumnField(const Table &table, const std::string &name) {
  for (size_t f = 0; f < table.fields().size(); ++f)
    if (table.fields()[f].name == name) return static_cast<int32_t>(f);
  auto lower = [](std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  int32_t match = -1;
  for (size_t f = 0; f < table.fields().size(); ++f) {
    if (lower(table.fields()[f].name) != lower(name)) continue;
    if (match >= 0) throw ToolError("column " + name + " matches more than one field in letter case");
    match = static_cast<int32_t>(f);
  }
  return match >= 0 ? match : table.FieldNumber(name);
}

}  // namespace

int RunImport(const Arguments &argv) {
  Args args(argv, {"delimiter"}, {});
  if (args.help()) return PrintHelp(kImportHelp), 0;
  if (args.positionals().size() != 2) throw UsageError("expected a table name and a CSV file");
  const std::string csvPath = args.positionals()[1];
  const bool fromStdin = csvPath == "-";
  const std::string csvName = fromStdin ? std::string("standard input") : csvPath;
  const char delimiter = Delimiter(args.value("delimiter"));

  // The whole file is read first, so that a malformed file imports nothing.
  std::ifstream file;
  if (!fromStdin) {
    file.open(csvPath, std::ios::binary);
    if (!file) throw ToolError(csvPath + ": cannot be read");
  }
  std::istream &in = fromStdin ? std::cin : file;
  std::vector<CsvRow> rows;
  try {
    CsvReader reader(in, delimiter);
    CsvRow row;
    while (reader.Next(row)) {
      // A line with nothing on it is no row.
      if (row.fields.size() == 1 && row.fields[0].empty() && !row.quoted[0]) continue;
      rows.push_back(row);
    }
  } catch (const CsvError &e) {
    throw ToolError(csvName + ": " + e.what() + "; nothing imported");
  }
  if (rows.empty()) throw ToolError(csvName + ": no header row; nothing imported");

  Table table(args.positionals()[0], kOpenExclusive);
  std::vector<int32_t> columns;
  for (const std::string &name : rows[0].fields) {
    const int32_t f = ColumnField(table, name);
    for (int32_t other : columns)
      if (other == f) throw ToolError(csvName + ": column " + name + " appears twice; nothing imported");
    columns.push_back(f);
  }

  const size_t total = rows.size() - 1;
  const size_t present = static_cast<size_t>(DLL_TotalRecords(table.handle()));
  const size_t room = present >= kMaxRecords ? 0 : kMaxRecords - present;
  if (total > room)
    std::cerr << "velmora import: warning: the table holds " << present << " records and " << csvName << " has "
              << total << " rows; a table holds at most " << kMaxRecords << " records, so at most " << room
              << (room == 1 ? " row" : " rows") << " can go in\n";
  size_t imported = 0;
  Progress progress(total);
  auto reject = [&](const CsvRow &row, const std::string &reason) {
    progress.Clear();
    std::cerr << csvName << ": line " << row.line << ": " << reason << '\n';
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
    if (static_cast<size_t>(DLL_TotalRecords(table.handle())) >= kMaxRecords) {
      progress.Clear();
      std::cerr << csvName << ": line " << row.line << ": the table is full (" << kMaxRecords
                << " records); this row and the " << (rows.size() - 1 - r) << " after it were not imported\n";
      break;
    }
    try {
      DLL_MoveToDB(table.handle(), record.data());
      DLL_PostNewRecord(table.handle());
      ++imported;
    } catch (const velmora::Exception &e) {
      reject(row, table.PostingFailure(e.what(), record));
    }
  }
  progress.Finish();
  std::cout << "imported " << imported << " of " << total << " rows\n";
  return imported == total ? 0 : 1;
}

}  // namespace vtool
