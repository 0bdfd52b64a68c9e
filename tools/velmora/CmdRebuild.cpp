// velmora rebuild: the indexes rebuilt from the data file by the library.
#include <iostream>

#include "Cli.h"
#include "Commands.h"
#include "Table.h"

namespace vtool {

const char *const kRebuildHelp =
    "Usage: velmora rebuild TABLE.vri\n\n"
    "Moves the data file aside (to TABLE.vxx, which stays as a copy of the old\n"
    "data), starts the table empty and posts every sound record of the old data\n"
    "again, rebuilding every index.  Records that cannot be read or posted (a\n"
    "damaged record, a second record with the same unique key) are dropped.\n"
    "Prints how many records were kept of how many there were.\n";

int RunRebuild(const Arguments &argv) {
  Args args(argv, {}, {});
  if (args.help()) return PrintHelp(kRebuildHelp), 0;
  if (args.positionals().size() != 1) throw UsageError("expected one table name");
  Table table(args.positionals()[0], kOpenExclusive);
  int32_t kept = 0, before = 0;
  DLL_RebuildTable(table.handle(), &kept, &before);
  std::cout << "rebuilt " << table.path() << ": kept " << kept << " of " << before << " records\n";
  if (kept < before) {
    const std::string reason = table.LastError();
    std::cout << "dropped " << (before - kept) << " record(s)";
    if (!reason.empty()) std::cout << "; the last reason: " << reason;
    std::cout << "\n";
  }
  return 0;
}

}  // namespace vtool
