// Shared by the export source files: the public prototypes (so a definition
// whose signature differs from its prototype does not compile), the guard,
// and the registry.
#pragma once

#include <velmora/velmora.h>

#include <string>

#include "DLL_Comm/Registry.h"
#include "Velmoradb/TableCall.h"
#include "Velmoradb/VelmoraDB.h"
#include "dll_src/ExportGuard.h"

#define VR_EXPORT extern "C"

namespace velmora::dll {

inline UserRegistry &Users() { return UserRegistry::Instance(); }
inline TVRVelmoraDB &TableOf(int32_t h) { return Users().TableOf(h); }
// The table of an export that works on an open table, entered for the
// length of the export (locked, and found again after other openers' changes).
inline TVRVelmoraDB &EnterTable(int32_t h, const char *operation, TableCall::Kind kind) {
  TVRVelmoraDB &table = TableOf(h);
  table.RequireOpen(operation);
  CallFrame::Enter(table, kind);
  return table;
}
// An export that may move the cursor.
inline TVRVelmoraDB &OpenTableOf(int32_t h, const char *operation) {
  return EnterTable(h, operation, TableCall::kMoving);
}
// The export that moves to the next record.
inline TVRVelmoraDB &NextTableOf(int32_t h, const char *operation) {
  return EnterTable(h, operation, TableCall::kNext);
}
// An export that only reads and leaves the cursor where it stands.
inline TVRVelmoraDB &ReadingTableOf(int32_t h, const char *operation) {
  return EnterTable(h, operation, TableCall::kPassive);
}
// A posting operation.
inline TVRVelmoraDB &PostingTableOf(int32_t h, const char *operation) {
  return EnterTable(h, operation, TableCall::kPosting);
}

}  // namespace velmora::dll
