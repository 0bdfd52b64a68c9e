// The table utilities: rename, delete, copy, reset or create the whole set of
// files that make up a table, first as a check that touches nothing, then for
// real.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

enum TTableUtility : int32_t {
  kUtilRename = 0,
  kUtilDelete = 1,
  kUtilCopy = 2,
  kUtilReset = 3,
  kUtilCreate = 4,
};

// Runs operation on the table whose schema file is source (dest names the
// copy or the new name).  Returns 1 on success, -1 on failure, or the
// negative result of opening the table.
int32_t RunTableUtility(const std::string &source, const std::string &dest, int32_t operation);

}  // namespace velmora
