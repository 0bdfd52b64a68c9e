// velmora count: the number of records, of the whole table or of a key range.
#include <iostream>

#include "Cli.h"
#include "Commands.h"
#include "Csv.h"
#include "Table.h"

namespace vtool {

const char *const kCountHelp =
    "Usage: velmora count TABLE.vri [--index NAME] [--from KEY] [--to KEY]\n\n"
    "Prints the number of records: of the whole table, or of those whose key in\n"
    "the index (the first by default) lies from KEY to KEY, written as for\n"
    "velmora list.\n";

int RunCount(const Arguments &argv) {
  Args args(argv, {"index", "from", "to"}, {});
  if (args.help()) return PrintHelp(kCountHelp), 0;
  if (args.positionals().size() != 1) throw UsageError("expected one table name");
  Table table(args.positionals()[0], kOpenShared);
  const auto from = args.value("from"), to = args.value("to");
  if (!from && !to) {
    std::cout << DLL_TotalRecords(table.handle()) << '\n';
    return 0;
  }
  int32_t indexNo = 0;
  if (args.value("index")) {
    indexNo = table.IndexNumber(*args.value("index"));
    table.UseIndex(indexNo);
  }
  table.ApplyRange(indexNo, from ? SplitCsvText(*from) : std::vector<std::string>(),
                   to ? SplitCsvText(*to) : std::vector<std::string>());
  std::cout << (DLL_RangeEmpty(table.handle()) ? 0 : DLL_RangeCount(table.handle())) << '\n';
  return 0;
}

}  // namespace vtool
