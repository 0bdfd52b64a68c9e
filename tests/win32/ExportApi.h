// Every export of Velmora.dll as a client declares it: a __stdcall pointer per
// entry of the list of exports, named as the export, with one-byte arguments
// as whole slots (support/ExportSlots.h), resolved with GetProcAddress.
#pragma once

#include <windows.h>

#include <string>

#include <velmora/velmora.h>

#include "ClientSupport.h"
#include "support/ExportSlots.h"

namespace client {

struct ExportApi {
#define VELMORA_EXPORT(ordinal, result, name, parameters) ExportSlots<decltype(&::name)> name = nullptr;
#include <velmora/velmora_exports.h>
#undef VELMORA_EXPORT
};

// Resolves every export by name; each one missing is a failed check.
inline bool ResolveExports(Checks &checks, HMODULE module, ExportApi &api) {
  bool ok = true;
#define VELMORA_EXPORT(ordinal, result, name, parameters)                                                   \
  api.name = reinterpret_cast<decltype(api.name)>(reinterpret_cast<void *>(GetProcAddress(module, #name))); \
  ok &= checks.True(api.name != nullptr, "resolve " #name);
#include <velmora/velmora_exports.h>
#undef VELMORA_EXPORT
  return ok;
}

}  // namespace client
