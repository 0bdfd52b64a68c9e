// velmora insert, update and delete: one record at a time, found by its key.
#include <iostream>

#include "Cli.h"
#include "Commands.h"
#include "Table.h"

namespace vtool {

const char *const kInsertHelp =
    "Usage: velmora insert TABLE.vri FIELD=VALUE...\n\n"
    "Adds one record; fields not given are null, an empty VALUE is null too.\n"
    "Values are written as velmora list shows them.  A record whose key of the\n"
    "first index another record holds already is refused.\n\n"
    "Example:\n"
    "  velmora insert people.vri Id=7 'Name=Ann Lee' Born=1990-05-17\n";
const char *const kUpdateHelp =
    "Usage: velmora update TABLE.vri [--index NAME] KEY... --set FIELD=VALUE...\n\n"
    "Changes the given fields of the record whose key in the index (the first by\n"
    "default) equals KEY, one value per key field; an empty VALUE makes the field\n"
    "null.  Refused when no record or more than one record has the key.\n\n"
    "Example:\n"
    "  velmora update people.vri 7 --set 'Name=Ann Berg' --set Born=\n";
const char *const kDeleteHelp =
    "Usage: velmora delete TABLE.vri [--index NAME] KEY...\n\n"
    "Deletes the record whose key in the index (the first by default) equals KEY,\n"
    "one value per key field.  Refused when no record or more than one record has\n"
    "the key.\n";

namespace {

// Sets FIELD=VALUE in the record; ToolError naming the field when it does not convert.
void Assign(const Table &table, const std::string &pair, std::vector<uint8_t> &record) {
  const size_t eq = pair.find('=');
  if (eq == std::string::npos) throw UsageError("'" + pair + "' is not FIELD=VALUE");
  const int32_t f = table.FieldNumber(pair.substr(0, eq));
  try {
    StoreValue(table.fields()[f], f, pair.substr(eq + 1), record.data());
  } catch (const ValueError &e) {
    throw ToolError("field " + table.fields()[f].name + ": " + e.what());
  }
}

// Moves the cursor to the one record with the key; ToolError when there is none or several.
void GoToOnlyRecord(Table &table, const Args &args, const std::string &command) {
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
  table.FindAll(indexNo, values, 1, &total);
  if (total == 0) throw ToolError("no record with that key in index " + index.name);
  if (total > 1)
    throw ToolError(std::to_string(total) + " records have that key in index " + index.name + "; " + command +
                    " works on one record: give the key of the unique index " + table.indexes()[0].name);
  KeyTexts keys = table.Keys(indexNo, values);
  DLL_FindKeyRecord(table.handle(), keys.data(), keys.high());
}

}  // namespace

int RunInsert(const Arguments &argv) {
  Args args(argv, {}, {});
  if (args.help()) return PrintHelp(kInsertHelp), 0;
  if (args.positionals().size() < 2) throw UsageError("expected a table name and FIELD=VALUE pairs");
  Table table(args.positionals()[0], kOpenExclusive);
  std::vector<uint8_t> record = table.NewRecord();
  for (size_t i = 1; i < args.positionals().size(); ++i) Assign(table, args.positionals()[i], record);
  try {
    DLL_MoveToDB(table.handle(), record.data());
    DLL_PostNewRecord(table.handle());
  } catch (const velmora::Exception &e) {
    throw ToolError(table.PostingFailure(e.what(), record));
  }
  std::cout << "inserted 1 record\n";
  return 0;
}

int RunUpdate(const Arguments &argv) {
  Args args(argv, {"index", "set"}, {});
  if (args.help()) return PrintHelp(kUpdateHelp), 0;
  if (args.positionals().size() < 2) throw UsageError("expected a table name and the key values");
  if (args.values("set").empty()) throw UsageError("expected at least one --set FIELD=VALUE");
  Table table(args.positionals()[0], kOpenExclusive);
  GoToOnlyRecord(table, args, "update");
  DLL_EditRecord(table.handle());
  std::vector<uint8_t> record = table.Current();
  for (const std::string &pair : args.values("set")) Assign(table, pair, record);
  try {
    DLL_MoveToDB(table.handle(), record.data());
    DLL_PostEditedRecord(table.handle());
  } catch (const velmora::Exception &e) {
    throw ToolError(table.PostingFailure(e.what(), record));
  }
  std::cout << "updated 1 record\n";
  return 0;
}

int RunDelete(const Arguments &argv) {
  Args args(argv, {"index"}, {});
  if (args.help()) return PrintHelp(kDeleteHelp), 0;
  if (args.positionals().size() < 2) throw UsageError("expected a table name and the key values");
  Table table(args.positionals()[0], kOpenExclusive);
  GoToOnlyRecord(table, args, "delete");
  DLL_DeleteRecord(table.handle());
  std::cout << "deleted 1 record\n";
  return 0;
}

}  // namespace vtool
