// velmora copy, rename and drop: the table utilities of the library over the
// whole set of a table's files.
#include <filesystem>
#include <iostream>

#include "Cli.h"
#include "Commands.h"
#include "Table.h"
#include "TableFiles.h"

namespace vtool {

const char *const kCopyHelp =
    "Usage: velmora copy SOURCE.vri DEST.vri\n\n"
    "Copies every file of the table (schema, data and index files) to the new\n"
    "name.  Nothing is copied when a file of the destination exists already.\n";
const char *const kRenameHelp =
    "Usage: velmora rename SOURCE.vri DEST.vri\n\n"
    "Renames every file of the table (schema, data and index files).  Nothing is\n"
    "renamed when a file of the destination exists already or the table is open\n"
    "in another program.\n";
const char *const kDropHelp =
    "Usage: velmora drop TABLE.vri\n\n"
    "Deletes every file of the table (schema, data and index files, and the old\n"
    "data that rebuilds left as TABLE.VXX).  Nothing is deleted when one of them\n"
    "is missing or the table is open in another program.\n";

namespace {

enum Operation { kRename = 0, kDelete = 1, kCopy = 2 };

// The files a table is made of: schema, data, and each index's two files.
std::vector<std::string> TableFileNames(const std::string &schemaPath, int32_t indexCount) {
  std::vector<std::string> names = {velmora::SchemaFileName(schemaPath), velmora::DataFileName(schemaPath)};
  for (int32_t i = 0; i < indexCount; ++i) {
    names.push_back(velmora::LeafFileName(schemaPath, i));
    names.push_back(velmora::DirectoryFileName(schemaPath, i));
  }
  return names;
}

std::string Join(const std::vector<std::string> &names) {
  std::string text;
  for (const std::string &name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

// The old data files that rebuilds left beside the table: TABLE.VXX, TABLE.VXX.1, ...
std::vector<std::string> RebuildLeftovers(const std::string &schemaPath) {
  std::vector<std::string> found;
  std::error_code ec;
  const std::string saved = CompanionPath(velmora::BackupFileName(schemaPath));
  if (!std::filesystem::exists(saved, ec)) return found;
  found.push_back(saved);
  for (int n = 1; std::filesystem::exists(saved + "." + std::to_string(n), ec); ++n)
    found.push_back(saved + "." + std::to_string(n));
  return found;
}

int RunUtility(const Arguments &argv, const char *help, Operation operation) {
  Args args(argv, {}, {});
  if (args.help()) return PrintHelp(help), 0;
  const size_t wanted = operation == kDelete ? 1 : 2;
  if (args.positionals().size() != wanted)
    throw UsageError(wanted == 1 ? "expected one table name" : "expected a source and a destination table name");
  const std::string source = args.positionals()[0];
  const std::string dest = wanted == 2 ? SchemaPathOf(args.positionals()[1]) : source;
  static const char *const kVerb[] = {"rename", "drop", "copy"};
  const std::string cannot = std::string("cannot ") + kVerb[operation] + " " + source;
  RequireSchemaFile(source);
  const Schema schema = ReadSchema(source);
  std::error_code ec;
  std::vector<std::string> missing;
  for (const std::string &name : TableFileNames(source, schema.indexCount))
    if (!std::filesystem::exists(CompanionPath(name), ec)) missing.push_back(name);
  if (!missing.empty()) throw ToolError(cannot + ": missing " + Join(missing));
  if (wanted == 2) {
    const std::filesystem::path folder = std::filesystem::path(dest).parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec))
      throw ToolError(cannot + ": the folder " + folder.string() + " does not exist");
    std::vector<std::string> present;
    for (const std::string &name : TableFileNames(dest, schema.indexCount)) {
      const std::string actual = CompanionPath(name);
      if (std::filesystem::exists(actual, ec)) present.push_back(actual);
    }
    if (!present.empty()) throw ToolError(cannot + ": " + Join(present) + (present.size() == 1 ? " exists" : " exist"));
  }
  std::vector<uint8_t> from = ShortString(source, "the table name"), to = ShortString(dest, "the table name");
  const int32_t result = DLL_TableUtils(0, from.data(), to.data(), operation);
  if (result == 1) {
    static const char *const kDone[] = {"renamed", "dropped", "copied"};
    std::cout << kDone[operation] << ' ' << source << (wanted == 2 ? " to " + dest : std::string()) << '\n';
    if (operation == kDelete) {
      for (const std::string &leftover : RebuildLeftovers(source)) {
        std::filesystem::remove(leftover, ec);
        if (ec) throw ToolError(leftover + ": cannot be deleted: " + ec.message());
        std::cout << "deleted " << leftover << '\n';
      }
    }
    return 0;
  }
  // Every file was there and no destination file: the library could not open
  // the table, or a file could not be moved.
  const std::string access = AccessProblems(source);
  if (!access.empty()) throw ToolError(cannot + ": " + access);
  if (result < 0 && operation != kCopy) throw ToolError(cannot + ": the table is in use by another program");
  throw ToolError(cannot + ": the library refused (result " + std::to_string(result) + ")");
}

}  // namespace

int RunCopy(const Arguments &args) { return RunUtility(args, kCopyHelp, kCopy); }
int RunRename(const Arguments &args) { return RunUtility(args, kRenameHelp, kRename); }
int RunDrop(const Arguments &args) { return RunUtility(args, kDropHelp, kDelete); }

}  // namespace vtool
