// Shared by the export source files: the C structures without the prototypes
// (the definitions read boolean arguments as whole slots, of which only the
// low byte is significant), the guard, and the registry.
#pragma once

#define VELMORA_NO_PROTOTYPES
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

// Raised by an export whose engine operation this build does not provide.
[[noreturn]] inline void NotBuilt(const char *operation) {
  throw EVelmoraDBError(std::string(operation) + " is not available in this build of Velmora");
}

}  // namespace velmora::dll
