// velmora_bench: the engine against SQLite on the same table and operations.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>

#include "EngineDriver.h"
#include "Options.h"
#include "Report.h"
#include "SqliteDriver.h"
#include "Verify.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

enum class Kind { kEngine, kAutocommit, kTransaction };
const char *KindName(Kind kind) {
  switch (kind) {
    case Kind::kEngine: return "engine";
    case Kind::kAutocommit: return "SQLite autocommit";
    case Kind::kTransaction: return "SQLite one transaction";
  }
  return "?";
}

bench::Pass RunOne(Kind kind, const std::string &folder, const bench::Options &options, const bench::Workload &workload,
                   const bench::CountingPlatform &counting) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  bench::Pass pass;
  {
    std::unique_ptr<bench::Driver> driver;
    if (kind == Kind::kEngine)
      driver = std::make_unique<bench::EngineDriver>(folder, options.openMode, counting);
    else
      driver = std::make_unique<bench::SqliteDriver>(folder, kind == Kind::kAutocommit
                                                                 ? bench::SqliteDriver::Mode::kAutocommit
                                                                 : bench::SqliteDriver::Mode::kOneTransaction);
    pass = bench::RunPass(*driver, workload);
  }
  fs::remove_all(folder);
  return pass;
}

double Seconds(const bench::Pass &pass) {
  double total = 0;
  for (const bench::PhaseResult &r : pass.phases) total += r.seconds;
  return total;
}

int Bench(const bench::Options &options) {
  const bench::Workload workload = bench::MakeWorkload(options.records, options.seed);
  if (!options.writeCsv.empty()) {
    std::ofstream out(options.writeCsv, std::ios::binary);
    out << bench::WorkloadCsv(workload);
    if (!out.flush()) throw std::runtime_error("cannot write " + options.writeCsv);
    return 0;
  }

  // Without a folder of its own choice the benchmark works in a temporary one.
  std::optional<velmora::testing::TempDir> ownFolder;
  if (options.folder.empty()) ownFolder.emplace("velmora-bench");
  const std::string folder = ownFolder ? ownFolder->Path() : options.folder;
  bench::CountingPlatform counting;
  bench::ReportInput report;
  report.workload = &workload;
  report.openMode = options.openMode;
  const Kind kinds[] = {Kind::kEngine, Kind::kAutocommit, Kind::kTransaction};
  int status = 0;
  for (int run = 0; run < options.runs; ++run) {
    std::vector<bench::NamedPass> passes(3);
    // Each run starts with the next engine, so that none always runs first.
    for (int k = 0; k < 3; ++k) {
      const Kind kind = kinds[(run + k) % 3];
      const std::string sub = folder + "/run" + std::to_string(run + 1) + "-" + std::to_string(static_cast<int>(kind));
      const size_t slot = static_cast<size_t>(kind);
      try {
        passes[slot] = {KindName(kind), RunOne(kind, sub, options, workload, counting)};
      } catch (const std::exception &e) {
        throw std::runtime_error(std::string(KindName(kind)) + " failed: " + e.what());
      }
      std::cerr << std::fixed << std::setprecision(2) << "run " << run + 1 << "/" << options.runs << ": "
                << KindName(kind) << " " << Seconds(passes[slot].pass) << " s\n";
    }
    const std::vector<std::string> differences = bench::Differences(passes, workload);
    if (!differences.empty()) {
      std::cerr << "velmora_bench: THE ENGINES DISAGREE in run " << run + 1 << ":\n";
      for (const std::string &line : differences) std::cerr << "  " << line << "\n";
      status = 1;
      break;
    }
    report.engine.push_back(passes[0].pass);
    report.autocommit.push_back(passes[1].pass);
    report.transaction.push_back(passes[2].pass);
  }
  if (status != 0) return status;
  std::cout << bench::Report(report);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  bench::Options options;
  try {
    options = bench::ParseOptions(argc, argv);
  } catch (const std::invalid_argument &e) {
    std::cerr << "velmora_bench: " << e.what() << "\n\n" << bench::kUsage;
    return 2;
  }
  if (options.help) {
    std::cout << bench::kUsage;
    return 0;
  }
  try {
    return Bench(options);
  } catch (const std::exception &e) {
    std::cerr << "velmora_bench: " << e.what() << "\n";
    return 1;
  }
}
