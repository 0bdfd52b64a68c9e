// velmora info: the table's layout through the library, and the index files'
// block and directory statistics read straight from the files.
#include <cstdio>
#include <iostream>

#include "Cli.h"
#include "Commands.h"
#include "Table.h"
#include "TableFiles.h"
#include "TextTable.h"

namespace vtool {

const char *const kInfoHelp =
    "Usage: velmora info TABLE.vri\n\n"
    "Shows the table's fields (type, offset and size in the record, parameters),\n"
    "its indexes with their key fields, the record count, and for each index the\n"
    "number of leaf blocks, directory entries and entries, and how full the blocks\n"
    "are on average (a block holds up to 7 entries).  Reads only.\n";

namespace {

std::string FieldParameters(int32_t h, int32_t fieldNo) {
  std::string text;
  for (int32_t p = 0; p <= 3; ++p) {
    uint8_t present = 0;
    uint8_t value[256] = {};
    DLL_GetFieldParams(h, fieldNo, p, &present, value, 255);
    if (!present) continue;
    if (!text.empty()) text += ", ";
    text += p == 0 ? std::string("flag") : std::to_string(p) + "=" + FromShortString(value);
  }
  return text;
}

}  // namespace

int RunInfo(const Arguments &argv) {
  Args args(argv, {}, {});
  if (args.help()) return PrintHelp(kInfoHelp), 0;
  if (args.positionals().size() != 1) throw UsageError("expected one table name");
  const std::string path = args.positionals()[0];
  Table table(path, kOpenShared);
  const Schema schema = ReadSchema(path);

  char version[32];
  std::snprintf(version, sizeof version, "%.1f", schema.version);
  std::cout << "Table " << path << "\n  " << DLL_TotalRecords(table.handle()) << " record(s) of " << table.recordSize()
            << " bytes, format version " << version << "\n\nFields:\n";
  TextTable fields({"#", "Name", "Type", "Offset", "Size", "Parameters"}, {true, false, false, true, true, false});
  for (size_t f = 0; f < table.fields().size(); ++f) {
    const Field &field = table.fields()[f];
    std::string type = TypeName(field.type) + " (" + field.type + ")";
    if (field.type == 'S') type = "String(" + std::to_string(field.maxChars()) + ") (S)";
    fields.Add({std::to_string(f), field.name, type, std::to_string(field.offset), std::to_string(field.size),
                FieldParameters(table.handle(), static_cast<int32_t>(f))});
  }
  fields.Print(std::cout);

  std::cout << "\nIndexes:\n";
  TextTable indexes({"#", "File", "Name", "Key fields", "Blocks", "Directory", "Entries", "Fill"},
                    {true, false, false, false, true, true, true, true});
  for (size_t i = 0; i < table.indexes().size(); ++i) {
    const Index &index = table.indexes()[i];
    // Key fields from the schema file, so that no index needs to be made active.
    std::string keys;
    if (i < schema.indexes.size())
      for (int32_t f : schema.indexes[i].fields)
        if (f < static_cast<int32_t>(table.fields().size())) keys += (keys.empty() ? "" : ",") + table.fields()[f].name;
    const IndexFiles files = ReadIndexFiles(path, static_cast<int32_t>(i));
    const std::string letter(1, static_cast<char>('A' + i));
    if (!files.leafError.empty() || !files.dirError.empty()) {
      indexes.Add({std::to_string(i), letter, index.name, keys, "?", "?", "?", "?"});
      continue;
    }
    // Live blocks are those after the two reserved ones.
    const size_t blocks = files.blockCount() > 2 ? files.blockCount() - 2 : 0;
    int64_t entries = 0;
    for (size_t b = 2; b < files.blockCount(); ++b) {
      const int32_t count = files.Block(b).count;
      if (count > 0 && count <= 7) entries += count;
    }
    char fill[32] = "-";
    if (blocks > 0) std::snprintf(fill, sizeof fill, "%.1f%%", 100.0 * entries / (7.0 * blocks));
    indexes.Add({std::to_string(i), letter, index.name, keys, std::to_string(blocks),
                 std::to_string(files.entryCount()), std::to_string(entries), fill});
  }
  indexes.Print(std::cout);
  return 0;
}

}  // namespace vtool
