// velmora rebuild: the indexes rebuilt from the data file by the library.
#include <filesystem>
#include <iostream>

#include "Cli.h"
#include "Commands.h"
#include "Table.h"
#include "TableFiles.h"

namespace vtool {

const char *const kRebuildHelp =
    "Usage: velmora rebuild TABLE.vri\n\n"
    "Moves the data file aside (to TABLE.VXX, which stays as a copy of the old\n"
    "data), starts the table empty and posts every sound record of the old data\n"
    "again, rebuilding every index.  The copy of an earlier rebuild is kept: it is\n"
    "renamed to TABLE.VXX.1 (or .2, ...) first.  velmora drop deletes them all.  Records that cannot be read or posted "
    "(a\n"
    "damaged record, a second record with the same unique key) are dropped.\n"
    "Prints how many records were kept of how many there were.\n";

int RunRebuild(const Arguments &argv) {
  Args args(argv, {}, {});
  if (args.help()) return PrintHelp(kRebuildHelp), 0;
  if (args.positionals().size() != 1) throw UsageError("expected one table name");
  Table table(args.positionals()[0], kOpenExclusive);
  // The library writes the old data to TABLE.VXX, replacing what is there.
  const std::string saved = CompanionPath(velmora::BackupFileName(table.path()));
  std::error_code ec;
  if (std::filesystem::exists(saved, ec)) {
    std::string kept = saved;
    for (int n = 1; std::filesystem::exists(kept, ec); ++n) kept = saved + "." + std::to_string(n);
    std::filesystem::rename(saved, kept, ec);
    if (ec) throw ToolError(saved + ": the copy of an earlier rebuild cannot be kept: " + ec.message());
    std::cout << "kept the copy of an earlier rebuild as " << kept << '\n';
  }
  int32_t kept = 0, before = 0;
  DLL_RebuildTable(table.handle(), &kept, &before);
  std::cout << "rebuilt " << table.path() << ": kept " << kept << " of " << before << " records; the old data is in "
            << CompanionPath(velmora::BackupFileName(table.path())) << "\n";
  if (kept < before) {
    const std::string reason = table.LastError();
    std::cout << "dropped " << (before - kept) << " record(s)";
    if (!reason.empty()) std::cout << "; the last reason: " << reason;
    std::cout << "\n";
  }
  return 0;
}

}  // namespace vtool
