// Runs a sequence of export calls chosen by the input on a fresh table, then
// closes and reopens it and checks that every index walks every record once,
// in key order.
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace fuzz;
  Input in(data, size);
  PrepareWorkTable("", nullptr, 0, (in.byte() & 1) != 0);
  static int32_t h = DLL_Connect(12);
  std::vector<uint8_t> path = Short(WorkSchema());
  if (DLL_OpenTable(h, path.data(), 34) <= 0) Finding("the fresh table does not open");
  Layout layout;
  if (!layout.Load(h)) Finding("the fresh table has an unexpected layout");
  for (int calls = 0; calls < 400 && !in.done(); ++calls) RunOneCall(h, layout, in);
  try {
    DLL_CloseTable(h);
    if (DLL_OpenTable(h, path.data(), 34) <= 0) Finding("the table does not open again");
  } catch (const std::exception &e) {
    Finding(std::string("the table does not open again: ") + e.what());
  }
  CheckTable(h, layout, "after the calls, reopened");
  try {
    DLL_CloseTable(h);
  } catch (...) {
  }
  return 0;
}
