// velmora find: the records with a given key of an index.
#include <iostream>

#include "Cli.h"
#include "Commands.h"
#include "Table.h"

namespace vtool {

const char *const kFindHelp =
    "Usage: velmora find TABLE.vri [--index NAME] [--limit N] [--format table|csv|json] KEY...\n\n"
    "Finds the records whose key in the index (the first index by default)\n"
    "equals the given values, one value per key field in key order, and prints\n"
    "them all (an index other than the first may hold equal keys).  An empty value\n"
    "stands for null.  Exit status 1 when there is no such record.\n\n"
    "  --limit N      print at most N of the records found\n"
    "  --format F     table (the default), csv or json, as for velmora list\n";

int RunFind(const Arguments &argv) {
  Args args(argv, {"index", "limit", "format"}, {});
  if (args.help()) return PrintHelp(kFindHelp), 0;
  if (args.positionals().size() < 2) throw UsageError("expected a table name and the key values");
  const int32_t limit = args.value("limit") ? ParseCount(*args.value("limit"), "--limit", 30000) : -1;
  const Format format = ParseFormat(args.value("format"));
  Table table(args.positionals()[0], kOpenShared);
  int32_t indexNo = 0;
  if (args.value("index")) {
    indexNo = table.IndexNumber(*args.value("index"));
    table.UseIndex(indexNo);
  }
  const Index &index = table.indexes()[indexNo];
  std::vector<std::string> values(args.positionals().begin() + 1, args.positionals().end());
  if (values.size() != index.fields.size())
    throw UsageError("index " + index.name + " has " + std::to_string(index.fields.size()) +
                     " key field(s); give one value for each");
  int32_t total = 0;
  const auto records = table.FindAll(indexNo, values, limit, &total);
  if (total == 0) {
    std::cerr << "velmora find: no record with that key in index " << index.name << '\n';
    return 1;
  }
  PrintRecords(table, records, format);
  if (format == Format::kTable && total > 1)
    std::cout << "(" << records.size()
              << (static_cast<int32_t>(records.size()) < total ? " of " + std::to_string(total) + " records)\n"
                                                               : " records)\n");
  return 0;
}

}  // namespace vtool
