// velmora: create, inspect, fill, search, check and repair Velmora tables
// from the command line, through the library's exports.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include <velmora/velmora.hpp>

#include "Cli.h"
#include "Commands.h"
#include "Csv.h"
#include "StdoutBuffer.h"
#include "Table.h"
#include "Values.h"

#ifndef VELMORA_VERSION_TEXT
#define VELMORA_VERSION_TEXT "unknown"
#endif

namespace {

const vtool::Command kCommands[] = {
    {"create", "define a new table with its fields and indexes", vtool::kCreateHelp, vtool::RunCreate},
    {"schema", "print the create command that recreates a table", vtool::kSchemaHelp, vtool::RunSchema},
    {"info", "show a table's fields, indexes and index file statistics", vtool::kInfoHelp, vtool::RunInfo},
    {"count", "count the records, optionally within a key range", vtool::kCountHelp, vtool::RunCount},
    {"list", "print records in index order, optionally within a key range", vtool::kListHelp, vtool::RunList},
    {"find", "find the records with a key of an index", vtool::kFindHelp, vtool::RunFind},
    {"locate", "find records by the values of any fields", vtool::kLocateHelp, vtool::RunLocate},
    {"insert", "add one record", vtool::kInsertHelp, vtool::RunInsert},
    {"update", "change fields of the record with a key", vtool::kUpdateHelp, vtool::RunUpdate},
    {"delete", "delete the record with a key", vtool::kDeleteHelp, vtool::RunDelete},
    {"import", "add the rows of a CSV file as records", vtool::kImportHelp, vtool::RunImport},
    {"export", "write the records to a CSV file", vtool::kExportHelp, vtool::RunExport},
    {"check", "check the table's files for inconsistencies (read only)", vtool::kCheckHelp, vtool::RunCheck},
    {"rebuild", "rebuild the indexes from the data file", vtool::kRebuildHelp, vtool::RunRebuild},
    {"copy", "copy all files of a table", vtool::kCopyHelp, vtool::RunCopy},
    {"rename", "rename all files of a table", vtool::kRenameHelp, vtool::RunRename},
    {"drop", "delete all files of a table", vtool::kDropHelp, vtool::RunDrop},
    {"demo", "walk through the library's features on a sample table", vtool::kDemoHelp, vtool::RunDemo},
};

void PrintToolHelp(std::ostream &out) {
  out << "Usage: velmora COMMAND [ARGUMENTS...]\n"
         "       velmora COMMAND --help     (or: velmora help COMMAND)\n"
         "       velmora --version\n\n"
         "Works on Velmora tables: a schema file (TABLE.vri) with its data file and\n"
         "index files beside it.  \"-\" as a file name is standard input (import) or\n"
         "standard output (export).\n\nCommands:\n";
  for (const auto &command : kCommands) {
    std::string name = command.name;
    out << "  " << name << std::string(10 - name.size(), ' ') << command.summary << '\n';
  }
  out << '\n' << vtool::kLimitsHelp;
  out << "\nExit status: 0 success, 1 failure (for check: inconsistencies found),\n"
         "2 wrong use of the command line.\n";
}

const vtool::Command *FindCommand(const std::string &name) {
  for (const auto &command : kCommands)
    if (name == command.name) return &command;
  return nullptr;
}

// Never destroyed: std::cout may still be flushed while the program ends.
vtool::StdoutBuffer &stdoutBuffer = *new vtool::StdoutBuffer;

// Output that could not be written (a full disk, a closed pipe) is a failure.
int FinishOutput(const std::string &name, int status) {
  std::cout.flush();
  if (stdoutBuffer.error() == 0 && std::cout) return status;
  const int error = stdoutBuffer.error();
  std::cerr << "velmora " << name << ": standard output: write failed"
            << (error ? std::string(": ") + std::strerror(error) : std::string()) << '\n';
  return 1;
}

int RunCommand(const vtool::Command &command, const vtool::Arguments &args) {
  const std::string name = command.name;
  try {
    return command.run(args);
  } catch (const vtool::UsageError &e) {
    std::cerr << "velmora " << name << ": " << e.what() << "\nTry 'velmora " << name << " --help'.\n";
    return 2;
  } catch (const velmora::EInOutError &e) {
    // The library names no file: the tool says which table, and what about
    // its files may have caused it.
    std::cerr << "velmora " << name << ": " << e.what();
    const std::string &table = vtool::LastTablePath();
    if (!table.empty()) {
      std::cerr << " (table " << table;
      const std::string access = vtool::AccessProblems(table);
      if (!access.empty()) std::cerr << ": " << access;
      std::cerr << ')';
    }
    std::cerr << '\n';
    return 1;
  } catch (const velmora::Exception &e) {
    // A failure inside the library: its own message, as it raised it.
    std::cerr << "velmora " << name << ": " << e.what() << '\n';
    return 1;
  } catch (const std::exception &e) {
    std::cerr << "velmora " << name << ": " << e.what() << '\n';
    return 1;
  }
}

}  // namespace

namespace vtool {

const char *const kLimitsHelp =
    "Limits of a table: at most 30000 records, 26 fields and 13 indexes; an index\n"
    "has 1 to 10 key fields; a String field holds 1 to 255 bytes (UTF-8: a letter\n"
    "beyond ASCII takes 2 to 4 bytes); names of fields and indexes are at most 63\n"
    "bytes; a table's path is at most 255 bytes.\n";

}  // namespace vtool

int main(int argc, char **argv) {
  std::cout.rdbuf(&stdoutBuffer);
  // On a terminal every piece of output shows at once, interleaved with standard error.
  if (isatty(STDOUT_FILENO)) std::cout.setf(std::ios::unitbuf);
  if (argc < 2) {
    PrintToolHelp(std::cerr);
    return 2;
  }
  const std::string name = argv[1];
  if (name == "--version" || name == "-V") {
    std::cout << "velmora " << VELMORA_VERSION_TEXT << '\n';
    return FinishOutput("--version", 0);
  }
  if (name == "--help" || name == "-h" || name == "help") {
    if (name == "help" && argc >= 3) {
      const vtool::Command *command = FindCommand(argv[2]);
      if (command == nullptr) {
        std::cerr << "velmora help: unknown command '" << argv[2] << "'\nTry 'velmora --help'.\n";
        return 2;
      }
      vtool::PrintHelp(command->help);
      return FinishOutput("help", 0);
    }
    PrintToolHelp(std::cout);
    return FinishOutput("help", 0);
  }
  const vtool::Command *command = FindCommand(name);
  if (command == nullptr) {
    std::cerr << "velmora: unknown command '" << name << "'\nTry 'velmora --help'.\n";
    return 2;
  }
  const int status = RunCommand(*command, vtool::Arguments(argv + 2, argv + argc));
  return FinishOutput(name, status);
}
