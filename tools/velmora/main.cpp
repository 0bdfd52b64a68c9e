// velmora: create, inspect, fill, search, check and repair Velmora tables
// from the command line, through the library's exports.
#include <cstring>
#include <iostream>

#include <velmora/velmora.hpp>

#include "Cli.h"
#include "Commands.h"
#include "Csv.h"
#include "Values.h"

namespace {

const vtool::Command kCommands[] = {
    {"create", "define a new table with its fields and indexes", vtool::kCreateHelp, vtool::RunCreate},
    {"info", "show a table's fields, indexes and index file statistics", vtool::kInfoHelp, vtool::RunInfo},
    {"list", "print records in index order, optionally within a key range", vtool::kListHelp, vtool::RunList},
    {"find", "find the record with a key of an index", vtool::kFindHelp, vtool::RunFind},
    {"locate", "find a record by the values of any fields", vtool::kLocateHelp, vtool::RunLocate},
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
         "       velmora COMMAND --help\n\n"
         "Works on Velmora tables: a schema file (TABLE.vri) with its data file and\n"
         "index files beside it.\n\nCommands:\n";
  for (const auto &command : kCommands) {
    std::string name = command.name;
    out << "  " << name << std::string(10 - name.size(), ' ') << command.summary << '\n';
  }
  out << "\nExit status: 0 success, 1 failure (for check: inconsistencies found),\n"
         "2 wrong use of the command line.\n";
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    PrintToolHelp(std::cerr);
    return 2;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintToolHelp(std::cout);
    return 0;
  }
  for (const auto &command : kCommands) {
    if (name != command.name) continue;
    vtool::Arguments args(argv + 2, argv + argc);
    try {
      return command.run(args);
    } catch (const vtool::UsageError &e) {
      std::cerr << "velmora " << name << ": " << e.what() << "\nTry 'velmora " << name << " --help'.\n";
      return 2;
    } catch (const velmora::Exception &e) {
      // A failure inside the library: its own message, as it raised it.
      std::cerr << "velmora " << name << ": " << e.what() << '\n';
      return 1;
    } catch (const std::exception &e) {
      std::cerr << "velmora " << name << ": " << e.what() << '\n';
      return 1;
    }
  }
  std::cerr << "velmora: unknown command '" << name << "'\nTry 'velmora --help'.\n";
  return 2;
}
