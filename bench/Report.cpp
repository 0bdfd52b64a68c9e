#include "Report.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace bench {

namespace {

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The median over the runs of a phase's figure, divided by its operations.
double PerOperation(const std::vector<Pass> &runs, size_t phase, int64_t operations,
                    const std::function<double(const PhaseResult &)> &figure) {
  std::vector<double> values;
  for (const Pass &pass : runs) values.push_back(figure(pass.phases[phase]));
  return Median(values) / static_cast<double>(std::max<int64_t>(1, operations));
}

}  // namespace

std::string Figure(double value) {
  char text[32];
  if (value == 0) return "0";
  if (value < 0.005) return "<0.01";
  if (value >= 999.5) return Grouped(std::llround(value));
  if (value >= 99.5)
    std::snprintf(text, sizeof text, "%.0f", value);
  else if (value >= 9.95)
    std::snprintf(text, sizeof text, "%.1f", value);
  else
    std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

std::string Ratio(double value) {
  char text[32];
  if (value >= 9.95)
    std::snprintf(text, sizeof text, "%.0f×", value);
  else if (value >= 0.995)
    std::snprintf(text, sizeof text, "%.1f×", value);
  else
    std::snprintf(text, sizeof text, "%.2f×", value);
  return text;
}

std::string Report(const ReportInput &in) {
  const Workload &w = *in.workload;
  const auto Micros = [](const PhaseResult &r) { return r.seconds * 1e6; };
  const auto CpuMicros = [](const PhaseResult &r) { return r.cpuSeconds * 1e6; };
  std::string out;
  out += "Velmora benchmark: " + Grouped(w.records) + " records, seed " + std::to_string(w.seed) + ", median of " +
         std::to_string(in.engine.size()) + " interleaved run(s); engine table opened with mode " +
         std::to_string(in.openMode) + "; SQLite " + sqlite3_libversion() +
         " with synchronous=OFF and journal_mode=MEMORY.\n\n";

  out +=
      "| phase | engine µs/op | SQLite autocommit µs/op | ratio | SQLite one transaction µs/op | ratio | "
      "engine system calls/op |\n";
  out += "|---|---|---|---|---|---|---|\n";
  for (size_t i = 0; i < static_cast<size_t>(kPhaseCount); ++i) {
    const Phase phase = kPhases[i];
    const int64_t ops = PhaseOperations(phase, w);
    const double engine = PerOperation(in.engine, i, ops, Micros);
    const double autocommit = PerOperation(in.autocommit, i, ops, Micros);
    const double transaction = PerOperation(in.transaction, i, ops, Micros);
    const double calls =
        PerOperation(in.engine, i, ops, [](const PhaseResult &r) { return static_cast<double>(r.calls.Calls()); });
    out += "| " + PhaseLabel(phase, w) + " | " + Figure(engine) + " | " + Figure(autocommit) + " | " +
           Ratio(engine / autocommit) + " | " + Figure(transaction) + " | " + Ratio(engine / transaction) + " | " +
           Figure(calls) + " |\n";
  }

  out +=
      "\nCalls to the operating system per operation (engine: through its platform layer; SQLite: through its "
      "VFS), and the engine's bytes moved per operation:\n\n";
  out +=
      "| phase | engine reads | writes | size queries | other | bytes read | bytes written | "
      "SQLite autocommit calls | SQLite one transaction calls |\n";
  out += "|---|---|---|---|---|---|---|---|---|\n";
  for (size_t i = 0; i < static_cast<size_t>(kPhaseCount); ++i) {
    const Phase phase = kPhases[i];
    const int64_t ops = PhaseOperations(phase, w);
    auto engineFigure = [&](int64_t CallCounts::*field) {
      return Figure(PerOperation(in.engine, i, ops,
                                 [field](const PhaseResult &r) { return static_cast<double>(r.calls.*field); }));
    };
    auto calls = [](const PhaseResult &r) { return static_cast<double>(r.calls.Calls()); };
    const double other =
        PerOperation(in.engine, i, ops, [](const PhaseResult &r) { return static_cast<double>(r.calls.OtherCalls()); });
    out += "| " + PhaseLabel(phase, w) + " | " + engineFigure(&CallCounts::read) + " | " +
           engineFigure(&CallCounts::write) + " | " + engineFigure(&CallCounts::size) + " | " + Figure(other) + " | " +
           engineFigure(&CallCounts::bytesRead) + " | " + engineFigure(&CallCounts::bytesWritten) + " | " +
           Figure(PerOperation(in.autocommit, i, ops, calls)) + " | " +
           Figure(PerOperation(in.transaction, i, ops, calls)) + " |\n";
  }

  out +=
      "\nProcessor time (user and system, whole process) per operation, steadier than elapsed time on a "
      "machine shared with other work:\n\n";
  out += "| phase | engine µs/op | SQLite autocommit µs/op | ratio | SQLite one transaction µs/op | ratio |\n";
  out += "|---|---|---|---|---|---|\n";
  for (size_t i = 0; i < static_cast<size_t>(kPhaseCount); ++i) {
    const Phase phase = kPhases[i];
    const int64_t ops = PhaseOperations(phase, w);
    const double engine = PerOperation(in.engine, i, ops, CpuMicros);
    const double autocommit = PerOperation(in.autocommit, i, ops, CpuMicros);
    const double transaction = PerOperation(in.transaction, i, ops, CpuMicros);
    out += "| " + PhaseLabel(phase, w) + " | " + Figure(engine) + " | " + Figure(autocommit) + " | " +
           Ratio(engine / autocommit) + " | " + Figure(transaction) + " | " + Ratio(engine / transaction) + " |\n";
  }
  return out;
}

}  // namespace bench
