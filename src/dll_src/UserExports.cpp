// The user exports: connecting, disconnecting, the open test and the census.
#include "VRcomm/ShortString.h"
#include "dll_src/Exports.h"

using namespace velmora;
using namespace velmora::dll;

VR_EXPORT int32_t VR_CALL DLL_Connect(int32_t clientId) {
  return Run([&] { return Users().Connect(clientId); });
}

VR_EXPORT int32_t VR_CALL DLL_Disconnect(int32_t h) {
  return Run([&] {
    Users().Disconnect(h);
    return 0;
  });
}

VR_EXPORT uint8_t VR_CALL DLL_CheckOpen(int32_t h) {
  return Run([&] { return static_cast<uint8_t>(TableOf(h).IsOpen() ? 1 : 0); });
}

VR_EXPORT void VR_CALL ShowStats(uint8_t *text) {
  Run([&] {
    if (text == nullptr) throw EVelmoraDBError("ShowStats needs a text buffer");
    ToShort(text, Users().Stats());
  });
}

namespace {
// The registry, with its reserved user 0, exists from the moment the library is loaded.
struct LibraryLoad {
  LibraryLoad() { UserRegistry::Instance(); }
} libraryLoad;
}  // namespace
