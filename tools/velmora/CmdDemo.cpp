// velmora demo: a guided walk through the library on a sample table in a
// temporary folder, printing each step and what it produced.
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <iostream>

#include "Cli.h"
#include "Commands.h"
#include "Table.h"

namespace vtool {

const char *const kDemoHelp =
    "Usage: velmora demo [--keep]\n\n"
    "Creates a sample table of staff members in a temporary folder and walks\n"
    "through the library: posting records, moving through an index, searching by\n"
    "key, key ranges, a filter, locating by field values, bookmarks, editing,\n"
    "deleting and rebuilding, printing what happens at each step.  The folder is\n"
    "removed at the end unless --keep is given.\n";

namespace {

void Step(const std::string &title) { std::cout << "\n== " << title << '\n'; }

// The filter procedure the demo installs: passes staff earning at least the
// amount its user value points to.
struct SalaryFilter {
  int32_t offset;
  int32_t fieldNo;
  double minimum;
};

uint8_t VR_CALL PassesSalary(intptr_t user, const void *record) {
  const auto *filter = reinterpret_cast<const SalaryFilter *>(user);
  const auto *bytes = static_cast<const uint8_t *>(record);
  if (bytes[filter->fieldNo] != 1) return 0;
  double salary;
  std::memcpy(&salary, bytes + filter->offset, 8);
  return salary >= filter->minimum ? 1 : 0;
}

class Demo {
 public:
  explicit Demo(Table &table) : t_(table), h_(table.handle()) {}

  std::vector<uint8_t> Record(const std::vector<std::string> &values) {
    std::vector<uint8_t> record = t_.NewRecord();
    for (size_t f = 0; f < values.size(); ++f)
      StoreValue(t_.fields()[f], static_cast<int32_t>(f), values[f], record.data());
    return record;
  }
  std::string Show(const std::vector<uint8_t> &record) {
    std::string text;
    for (const std::string &value : t_.Texts(record))
      text += (text.empty() ? "" : " | ") + (value.empty() ? "(null)" : value);
    return text;
  }
  std::string Current() { return DLL_RangeEmpty(h_) ? std::string("(no current record)") : Show(t_.Current()); }
  void Walk(const std::string &label) {
    std::vector<std::vector<uint8_t>> records;
    t_.ForEach([&](const std::vector<uint8_t> &record) {
      records.push_back(record);
      return true;
    });
    std::cout << label << " (" << records.size() << " records):\n";
    PrintRecords(t_, records);
  }

 private:
  Table &t_;
  int32_t h_;
};

}  // namespace

int RunDemo(const Arguments &argv) {
  Args args(argv, {}, {"keep"});
  if (args.help()) return PrintHelp(kDemoHelp), 0;
  if (!args.positionals().empty()) throw UsageError("demo takes no arguments");
  char pattern[] = "/tmp/velmora-demo-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw ToolError("cannot create a temporary folder");
  const std::string folder = pattern;
  const std::string path = folder + "/staff.vri";
  struct Cleanup {
    std::string folder;
    bool keep;
    ~Cleanup() {
      std::error_code ec;
      if (!keep) std::filesystem::remove_all(folder, ec);
    }
  } cleanup{folder, args.has("keep")};

  std::cout << "Velmora demo: a table of staff members in " << folder << '\n';
  Step("Create the table: six fields, a unique key and a second index");
  if (RunCreate({path, "--field", "Id:I", "--field", "Name:S:20", "--field", "City:S:12", "--field", "Born:D",
                 "--field", "Salary:C", "--field", "Active:B", "--index", "ById:Id", "--index", "ByCity:City,Name"}) !=
      0)
    return 1;
  for (const char *ext : {".vri", ".vrd", ".va1", ".va2", ".vb1", ".vb2"})
    std::cout << "  file staff" << ext << ": " << std::filesystem::file_size(folder + "/staff" + ext) << " bytes\n";

  Table table(path, kOpenExclusive);
  const int32_t h = table.handle();
  Demo demo(table);
  std::cout << "opened: " << DLL_FieldCount(h) << " fields, " << DLL_IndexCount(h) << " indexes, records of "
            << DLL_RecordSize(h) << " bytes\n";

  Step("Post records (DLL_MoveToDB, DLL_PostNewRecord)");
  const std::vector<std::vector<std::string>> staff = {
      {"7", "Ada Lovelace", "London", "1815-12-10", "5200.50", "true"},
      {"3", "Alan Turing", "Manchester", "1912-06-23", "4800", "true"},
      {"12", "Grace Hopper", "New York", "1906-12-09", "6100", "false"},
      {"5", "Edsger Dijkstra", "Eindhoven", "1930-05-11", "4500", "true"},
      {"9", "Charles Babbage", "London", "1791-12-26", "3900.25", "false"},
      {"1", "Niklaus Wirth", "Zurich", "1934-02-15", "", "true"},
  };
  for (const auto &values : staff) {
    DLL_MoveToDB(h, demo.Record(values).data());
    DLL_PostNewRecord(h);
    std::cout << "posted: " << demo.Show(demo.Record(values)) << '\n';
  }
  std::cout << "total records: " << DLL_TotalRecords(h) << '\n';
  try {
    DLL_MoveToDB(h, demo.Record({"7", "Somebody Else", "Paris", "", "", ""}).data());
    DLL_PostNewRecord(h);
  } catch (const velmora::Exception &e) {
    std::cout << "posting a second record with Id 7 is refused: " << e.what() << '\n';
  }

  Step("Navigate the unique key ById (DLL_First, DLL_Next, DLL_Last, DLL_Prior)");
  table.UseIndex(0);
  demo.Walk("ById order");
  DLL_Last(h);
  std::cout << "last: " << demo.Current() << '\n';
  DLL_Prior(h);
  std::cout << "prior: " << demo.Current() << " (position " << DLL_CurrentRecordPosition(h) << " of "
            << DLL_RangeCount(h) << ")\n";

  Step("Change to index ByCity (City, Name)");
  table.UseIndex(1);
  demo.Walk("ByCity order");

  Step("Search by key (DLL_FindKeyRecord, DLL_FindNearestRecord)");
  table.UseIndex(0);
  {
    KeyTexts key = table.Keys(0, {"12"});
    const bool found = DLL_FindKeyRecord(h, key.data(), key.high()) & 0xFF;
    std::cout << "find Id 12: " << (found ? demo.Current() : std::string("not found")) << '\n';
    KeyTexts missing = table.Keys(0, {"8"});
    std::cout << "find Id 8: "
              << ((DLL_FindKeyRecord(h, missing.data(), missing.high()) & 0xFF) ? "found" : "not found") << '\n';
    DLL_FindNearestRecord(h, missing.data(), missing.high());
    std::cout << "nearest to Id 8: " << demo.Current() << '\n';
  }

  Step("A key range: the staff in London (DLL_ApplyRange on ByCity)");
  table.UseIndex(1);
  {
    KeyTexts london = table.Keys(1, {"London"});
    DLL_ApplyRange(h, london.data(), london.high(), london.data(), london.high());
    std::cout << "range count: " << DLL_RangeCount(h) << '\n';
    demo.Walk("City London");
    KeyTexts low = table.Keys(1, {"F"}), high = table.Keys(1, {"N"});
    DLL_ApplyRange(h, low.data(), low.high(), high.data(), high.high());
    demo.Walk("Cities from F to N");
    DLL_CancelRange(h);
  }

  Step("A filter: salary of at least 4800 (DLL_SetFilterProc, DLL_SetFiltered)");
  {
    const int32_t salaryField = table.FieldNumber("Salary");
    SalaryFilter filter{table.fields()[salaryField].offset, salaryField, 4800};
    DLL_SetFilterProc(h, PassesSalary, reinterpret_cast<intptr_t>(&filter), nullptr, 0);
    DLL_SetFilterStatus(h, 1, 0);
    DLL_SetFiltered(h, 1);
    std::cout << "records passing: " << DLL_RangeCount(h) << '\n';
    demo.Walk("Filtered, ByCity order");
    DLL_SetFiltered(h, 0);
    std::cout << "filter off: " << DLL_RangeCount(h) << " records in the range\n";
  }

  Step("Locate by field values (DLL_MapFieldsToIndex, DLL_LocateRecord)");
  table.UseIndex(0);
  {
    const int32_t nameField = table.FieldNumber("Name");
    std::vector<int32_t> fields = {nameField};
    TFieldNoList list{1, fields.data()};
    const int32_t index = DLL_MapFieldsToIndex(h, &list, 1);
    std::cout << "an index led by Name: "
              << (index < 0 ? std::string("none, so the records are scanned") : std::to_string(index)) << '\n';
    std::vector<uint8_t> key = table.NewRecord();
    StoreValue(table.fields()[nameField], nameField, "grace", key.data());
    const bool found = DLL_LocateRecord(h, &list, key.data(), -1, 5, 1, 0) & 0xFF;
    std::cout << "locate Name starting with \"grace\", any case: "
              << (found ? demo.Show(key) : std::string("not found")) << '\n';
    const int32_t cityField = table.FieldNumber("City");
    std::vector<int32_t> both = {nameField, cityField};
    TFieldNoList pair{2, both.data()};
    const int32_t mapped = DLL_MapFieldsToIndex(h, &pair, 1);
    std::vector<uint8_t> key2 = table.NewRecord();
    StoreValue(table.fields()[nameField], nameField, "Alan Turing", key2.data());
    StoreValue(table.fields()[cityField], cityField, "Manchester", key2.data());
    const bool found2 = DLL_LocateRecord(h, &pair, key2.data(), mapped, 0, 0, 1) & 0xFF;
    std::cout << "locate Name and City through index " << mapped << " (the list now in its key order), moving there: "
              << (found2 ? demo.Current() : std::string("not found")) << '\n';
  }

  Step("Bookmarks (DLL_AddBookmark, DLL_GoToBookmark)");
  {
    const int32_t slot = DLL_AddBookmark(h, DLL_GetCurrentBookMarkData(h));
    std::cout << "bookmark " << slot << " on: " << demo.Current() << '\n';
    DLL_First(h);
    std::cout << "moved to the first record: " << demo.Current() << '\n';
    const bool back = DLL_GoToBookmark(h, slot) & 0xFF;
    std::cout << "back to the bookmark: " << (back ? demo.Current() : std::string("failed")) << '\n';
  }

  Step("Edit a record (DLL_EditRecord, DLL_PostEditedRecord)");
  {
    DLL_EditRecord(h);
    std::vector<uint8_t> record = table.Current();
    const int32_t salaryField = table.FieldNumber("Salary");
    StoreValue(table.fields()[salaryField], salaryField, "5000", record.data());
    DLL_MoveToDB(h, record.data());
    DLL_PostEditedRecord(h);
    std::cout << "raised the salary: " << demo.Current() << '\n';
  }

  Step("Delete a record (DLL_DeleteRecord)");
  {
    KeyTexts key = table.Keys(0, {"9"});
    if (DLL_FindKeyRecord(h, key.data(), key.high()) & 0xFF) {
      std::cout << "deleting: " << demo.Current() << '\n';
      DLL_DeleteRecord(h);
    }
    std::cout << "total records: " << DLL_TotalRecords(h) << "; now current: " << demo.Current() << '\n';
    demo.Walk("ById order");
  }

  Step("Rebuild the indexes from the data file (DLL_RebuildTable)");
  {
    int32_t kept = 0, before = 0;
    DLL_RebuildTable(h, &kept, &before);
    std::cout << "kept " << kept << " of " << before << " records; the old data stays in staff.vxx\n";
    demo.Walk("ById order after the rebuild");
  }

  Step("Check the files (velmora check)");
  const int problems = CheckTable(path, std::cout);
  std::cout << (problems == 0 ? "the table is sound\n" : "the table has inconsistencies\n");

  std::cout << "\nDone."
            << (args.has("keep") ? " The table stays in " + folder + "\n"
                                 : std::string(" The temporary folder is removed.\n"));
  return problems == 0 ? 0 : 1;
}

}  // namespace vtool
