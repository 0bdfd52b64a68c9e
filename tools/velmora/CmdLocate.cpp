// velmora locate: the records found by the values of any fields.  The library
// locates the first match; the tool then walks the table for every match,
// comparing fields as the library's locate does.
#include <iostream>

#include "Cli.h"
#include "Commands.h"
#include "Table.h"
#include "TableFiles.h"

namespace vtool {

const char *const kLocateHelp =
    "Usage: velmora locate TABLE.vri [--partial N] [--ignore-case] [--limit N]\n"
    "                    [--format table|csv|json] FIELD=VALUE...\n\n"
    "Finds every record whose fields have the given values and prints them in the\n"
    "order of the first index.  An empty VALUE stands for null.  Exit status 1\n"
    "when nothing matches.\n\n"
    "  --partial N     compare only the first N bytes of the last given field,\n"
    "                  which must be a String field\n"
    "  --ignore-case   compare String fields without regard to the case of a-z\n"
    "  --limit N       print at most N of the records found\n"
    "  --format F      table (the default), csv or json, as for velmora list\n";

namespace {

struct Condition {
  int32_t fieldNo;
  int32_t length;  // String fields: bytes compared (the whole field when 0)
};

uint8_t Fold(uint8_t c, bool ignoreCase) { return ignoreCase && c >= 'a' && c <= 'z' ? c - 32 : c; }

// The library's locate comparison: null flags first, then the value; String
// fields byte by byte up to the length, a-z as A-Z when ignoring case.
bool Matches(const Table &table, const std::vector<Condition> &conditions, const uint8_t *key, const uint8_t *record,
             bool ignoreCase) {
  for (const Condition &c : conditions) {
    const Field &field = table.fields()[c.fieldNo];
    if (key[c.fieldNo] != record[c.fieldNo]) return false;
    if (key[c.fieldNo] != 1) continue;
    if (field.type != 'S') {
      if (CompareField(field, c.fieldNo, key, record) != 0) return false;
      continue;
    }
    const int32_t n = c.length > 0 ? std::min(c.length, field.maxChars()) : field.maxChars();
    const uint8_t *a = key + field.offset, *b = record + field.offset;
    for (int32_t i = 0; i < n; ++i) {
      if (Fold(a[i], ignoreCase) != Fold(b[i], ignoreCase)) return false;
      if (a[i] == 0) break;
    }
  }
  return true;
}

}  // namespace

int RunLocate(const Arguments &argv) {
  Args args(argv, {"partial", "limit", "format"}, {"ignore-case"});
  if (args.help()) return PrintHelp(kLocateHelp), 0;
  if (args.positionals().size() < 2) throw UsageError("expected a table name and FIELD=VALUE pairs");
  const int32_t partial = args.value("partial") ? ParseCount(*args.value("partial"), "--partial", 255) : 0;
  const int32_t limit = args.value("limit") ? ParseCount(*args.value("limit"), "--limit", 30000) : -1;
  const Format format = ParseFormat(args.value("format"));
  const bool ignoreCase = args.has("ignore-case");
  Table table(args.positionals()[0], kOpenShared);

  std::vector<Condition> conditions;
  std::vector<uint8_t> key = table.NewRecord();
  for (size_t i = 1; i < args.positionals().size(); ++i) {
    const std::string &pair = args.positionals()[i];
    size_t eq = pair.find('=');
    if (eq == std::string::npos) throw UsageError("'" + pair + "' is not FIELD=VALUE");
    const int32_t f = table.FieldNumber(pair.substr(0, eq));
    for (const Condition &other : conditions)
      if (other.fieldNo == f) throw UsageError("field " + pair.substr(0, eq) + " is given twice");
    try {
      StoreValue(table.fields()[f], f, pair.substr(eq + 1), key.data());
    } catch (const ValueError &e) {
      throw ToolError("field " + table.fields()[f].name + ": " + e.what());
    }
    conditions.push_back({f, 0});
  }
  if (partial > 0) {
    if (table.fields()[conditions.back().fieldNo].type != 'S')
      throw UsageError("--partial needs a String field as the last given field");
    conditions.back().length = partial;
  }

  // The library's scan finds the first match (and reports a failure of its own).
  std::vector<int32_t> fieldNos;
  for (const Condition &c : conditions) fieldNos.push_back(c.fieldNo);
  TFieldNoList list{static_cast<int32_t>(fieldNos.size()), fieldNos.data()};
  std::vector<uint8_t> first = key;
  const bool found = DLL_LocateRecord(table.handle(), &list, first.data(), -1, partial, ignoreCase ? 1 : 0, 0) & 0xFF;
  if (!found) {
    const std::string error = table.LastError();
    if (!error.empty()) throw ToolError(error);
    std::cerr << "velmora locate: no record matches\n";
    return 1;
  }
  std::vector<std::vector<uint8_t>> records;
  int32_t total = 0;
  table.ForEach([&](const std::vector<uint8_t> &record) {
    if (Matches(table, conditions, key.data(), record.data(), ignoreCase)) {
      ++total;
      if (limit < 0 || static_cast<int32_t>(records.size()) < limit) records.push_back(record);
    }
    return true;
  });
  if (total == 0) records.push_back(first), total = 1;
  PrintRecords(table, records, format);
  if (format == Format::kTable && total > 1)
    std::cout << "(" << records.size()
              << (static_cast<int32_t>(records.size()) < total ? " of " + std::to_string(total) + " records)\n"
                                                               : " records)\n");
  return 0;
}

}  // namespace vtool
