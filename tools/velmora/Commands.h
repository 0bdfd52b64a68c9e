// The tool's commands.  Each takes the arguments after its name, prints its
// help for --help, and returns the process exit status: 0 done, 1 failed (or,
// for check, inconsistencies found), 2 command line misused (raised as
// UsageError).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace vtool {

using Arguments = std::vector<std::string>;

struct Command {
  const char *name;
  const char *summary;
  const char *help;  // usage and description, printed for --help
  int (*run)(const Arguments &args);
};

int RunCreate(const Arguments &args);
int RunInfo(const Arguments &args);
int RunList(const Arguments &args);
int RunFind(const Arguments &args);
int RunLocate(const Arguments &args);
int RunImport(const Arguments &args);
int RunExport(const Arguments &args);
int RunCheck(const Arguments &args);
int RunRebuild(const Arguments &args);
int RunCopy(const Arguments &args);
int RunRename(const Arguments &args);
int RunDrop(const Arguments &args);
int RunDemo(const Arguments &args);
int RunCount(const Arguments &args);
int RunInsert(const Arguments &args);
int RunUpdate(const Arguments &args);
int RunDelete(const Arguments &args);
int RunSchema(const Arguments &args);

extern const char *const kCreateHelp;
extern const char *const kInfoHelp;
extern const char *const kListHelp;
extern const char *const kFindHelp;
extern const char *const kLocateHelp;
extern const char *const kImportHelp;
extern const char *const kExportHelp;
extern const char *const kCheckHelp;
extern const char *const kRebuildHelp;
extern const char *const kCopyHelp;
extern const char *const kRenameHelp;
extern const char *const kDropHelp;
extern const char *const kDemoHelp;
extern const char *const kCountHelp;
extern const char *const kInsertHelp;
extern const char *const kUpdateHelp;
extern const char *const kDeleteHelp;
extern const char *const kSchemaHelp;

// The table's limits, as velmora --help states them.
extern const char *const kLimitsHelp;

// Prints the help text of a command to standard output.
void PrintHelp(const char *help);

// How list, find and locate print records: an aligned table ("(null)" for
// nulls), CSV as export writes it, or a JSON array of objects (null for nulls).
enum class Format { kTable, kCsv, kJson };
// The value of --format; table when absent.
Format ParseFormat(const std::optional<std::string> &text);

// The records on standard output in the given format.
class Table;
void PrintRecords(const Table &table, const std::vector<std::vector<uint8_t>> &records, Format format = Format::kTable);

// Integrity check of a table's files; prints each inconsistency to `out` and
// returns the number found; *schemaFound, when given, receives how many of
// them are in the schema file.
int CheckTable(const std::string &schemaPath, std::ostream &out, int *schemaFound = nullptr);

}  // namespace vtool
