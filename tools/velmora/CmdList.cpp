// velmora list: the records of a range of an index, as an aligned table, CSV or JSON.
#include <iostream>

#include "Cli.h"
#include "Commands.h"
#include "Csv.h"
#include "Table.h"

namespace vtool {

const char *const kListHelp =
    "Usage: velmora list TABLE.vri [--index NAME] [--from KEY] [--to KEY] [--limit N]\n"
    "                  [--format table|csv|json]\n\n"
    "Prints the records in the order of an index (the first index by default) as\n"
    "an aligned table; null fields show as (null).\n\n"
    "  --index NAME   the index whose order to follow\n"
    "  --from KEY     start at the first record whose key is at or after KEY\n"
    "  --to KEY       end at the last record whose key is at or before KEY\n"
    "  --limit N      print at most N records\n"
    "  --format F     table (the default, with a count line at the end), csv (as\n"
    "                 export writes it) or json (an array of objects, null for null)\n\n"
    "A KEY gives values for the leading fields of the index, separated by commas\n"
    "(quoted as in CSV when a value holds a comma: --from 'Smith,\"Oslo, N\"'); the\n"
    "fields it leaves out take every value, so --from B --to B on an index of\n"
    "(City, Name) lists every record of city B.  An empty value stands for null.\n";

int RunList(const Arguments &argv) {
  Args args(argv, {"index", "from", "to", "limit", "format"}, {});
  if (args.help()) return PrintHelp(kListHelp), 0;
  if (args.positionals().size() != 1) throw UsageError("expected one table name");
  const int32_t limit = args.value("limit") ? ParseCount(*args.value("limit"), "--limit", 30000) : -1;
  const Format format = ParseFormat(args.value("format"));
  Table table(args.positionals()[0], kOpenShared);
  int32_t indexNo = 0;
  if (args.value("index")) {
    indexNo = table.IndexNumber(*args.value("index"));
    table.UseIndex(indexNo);
  }
  const auto from = args.value("from"), to = args.value("to");
  if (from || to)
    table.ApplyRange(indexNo, from ? SplitCsvText(*from) : std::vector<std::string>(),
                     to ? SplitCsvText(*to) : std::vector<std::string>());
  std::vector<std::vector<uint8_t>> records;
  table.ForEach([&](const std::vector<uint8_t> &record) {
    if (limit >= 0 && static_cast<int32_t>(records.size()) >= limit) return false;
    records.push_back(record);
    return true;
  });
  PrintRecords(table, records, format);
  if (format != Format::kTable) return 0;
  const int32_t total = DLL_RangeEmpty(table.handle()) ? 0 : DLL_RangeCount(table.handle());
  if (static_cast<int32_t>(records.size()) < total)
    std::cout << "(" << records.size() << " of " << total << " records)\n";
  else
    std::cout << "(" << records.size() << (records.size() == 1 ? " record)\n" : " records)\n");
  return 0;
}

}  // namespace vtool
