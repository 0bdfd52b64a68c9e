// The benchmark reports the calls counted by the shared counting platform and
// by its SQLite VFS in one form.
#pragma once

#include "support/CallCounts.h"

namespace bench {

using velmora::testing::CallCounts;

}  // namespace bench
