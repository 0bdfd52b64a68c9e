// velmora check: a read-only integrity check of a table's files.  Reads the
// schema, data and index files directly (the library is not asked, since
// opening a damaged table may already fail) and walks every index in
// directory order, comparing what it finds with the data file.
#include <cmath>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>

#include "Cli.h"
#include "Commands.h"
#include "Table.h"
#include "TableFiles.h"
#include "VRcomm/DataLayout.h"
#include "VRcomm/FieldTypes.h"
#include "VRcomm/IndexLayout.h"
#include "VRcomm/JournalLayout.h"

namespace vtool {

namespace leaf = velmora::leaf;
namespace directory = velmora::directory;

const char *const kCheckHelp =
    "Usage: velmora check TABLE.vri\n\n"
    "Checks the table's files without changing them: the schema file's layout;\n"
    "the data file's size, null flags and values (dates within the calendar, texts\n"
    "ending within their field, key values that can be ordered); and for every\n"
    "index that its directory names each leaf block once and gives each block's\n"
    "first record, that block counts lie within 0..7, that every record appears\n"
    "exactly once, and that consecutive entries are in key order.  Prints each\n"
    "inconsistency found.\n"
    "Exit status 0 only when the table is sound.  After the inconsistencies it\n"
    "says what repairs them: velmora rebuild for the data and index files, which\n"
    "rebuilds every index from the data file; nothing for a damaged schema file.\n"
    "A change that a stopped program left unfinished is rolled back by the next\n"
    "command that opens the table.\n";

namespace {

// Collects the inconsistencies of one part of the table, printing at most
// kShown of them.
class Report {
 public:
  Report(std::ostream &out, std::string prefix) : out_(out), prefix_(std::move(prefix)) {}
  ~Report() {
    if (count_ > kShown) out_ << prefix_ << "... and " << count_ - kShown << " more\n";
  }
  void operator()(const std::string &text) {
    if (++count_ <= kShown) out_ << prefix_ << text << '\n';
  }
  int count() const { return count_; }

 private:
  static constexpr int kShown = 40;
  std::ostream &out_;
  std::string prefix_;
  int count_ = 0;
};

// What the rebuild would refuse in a record's values, or what would keep its
// keys from being ordered: a date outside the calendar, a text without its
// end, a real key value that is not a number or infinite.  Empty when sound.
std::string ValueProblem(const Schema &schema, const uint8_t *record, int32_t f, bool realKey) {
  const Field &field = schema.fields[f];
  const uint8_t *at = record + field.offset;
  double number = 0;
  if (field.type == 'C' || field.type == 'D' || field.type == 'F') std::memcpy(&number, at, 8);
  if (field.type == 'R') number = DecodeReal48(at);
  if (realKey && !std::isfinite(number))
    return std::isnan(number) ? "holds a key value that is not a number" : "holds an infinite key value";
  if (field.type == 'D') {
    // Days from 1899-12-30 of 0001-01-01 and 9999-12-31, the calendar's ends.
    constexpr double kFirstDay = -693593, kLastDay = 2958465;
    bool inside = std::isfinite(number) && number > kFirstDay - 1 && number < kLastDay + 1;
    if (inside) {
      double whole = std::trunc(number);
      double days = whole + (std::llround(std::fabs(number - whole) * 86400000.0) >= 86400000 ? 1 : 0);
      inside = days >= kFirstDay && days <= kLastDay;
    }
    if (!inside) return "holds a date outside the calendar";
  }
  if (field.type == 'S' && field.size > 0 && std::memchr(at, 0, static_cast<size_t>(field.size)) == nullptr)
    return "holds a text without its end within its " + std::to_string(field.size) + " bytes";
  return "";
}

// The values of each record against its field types, and the real key fields
// that lead an index: their smallest and largest values must still compare.
void CheckValues(const Schema &schema, const std::vector<uint8_t> &data, int64_t recordCount,
                 const std::function<void(const std::string &)> &problem) {
  if (!schema.usable) return;
  const size_t size = static_cast<size_t>(schema.recordSize);
  std::vector<bool> realKey(static_cast<size_t>(schema.fieldCount), false), leading = realKey;
  for (const SchemaIndex &index : schema.indexes)
    for (size_t k = 0; k < index.fields.size(); ++k) {
      const int32_t f = index.fields[k];
      if (f < 0 || f >= schema.fieldCount) continue;
      const char type = schema.fields[f].type;
      if (type == 'C' || type == 'D' || type == 'F' || type == 'R') {
        realKey[f] = true;
        if (k == 0) leading[f] = true;
      }
    }
  struct Extreme {
    long double low = 0, high = 0;
    int64_t lowAt = -1, highAt = -1;
  };
  std::vector<Extreme> extremes(static_cast<size_t>(schema.fieldCount));
  for (int64_t r = 0; r < recordCount; ++r) {
    const uint8_t *record = &data[static_cast<size_t>(r) * size];
    for (int32_t f = 0; f < schema.fieldCount; ++f) {
      if (record[f] != 1) continue;
      const std::string why = ValueProblem(schema, record, f, realKey[f]);
      if (!why.empty()) {
        problem("record " + std::to_string(r) + " field " + schema.fields[f].name + " " + why);
        continue;
      }
      if (!leading[f]) continue;
      const uint8_t *at = record + schema.fields[f].offset;
      long double v;
      if (schema.fields[f].type == 'R') {
        v = DecodeReal48(at);
      } else {
        double d;
        std::memcpy(&d, at, 8);
        v = d;
      }
      Extreme &e = extremes[f];
      if (e.lowAt < 0 || v < e.low) e.low = v, e.lowAt = r;
      if (e.highAt < 0 || v > e.high) e.high = v, e.highAt = r;
    }
  }
  // A difference of 2^127 or more is beyond the largest six-byte real.
  for (int32_t f = 0; f < schema.fieldCount; ++f) {
    const Extreme &e = extremes[f];
    if (e.lowAt >= 0 && e.high - e.low >= std::ldexp(1.0L, 127) * (1 - std::ldexp(1.0L, -41)))
      problem("key field " + schema.fields[f].name + " of records " + std::to_string(e.lowAt) + " and " +
              std::to_string(e.highAt) + " holds values too far apart to be compared");
  }
}

std::string RecordList(int64_t a, int64_t b) { return "records " + std::to_string(a) + " and " + std::to_string(b); }

int CheckIndex(const Schema &schema, int32_t indexNo, const std::string &schemaPath, const std::vector<uint8_t> &data,
               int64_t recordCount, std::ostream &out) {
  const SchemaIndex &index = schema.indexes[indexNo];
  Report problem(out, "index " + std::string(1, static_cast<char>('A' + indexNo)) + " (" + index.name + "): ");
  const IndexFiles files = ReadIndexFiles(schemaPath, indexNo);
  if (!files.leafError.empty()) problem(files.leafError);
  if (!files.dirError.empty()) problem(files.dirError);
  if (!files.leafError.empty() || !files.dirError.empty()) return problem.count();
  if (files.leaf.size() % leaf::kBlockBytes != 0)
    problem("leaf file size " + std::to_string(files.leaf.size()) + " is not a multiple of " +
            std::to_string(leaf::kBlockBytes) + " bytes");
  if (files.dir.size() % directory::kEntryBytes != 0)
    problem("directory file size " + std::to_string(files.dir.size()) + " is not a multiple of " +
            std::to_string(directory::kEntryBytes) + " bytes");
  const size_t blocks = files.blockCount(), entries = files.entryCount();
  if (blocks < leaf::kInitialBlocks)
    problem("leaf file holds " + std::to_string(blocks) + " blocks, fewer than " +
            std::to_string(leaf::kInitialBlocks));
  if (entries == 0) {
    problem("directory file is empty");
    return problem.count();
  }
  constexpr size_t kFirstLive = leaf::kFirstLiveBlock;
  if (blocks != entries + kFirstLive)
    problem("directory lists " + std::to_string(entries) + " blocks but the leaf file holds " +
            std::to_string(blocks >= kFirstLive ? blocks - kFirstLive : 0) + " live blocks");

  const bool emptyIndex = entries == 1 && files.EntryFirst(0) == -1;
  std::map<int32_t, size_t> listedAt;  // block number -> directory position
  std::vector<int> seen(static_cast<size_t>(recordCount), 0);
  int64_t total = 0;
  int64_t previous = -1;  // record of the previous entry in key order
  const bool ordered = schema.usable && !data.empty();
  const size_t size = static_cast<size_t>(schema.recordSize);
  for (size_t p = 0; p < entries; ++p) {
    const int32_t b = files.EntryBlock(p), first = files.EntryFirst(p);
    const std::string entry = "directory entry " + std::to_string(p);
    if (b < leaf::kFirstLiveBlock || static_cast<size_t>(b) >= blocks) {
      problem(entry + " names block " + std::to_string(b) + ", outside the live blocks " +
              std::to_string(leaf::kFirstLiveBlock) + ".." + std::to_string(static_cast<int64_t>(blocks) - 1));
      continue;
    }
    auto [it, inserted] = listedAt.emplace(b, p);
    if (!inserted) {
      problem("block " + std::to_string(b) + " is listed twice in the directory (entries " +
              std::to_string(it->second) + " and " + std::to_string(p) + ")");
      continue;
    }
    const LeafBlock block = files.Block(b);
    const std::string where = "block " + std::to_string(b);
    if (block.count < 0 || block.count > leaf::kBlockCapacity) {
      problem(where + " has the count " + std::to_string(block.count) + ", outside 0.." +
              std::to_string(leaf::kBlockCapacity));
      continue;
    }
    if (block.count == 0) {
      if (!(emptyIndex && recordCount == 0)) problem(where + " is empty but still listed (" + entry + ")");
      if (first != -1 || block.slots[0] != -1)
        problem("the empty index's " + entry + " gives first record " + std::to_string(first) + " and " + where +
                " slot 1 holds " + std::to_string(block.slots[0]) + ", both should be -1");
      continue;
    }
    if (first != block.slots[0])
      problem(entry + " gives first record " + std::to_string(first) + " but " + where + " starts with record " +
              std::to_string(block.slots[0]));
    total += block.count;
    for (int s = 0; s < block.count; ++s) {
      const int32_t r = block.slots[s];
      if (r < 0 || r >= recordCount) {
        problem(where + " slot " + std::to_string(s + 1) + " holds record " + std::to_string(r) +
                ", outside the data file's records 0.." + std::to_string(recordCount - 1));
        continue;
      }
      ++seen[r];
      if (ordered && previous >= 0) {
        const int c = CompareKeys(schema, indexNo, &data[previous * size], &data[r * size], true);
        if (c > 0)
          problem(RecordList(previous, r) + " are out of key order (" + where + " slot " + std::to_string(s + 1) + ")");
        else if (c == 0 && previous != r)
          problem(RecordList(previous, r) + " have equal keys in the unique first index (" + where + " slot " +
                  std::to_string(s + 1) + ")");
      }
      previous = r;
    }
  }
  for (size_t b = kFirstLive; b < blocks; ++b)
    if (!listedAt.count(static_cast<int32_t>(b)))
      problem("block " + std::to_string(b) + " of the leaf file is not listed in the directory");
  if (total != recordCount)
    problem("index holds " + std::to_string(total) + " entries but the data file holds " + std::to_string(recordCount) +
            " records");
  for (int64_t r = 0; r < recordCount; ++r) {
    if (seen[r] == 0)
      problem("record " + std::to_string(r) + " is missing");
    else if (seen[r] > 1)
      problem("record " + std::to_string(r) + " is listed " + std::to_string(seen[r]) + " times");
  }
  return problem.count();
}

// The table's data and index files that do not exist, separated by blanks.
std::string MissingFiles(const std::string &schemaPath) {
  const Schema schema = ReadSchema(schemaPath);
  std::vector<std::string> files{CompanionPath(velmora::DataFileName(schemaPath))};
  for (int32_t i = 0; i < schema.indexCount && i < velmora::kMaxIndexes; ++i) {
    files.push_back(CompanionPath(velmora::LeafFileName(schemaPath, i)));
    files.push_back(CompanionPath(velmora::DirectoryFileName(schemaPath, i)));
  }
  std::string missing;
  std::vector<uint8_t> ignored;
  std::string error;
  for (const std::string &file : files)
    if (!ReadFileBytes(file, &ignored, &error)) missing += (missing.empty() ? "" : " ") + file;
  return missing;
}

}  // namespace

int CheckTable(const std::string &schemaPath, std::ostream &out, int *schemaFound) {
  const Schema schema = ReadSchema(schemaPath);
  int found = 0;
  for (const std::string &text : schema.problems) out << text << '\n';
  found += static_cast<int>(schema.problems.size());
  if (schemaFound != nullptr) *schemaFound = found;

  std::vector<uint8_t> data;
  int64_t recordCount = 0;
  {
    Report problem(out, "data: ");
    std::string error;
    const std::string dataPath = CompanionPath(velmora::DataFileName(schemaPath));
    if (!ReadFileBytes(dataPath, &data, &error)) {
      problem(error);
    } else if (schema.recordSize > 0) {
      recordCount = static_cast<int64_t>(data.size() / schema.recordSize);
      if (data.size() % schema.recordSize != 0)
        problem("the data file ends in a partial record of " + std::to_string(data.size() % schema.recordSize) +
                " bytes");
      if (recordCount > velmora::kMaxRecords)
        problem("the data file holds " + std::to_string(recordCount) + " records, more than " +
                std::to_string(velmora::kMaxRecords));
      for (int64_t r = 0; r < recordCount; ++r)
        for (int32_t f = 0; f < schema.fieldCount; ++f) {
          const uint8_t flag = data[velmora::data::RecordAt(r, schema.recordSize) + f];
          if (flag > velmora::data::kValue)
            problem("record " + std::to_string(r) + " field " + schema.fields[f].name + " has the null flag " +
                    std::to_string(flag) + ", neither 0 nor 1");
        }
      CheckValues(schema, data, recordCount, [&](const std::string &text) { problem(text); });
    }
    found += problem.count();
  }
  if (schema.fieldCount >= 0 && schema.fieldCount <= velmora::kMaxFields && schema.indexCount >= 0 &&
      schema.indexCount <= velmora::kMaxIndexes && schema.indexes.size() == static_cast<size_t>(schema.indexCount)) {
    if (schema.indexCount == 0) {
      out << "schema: the table has no index\n";
      ++found;
      if (schemaFound != nullptr) ++*schemaFound;
    }
    for (int32_t i = 0; i < schema.indexCount; ++i) found += CheckIndex(schema, i, schemaPath, data, recordCount, out);
  }
  return found;
}

int RunCheck(const Arguments &argv) {
  Args args(argv, {}, {});
  if (args.help()) return PrintHelp(kCheckHelp), 0;
  if (args.positionals().size() != 1) throw UsageError("expected one table name");
  const std::string path = args.positionals()[0];
  // A change that a stopped program left unfinished: the files may disagree
  // until the next open rolls it back.
  std::vector<uint8_t> journal;
  std::string ignored;
  // The journal's first bytes hold the change counter; a live record after
  // them is an unfinished change (a finished one's record is retired).
  if (ReadFileBytes(CompanionPath(velmora::JournalFileName(path)), &journal, &ignored) &&
      velmora::journal::HoldsLiveRecord(journal.data(), journal.size()))
    std::cout << path
              << ": a change left unfinished by a stopped program is waiting in its journal; the next "
                 "command that opens the table (velmora info, for one) rolls it back\n";
  int schemaFound = 0;
  const int found = CheckTable(path, std::cout, &schemaFound);
  if (found == 0) {
    std::cout << path << ": sound\n";
    return 0;
  }
  std::cout << path << ": " << found << (found == 1 ? " inconsistency" : " inconsistencies") << " found\n";
  if (schemaFound > 0)
    std::cout << "no command repairs a damaged schema file: create the table again (velmora create) and import "
                 "its records\n";
  if (found > schemaFound) {
    if (MissingFiles(path).empty())
      std::cout << "velmora rebuild " << path
                << " repairs the data and index files: it rebuilds every index from "
                   "the data file and leaves out records it cannot keep\n";
    else
      std::cout << "the table cannot be opened to rebuild it while a file is missing (" << MissingFiles(path)
                << "): put the file back, or create the table again and import its records\n";
  }
  return 1;
}

}  // namespace vtool
