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
    "Deletes every file of the table (schema, data and index files).  Nothing is\n"
    "deleted when one of them is missing or the table is open in another program.\n";

namespace {

enum Operation { kRename = 0, kDelete = 1, kCopy = 2 };

int RunUtility(const Arguments &argv, const char *help, Operation operation) {
  Args args(argv, {}, {});
  if (args.help()) return PrintHelp(help), 0;
  const size_t wanted = operation == kDelete ? 1 : 2;
  if (args.positionals().size() != wanted)
    throw UsageError(wanted == 1 ? "expected one table name" : "expected a source and a destination table name");
  const std::string source = args.positionals()[0];
  const std::string dest = wanted == 2 ? SchemaPathOf(args.positionals()[1]) : source;
  std::error_code ec;
  if (!std::filesystem::exists(source, ec)) throw ToolError(source + ": no such table");
  if (wanted == 2 && std::filesystem::exists(CompanionPath(dest, ".vri"), ec))
    throw ToolError(dest + ": the table exists already");
  std::vector<uint8_t> from = ShortString(source, "the table name"), to = ShortString(dest, "the table name");
  const int32_t result = DLL_TableUtils(0, from.data(), to.data(), operation);
  static const char *const kVerb[] = {"rename", "drop", "copy"};
  if (result == 1) {
    static const char *const kDone[] = {"renamed", "dropped", "copied"};
    std::cout << kDone[operation] << ' ' << source << (wanted == 2 ? " to " + dest : std::string()) << '\n';
    return 0;
  }
  if (result == -1) {
    throw ToolError(std::string("cannot ") + kVerb[operation] + " " + source +
                    (operation == kDelete ? ": one of its files is missing"
                                          : ": one of its files is missing or a file of " + dest + " exists"));
  }
  throw ToolError(std::string("cannot ") + kVerb[operation] + " " + source +
                  ": the table cannot be opened (it is in use by another program)");
}

}  // namespace

int RunCopy(const Arguments &args) { return RunUtility(args, kCopyHelp, kCopy); }
int RunRename(const Arguments &args) { return RunUtility(args, kRenameHelp, kRename); }
int RunDrop(const Arguments &args) { return RunUtility(args, kDropHelp, kDelete); }

}  // namespace vtool
