// The check that every engine saw the same: the same records found, the same
// range sizes and orders, the same scan, the same table at the end.
#pragma once

#include <string>
#include <vector>

#include "Phases.h"

namespace bench {

struct NamedPass {
  std::string engine;
  Pass pass;
};

// One line per phase (or final contents) on which a pass differs from the
// first one; empty when all agree.
std::vector<std::string> Differences(const std::vector<NamedPass> &passes, const Workload &workload);

}  // namespace bench
