// velmora create: writes the schema file with the empty data and index files.
#include <cctype>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "Cli.h"
#include "Commands.h"
#include "Table.h"

namespace vtool {

const char *const kCreateHelp =
    "Usage: velmora create TABLE.vri --field NAME:TYPE[:LEN]... --index NAME:FIELD[,FIELD...]...\n\n"
    "Creates a table: its schema file, an empty data file, and the files of each\n"
    "index.  Refuses a table whose schema file exists already.\n\n"
    "  --field NAME:TYPE[:LEN]   a field, in record order (1 to 26 fields); TYPE is a\n"
    "                            letter or name: B Boolean, C Currency, D DateTime,\n"
    "                            F Float, I Integer, R Real, S String; a String field\n"
    "                            needs LEN, its length in bytes (1 to 32766; UTF-8: a\n"
    "                            letter beyond ASCII takes 2 to 4 bytes)\n"
    "  --index NAME:FIELD,...    an index over the named fields in key order (1 to 10\n"
    "                            fields; 1 to 13 indexes); the first index is the\n"
    "                            table's unique key, the others allow equal keys\n\n"
    "Example:\n"
    "  velmora create people.vri --field Id:I --field Name:S:30 --field Born:D \\\n"
    "      --index ById:Id --index ByName:Name,Born\n";

namespace {

void SetShortString(uint8_t *dest, const std::string &text) {
  dest[0] = static_cast<uint8_t>(text.size());
  std::memcpy(dest + 1, text.data(), text.size());
}

// Names are stored with at most 63 bytes; a longer one would be cut.
void CheckName(const std::string &name, const std::string &what) {
  if (name.empty()) throw UsageError(what + " name is empty");
  if (name.size() > 63) throw UsageError(what + " name " + name + " is longer than 63 bytes");
}

// A table is named by its schema file: NAME.vri, or NAME alone.
void RequireTableName(const std::string &name) {
  std::string extension = name.substr(ReplaceExtension(name, "").size());
  for (char &c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (!extension.empty() && extension != ".vri")
    throw UsageError(name + ": a table is named NAME.vri or NAME (its files are NAME.vri, NAME.vrd, ...), not " +
                     name.substr(ReplaceExtension(name, "").size()));
}

}  // namespace

int RunCreate(const Arguments &argv) {
  Args args(argv, {"field", "index"}, {});
  if (args.help()) return PrintHelp(kCreateHelp), 0;
  if (args.positionals().size() != 1) throw UsageError("expected one table name");
  const std::string schemaPath = SchemaPathOf(args.positionals()[0]);
  RequireTableName(args.positionals()[0]);

  std::vector<TFieldDescriptor> fields;
  std::vector<std::string> fieldNames;
  for (const std::string &definition : args.values("field")) {
    std::vector<std::string> parts = SplitOn(definition, ':');
    if (parts.size() < 2 || parts.size() > 3) throw UsageError("field '" + definition + "' is not NAME:TYPE[:LEN]");
    CheckName(parts[0], "field");
    for (const std::string &other : fieldNames)
      if (other == parts[0]) throw UsageError("field " + parts[0] + " is defined twice");
    const char type = TypeLetter(parts[1]);
    if (type == 0) throw UsageError("field " + parts[0] + ": unknown type '" + parts[1] + "' (use B C D F I R S)");
    int32_t len = 0;
    if (type == 'S') {
      if (parts.size() != 3) throw UsageError("String field " + parts[0] + " needs a length: " + parts[0] + ":S:LEN");
      len = ParseCount(parts[2], "the length of field " + parts[0], 32766);
      if (len == 0) throw UsageError("the length of field " + parts[0] + " must be at least 1");
    } else if (parts.size() == 3) {
      throw UsageError("field " + parts[0] + ": only String fields take a length");
    }
    TFieldDescriptor d;
    std::memset(&d, 0, sizeof d);
    SetShortString(d.Name, parts[0]);
    d.FieldType = type;
    d.Len = static_cast<int16_t>(len);
    fields.push_back(d);
    fieldNames.push_back(parts[0]);
  }
  if (fields.empty()) throw UsageError("a table needs at least one --field");
  if (fields.size() > 26) throw UsageError("a table holds at most 26 fields");

  std::vector<TIndexDef> indexes;
  std::vector<std::string> indexNames;
  for (const std::string &definition : args.values("index")) {
    size_t colon = definition.find(':');
    if (colon == std::string::npos) throw UsageError("index '" + definition + "' is not NAME:FIELD[,FIELD...]");
    const std::string name = definition.substr(0, colon);
    CheckName(name, "index");
    for (const std::string &other : indexNames)
      if (other == name) throw UsageError("index " + name + " is defined twice");
    TIndexDef d;
    std::memset(&d, 0, sizeof d);
    SetShortString(d.Name, name);
    std::vector<std::string> keyFields = SplitOn(definition.substr(colon + 1), ',');
    if (keyFields.size() > 10) throw UsageError("index " + name + " has more than 10 fields");
    for (const std::string &field : keyFields) {
      int32_t number = -1;
      for (size_t f = 0; f < fieldNames.size(); ++f)
        if (fieldNames[f] == field) number = static_cast<int32_t>(f);
      if (number < 0) throw UsageError("index " + name + ": no field named '" + field + "'");
      for (int32_t k = 0; k < d.FieldCount; ++k)
        if (d.FieldNos[k] == number) throw UsageError("index " + name + " names field " + field + " twice");
      d.FieldNos[d.FieldCount++] = number;
    }
    indexes.push_back(d);
    indexNames.push_back(name);
  }
  if (indexes.empty()) throw UsageError("a table needs at least one --index (the first is its unique key)");
  if (indexes.size() > 13) throw UsageError("a table holds at most 13 indexes");

  std::error_code ec;
  if (std::filesystem::exists(schemaPath, ec)) throw ToolError(schemaPath + ": the table exists already");
  const std::filesystem::path folder = std::filesystem::path(schemaPath).parent_path();
  if (!folder.empty() && !std::filesystem::is_directory(folder, ec))
    throw ToolError(schemaPath + ": the folder " + folder.string() + " does not exist");

  std::vector<uint8_t> name = ShortString(schemaPath, "the table name");
  TFieldDefList fieldList{static_cast<int32_t>(fields.size()), fields.data()};
  TIndexDefList indexList{static_cast<int32_t>(indexes.size()), indexes.data()};
  const int32_t h = DLL_Connect(0);
  try {
    DLL_VRIFileOps(h, 0, name.data(), &fieldList, &indexList);
  } catch (...) {
    DLL_Disconnect(h);
    throw;
  }
  DLL_Disconnect(h);
  std::cout << "created " << schemaPath << ": " << fields.size() << " field(s), " << indexes.size() << " index(es)\n";
  return 0;
}

}  // namespace vtool
