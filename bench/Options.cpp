#include "Options.h"

#include <stdexcept>

namespace bench {

const char *const kUsage =
    "Usage: velmora_bench [--quick] [--records N] [--runs N] [--seed N] [--mode 18|34|64] [--dir FOLDER]\n"
    "       velmora_bench --write-csv FILE [--records N] [--seed N]\n\n"
    "Runs the same operations on the engine and on SQLite (autocommit, and each\n"
    "phase in one transaction), checks that both return the same results, and\n"
    "prints a markdown table of the medians: microseconds per operation, the\n"
    "engine's ratio to SQLite, and calls to the operating system per operation;\n"
    "then the same ratios in processor time, steadier on a busy machine.\n\n"
    "  --quick        3,000 records and one run (a smoke run of a few seconds)\n"
    "  --records N    table size, 1 to 30000 (default 30000); the other phases scale\n"
    "  --runs N       interleaved runs per engine, the median is reported (default 3)\n"
    "  --seed N       seed of the data and of every order (default 1)\n"
    "  --mode N       open mode of the engine's table (default 34: others may only\n"
    "                 read; 18: nobody else may open it; 64: others may also write)\n"
    "  --dir FOLDER   where the tables are made (default: a new temporary folder)\n"
    "  --write-csv F  writes the rows as CSV (header Id,Name,City,Amount,Score) and\n"
    "                 stops; used by import_rebuild.sh\n";

namespace {

int64_t Number(const std::string &option, const std::string &text, int64_t low, int64_t high) {
  size_t used = 0;
  long long value = 0;
  try {
    value = std::stoll(text, &used);
  } catch (const std::exception &) {
    used = 0;
  }
  if (used != text.size() || text.empty() || value < low || value > high)
    throw std::invalid_argument(option + " needs a number from " + std::to_string(low) + " to " + std::to_string(high) +
                                ", not '" + text + "'");
  return value;
}

}  // namespace

Options ParseOptions(int argc, char **argv) {
  Options o;
  bool quick = false, recordsGiven = false, runsGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--quick") {
      quick = true;
    } else if (arg == "--records") {
      o.records = static_cast<int32_t>(Number(arg, value(), 1, 30000));
      recordsGiven = true;
    } else if (arg == "--runs") {
      o.runs = static_cast<int>(Number(arg, value(), 1, 99));
      runsGiven = true;
    } else if (arg == "--seed") {
      o.seed = static_cast<uint64_t>(Number(arg, value(), 0, INT64_MAX));
    } else if (arg == "--mode") {
      o.openMode = static_cast<int32_t>(Number(arg, value(), 0, 255));
      if (o.openMode != 18 && o.openMode != 34 && o.openMode != 64)
        throw std::invalid_argument("--mode is 18, 34 or 64");
    } else if (arg == "--dir") {
      o.folder = value();
    } else if (arg == "--write-csv") {
      o.writeCsv = value();
    } else {
      throw std::invalid_argument("unknown argument '" + arg + "'");
    }
  }
  if (quick) {
    if (!recordsGiven) o.records = 3000;
    if (!runsGiven) o.runs = 1;
  }
  return o;
}

}  // namespace bench
