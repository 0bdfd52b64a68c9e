// The markdown report: medians over the runs of elapsed time per operation
// for each engine, the engine's ratio to SQLite autocommit and to SQLite in one
// transaction, and the engine's calls to the operating system per operation;
// then those calls by kind, and the times and ratios in processor time.
#pragma once

#include <string>
#include <vector>

#include "Phases.h"

namespace bench {

struct ReportInput {
  const Workload *workload = nullptr;
  int32_t openMode = 0;
  std::vector<Pass> engine, autocommit, transaction;  // one pass per run
};

std::string Report(const ReportInput &input);

// Value formatting of the tables: "4,387", "189", "7.8", "0.52".
std::string Figure(double value);
// "6.5×", "16×", "0.45×".
std::string Ratio(double value);

}  // namespace bench
