// One storage engine under measurement.  The phases run in order on one
// table: every phase starts from what the previous ones left.
#pragma once

#include <string>

#include "CallCounts.h"
#include "Digest.h"
#include "Workload.h"

namespace bench {

enum class Phase { kInsert, kFindId, kFindName, kRange, kScan, kUpdate, kRename, kDelete };
constexpr Phase kPhases[] = {Phase::kInsert, Phase::kFindId, Phase::kFindName, Phase::kRange,
                             Phase::kScan,   Phase::kUpdate, Phase::kRename,   Phase::kDelete};
constexpr int kPhaseCount = sizeof kPhases / sizeof kPhases[0];

class Driver {
 public:
  virtual ~Driver() = default;
  // Runs one phase over the workload and reports what it found:
  //   insert     each Id inserted;
  //   find by id each Id sought, then the record found;
  //   find name  each Name sought, then the record found;
  //   range      per city, its records in index order;
  //   scan       every field of every record in Id order;
  //   update,
  //   rename,
  //   delete     each Id changed (its negative when it was not found).
  virtual Digest Run(Phase phase, const Workload &workload) = 0;
  // Every record in Id order with all fields, then the Ids in Name order and
  // in City, Amount order: the table's state, checked after the last phase.
  virtual Digest Contents() = 0;
  // The calls made to the operating system so far (running totals).
  virtual CallCounts Calls() const = 0;
};

}  // namespace bench
