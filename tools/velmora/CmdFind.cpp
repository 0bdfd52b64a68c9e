// velmora find: the record with a given key of an index.
#include <iostream>

#include "Cli.h"
#include "Commands.h"
#include "Table.h"

namespace vtool {

const char *const kFindHelp =
    "Usage: velmora find TABLE.vri [--index NAME] KEY...\n\n"
    "Finds the record whose key in the index (the first index by default) equals\n"
    "the given values, one value per key field in key order, and prints it.  An\n"
    "empty value stands for null.  Exit status 1 when there is no such record.\n";

int RunFind(const Arguments &argv) {
  Args args(argv, {"index"}, {});
  if (args.help()) return PrintHelp(kFindHelp), 0;
  if (args.positionals().size() < 2) throw UsageError("expected a table name and the key values");
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
  KeyTexts keys = table.Keys(indexNo, values);
  if (DLL_RangeEmpty(table.handle()) || !DLL_FindKeyRecord(table.handle(), keys.data(), keys.high())) {
    std::cerr << "velmora find: no record with that key in index " << index.name << '\n';
    return 1;
  }
  PrintRecords(table, {table.Current()});
  return 0;
}

}  // namespace vtool
