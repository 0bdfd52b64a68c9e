// velmora export: the records as CSV, a header row of field names first.
#include <fstream>
#include <iostream>

#include "Cli.h"
#include "Commands.h"
#include "Csv.h"
#include "Table.h"

namespace vtool {

const char *const kExportHelp =
    "Usage: velmora export TABLE.vri [FILE.csv] [--index NAME]\n\n"
    "Writes the records in the order of an index (the first by default) as CSV\n"
    "(RFC 4180, lines ended by CRLF) to FILE.csv, replacing it, or to standard\n"
    "output (no FILE.csv, or \"-\").  The first row names the fields.  Null fields are empty; an empty\n"
    "text is written as \"\".  velmora import reads the file back.\n";

int RunExport(const Arguments &argv) {
  Args args(argv, {"index"}, {});
  if (args.help()) return PrintHelp(kExportHelp), 0;
  if (args.positionals().empty() || args.positionals().size() > 2)
    throw UsageError("expected a table name and optionally a CSV file");
  Table table(args.positionals()[0], kOpenShared);
  if (args.value("index")) table.UseIndex(table.IndexNumber(*args.value("index")));

  std::ofstream file;
  const bool toFile = args.positionals().size() == 2 && args.positionals()[1] != "-";
  if (toFile) {
    file.open(args.positionals()[1], std::ios::binary | std::ios::trunc);
    if (!file) throw ToolError(args.positionals()[1] + ": cannot be written");
  }
  std::ostream &out = toFile ? static_cast<std::ostream &>(file) : std::cout;
  std::vector<std::string> header;
  for (const Field &field : table.fields()) header.push_back(field.name);
  WriteCsvRow(out, header);
  size_t count = 0;
  table.ForEach([&](const std::vector<uint8_t> &record) {
    std::vector<std::string> texts = table.Texts(record);
    std::vector<bool> quoted(texts.size(), false);
    for (size_t f = 0; f < texts.size(); ++f)
      quoted[f] = texts[f].empty() && !IsNull(record.data(), static_cast<int32_t>(f));
    WriteCsvRow(out, texts, quoted);
    ++count;
    return true;
  });
  out.flush();
  // Standard output is checked once the command is done, as for every command.
  if (toFile && !out) throw ToolError(args.positionals()[1] + ": write failed");
  if (toFile) std::cout << "exported " << count << " records to " << args.positionals()[1] << '\n';
  return 0;
}

}  // namespace vtool
