// velmora locate: a record found by the values of any fields, through an index
// whose leading fields are the given ones when there is one, else by a scan.
#include <iostream>

#include "Cli.h"
#include "Commands.h"
#include "Table.h"

namespace vtool {

const char *const kLocateHelp =
    "Usage: velmora locate TABLE.vri [--partial N] [--ignore-case] FIELD=VALUE...\n\n"
    "Finds the first record whose fields have the given values and prints it.\n"
    "An index whose leading key fields are exactly the given fields is used when\n"
    "there is one; otherwise the records are scanned in the order of the first\n"
    "index.  An empty VALUE stands for null.  Exit status 1 when nothing matches.\n\n"
    "  --partial N     compare only the first N characters of the last given\n"
    "                  field, which must be a String field\n"
    "  --ignore-case   compare String fields without regard to the case of a-z\n";

int RunLocate(const Arguments &argv) {
  Args args(argv, {"partial"}, {"ignore-case"});
  if (args.help()) return PrintHelp(kLocateHelp), 0;
  if (args.positionals().size() < 2) throw UsageError("expected a table name and FIELD=VALUE pairs");
  const int32_t partial = args.value("partial") ? ParseCount(*args.value("partial"), "--partial", 255) : 0;
  const uint8_t ignoreCase = args.has("ignore-case") ? 1 : 0;
  Table table(args.positionals()[0], kOpenShared);

  std::vector<int32_t> fieldNos;
  std::vector<uint8_t> key = table.NewRecord();
  for (size_t i = 1; i < args.positionals().size(); ++i) {
    const std::string &pair = args.positionals()[i];
    size_t eq = pair.find('=');
    if (eq == std::string::npos) throw UsageError("'" + pair + "' is not FIELD=VALUE");
    const int32_t f = table.FieldNumber(pair.substr(0, eq));
    for (int32_t other : fieldNos)
      if (other == f) throw UsageError("field " + pair.substr(0, eq) + " is given twice");
    try {
      StoreValue(table.fields()[f], f, pair.substr(eq + 1), key.data());
    } catch (const ValueError &e) {
      throw ToolError("field " + table.fields()[f].name + ": " + e.what());
    }
    fieldNos.push_back(f);
  }
  if (partial > 0 && table.fields()[fieldNos.back()].type != 'S')
    throw UsageError("--partial needs a String field as the last given field");

  // An index fits when its leading fields are the given ones; its key order
  // must keep the partial field last, where the partial length applies.
  std::vector<int32_t> mapped = fieldNos;
  TFieldNoList mappedList{static_cast<int32_t>(mapped.size()), mapped.data()};
  int32_t indexNo = DLL_MapFieldsToIndex(table.handle(), &mappedList, 1);
  if (indexNo >= 0 && partial > 0 && mapped.back() != fieldNos.back()) indexNo = -1;

  std::vector<uint8_t> found = key;
  bool ok = false;
  if (indexNo >= 0) {
    ok = DLL_LocateRecord(table.handle(), &mappedList, found.data(), indexNo, partial, ignoreCase, 0) & 0xFF;
    // An index search tries only the record it lands on, which a caseless
    // match may miss: scan then.
    if (!ok && ignoreCase) {
      found = key;
      indexNo = -1;
    }
  }
  if (indexNo < 0) {
    std::vector<int32_t> scanned = fieldNos;
    TFieldNoList scanList{static_cast<int32_t>(scanned.size()), scanned.data()};
    ok = DLL_LocateRecord(table.handle(), &scanList, found.data(), -1, partial, ignoreCase, 0) & 0xFF;
  }
  if (!ok) {
    const std::string error = table.LastError();
    if (!error.empty()) throw ToolError(error);
    std::cerr << "velmora locate: no record matches\n";
    return 1;
  }
  PrintRecords(table, {found});
  return 0;
}

}  // namespace vtool
