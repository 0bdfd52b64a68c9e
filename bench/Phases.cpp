#include "Phases.h"

#include <time.h>

#include <chrono>

namespace bench {

std::string Grouped(int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), ",");
  return n < 0 ? "-" + digits : digits;
}

int64_t PhaseOperations(Phase phase, const Workload &w) {
  switch (phase) {
    case Phase::kInsert: return static_cast<int64_t>(w.insertOrder.size());
    case Phase::kFindId: return static_cast<int64_t>(w.findIds.size());
    case Phase::kFindName: return static_cast<int64_t>(w.findNames.size());
    case Phase::kRange: return static_cast<int64_t>(w.rangeCities.size());
    case Phase::kScan: return w.records;
    case Phase::kUpdate: return static_cast<int64_t>(w.scoreUpdates.size());
    case Phase::kRename: return static_cast<int64_t>(w.nameUpdates.size());
    case Phase::kDelete: return static_cast<int64_t>(w.deleteIds.size());
  }
  return 1;
}

std::string PhaseLabel(Phase phase, const Workload &w) {
  const std::string n = Grouped(PhaseOperations(phase, w));
  switch (phase) {
    case Phase::kInsert: return "insert " + n + " in random id order";
    case Phase::kFindId: return "find by id " + n;
    case Phase::kFindName: return "find by name " + n;
    case Phase::kRange: {
      const int64_t perRange = w.cities.empty() ? 0 : w.records / static_cast<int64_t>(w.cities.size());
      return n + " ranges on City (~" + Grouped(perRange) + " rows each), per range";
    }
    case Phase::kScan: return "full scan in id order, per record";
    case Phase::kUpdate: return "update a non-key field " + n;
    case Phase::kRename: return "update the name key " + n;
    case Phase::kDelete: return "delete " + n + " by id";
  }
  return "?";
}

namespace {

double ProcessCpuSeconds() {
  struct timespec now {};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

Pass RunPass(Driver &driver, const Workload &workload) {
  using Clock = std::chrono::steady_clock;
  Pass pass;
  for (Phase phase : kPhases) {
    PhaseResult result;
    const CallCounts before = driver.Calls();
    const double cpuStart = ProcessCpuSeconds();
    const Clock::time_point start = Clock::now();
    result.digest = driver.Run(phase, workload);
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.cpuSeconds = ProcessCpuSeconds() - cpuStart;
    result.calls = driver.Calls() - before;
    pass.phases.push_back(result);
  }
  pass.contents = driver.Contents();
  return pass;
}

}  // namespace bench
