// Fuzzes one file of a valid table: the input replaces that file, then the
// table is opened and driven through every kind of operation.  The file is
// named by VELMORA_FUZZ_FILE (its extension as the table writer makes it).
#include <cstdlib>
#include <cstring>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace fuzz;
  // The first bytes of the input choose the operations' arguments; the rest is the file.
  size_t split = size < 64 ? 0 : 64;
  PrepareWorkTable(VELMORA_FUZZ_FILE, data + split, size - split);
  Input in(data, split);
  static int32_t h = DLL_Connect(11);
  std::vector<uint8_t> path = Short(WorkSchema());
  try {
    if (DLL_OpenTable(h, path.data(), 34) <= 0) return 0;
  } catch (...) {
    return 0;
  }
  Exercise(h, in);
  try {
    DLL_CloseTable(h);
  } catch (...) {
  }
  return 0;
}
