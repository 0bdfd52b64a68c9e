// The phases as the report names them, and one timed pass of every phase
// over one driver.
#pragma once

#include <string>
#include <vector>

#include "Driver.h"

namespace bench {

// "insert 30,000 in random id order", with the workload's counts.
std::string PhaseLabel(Phase phase, const Workload &workload);
// The operations a phase's time is divided by: records, searches, ranges,
// records scanned, changes.
int64_t PhaseOperations(Phase phase, const Workload &workload);

struct PhaseResult {
  double seconds = 0;     // elapsed
  double cpuSeconds = 0;  // processor time of the whole process (user and system)
  CallCounts calls;       // made during the phase
  Digest digest;
};

struct Pass {
  std::vector<PhaseResult> phases;  // in the order of kPhases
  Digest contents;                  // the table after the last phase
};

// Runs every phase in order, timing each, then reads back the contents.
Pass RunPass(Driver &driver, const Workload &workload);

// Thousands separated by commas: 30000 -> "30,000".
std::string Grouped(int64_t n);

}  // namespace bench
