// Loads libvelmora.so with dlopen and resolves every export by name, as a
// client written against the C interface does.
#pragma once

#include <dlfcn.h>

#include <cstddef>
#include <stdexcept>
#include <string>

#include <velmora/velmora.hpp>

#include "support/ExportSlots.h"

namespace client {

#if defined(__clang__)
#define VELMORA_WIDENED_CALL __attribute__((no_sanitize("function")))
#else
#define VELMORA_WIDENED_CALL
#endif

// An export's pointer with its one-byte arguments widened to whole slots
// (ExportSlots).  To clang's function-type check a call through it is a call
// through the wrong type; here that is the point (it is how such callers
// call), so the check is off for this one forwarding call and stays on for
// every other call, the library's calls of the tests' filter procedures among
// them.
template <class P>
class SlotCall;
template <class R, class... A>
class SlotCall<R(VR_CALL *)(A...)> {
 public:
  using Pointer = R(VR_CALL *)(A...);
  SlotCall() = default;
  SlotCall(std::nullptr_t) {}
  SlotCall &operator=(Pointer pointer) {
    pointer_ = pointer;
    return *this;
  }
  bool operator==(std::nullptr_t) const { return pointer_ == nullptr; }
  VELMORA_WIDENED_CALL R operator()(A... arguments) const { return pointer_(arguments...); }

 private:
  Pointer pointer_ = nullptr;
};

struct LibraryApi {
  void *handle = nullptr;

  // One pointer per export of the list, named as the export.
#define VELMORA_EXPORT(ordinal, result, name, parameters) SlotCall<ExportSlots<decltype(&::name)>> name = nullptr;
#include <velmora/velmora_exports.h>
#undef VELMORA_EXPORT

  // Loads the library under test; with a private copy, an instance of its own
  // that shares no state with any other loaded copy.
  explicit LibraryApi(bool privateCopy = false);
  ~LibraryApi();
  LibraryApi(const LibraryApi &) = delete;
  LibraryApi &operator=(const LibraryApi &) = delete;

  void *Symbol(const char *name) const { return dlsym(handle, name); }
  std::string copyPath;
  std::string Stats() const;
};

// The one loaded instance shared by the tests of this process.
LibraryApi &Api();

// A short string of exactly length + 1 bytes on the heap, as a Pascal constant
// is laid out: reading past it is caught by the sanitizers.
class TightShortString {
 public:
  explicit TightShortString(const std::string &text);
  ~TightShortString();
  TightShortString(const TightShortString &) = delete;
  TightShortString &operator=(const TightShortString &) = delete;
  const uint8_t *get() const { return bytes_; }

 private:
  uint8_t *bytes_;
};

std::string FromShortBuffer(const uint8_t *buffer);

}  // namespace client
