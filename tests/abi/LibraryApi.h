// Loads libvelmora.so with dlopen and resolves every export by name, as a
// client written against the C interface does.
#pragma once

#include <dlfcn.h>

#include <stdexcept>
#include <string>
#include <type_traits>

#include <velmora/velmora.hpp>

namespace client {

// A boolean argument as a whole 32-bit slot, so tests can put garbage above
// the low byte the library must read.
using BoolSlot = uint32_t;

// The export's own function pointer type with every one-byte argument widened
// to a slot.
template <class A>
using Slot = std::conditional_t<std::is_same_v<A, uint8_t>, BoolSlot, A>;
template <class F>
struct SlotCall;
template <class R, class... A>
struct SlotCall<R (*)(A...)> {
  using type = R (*)(Slot<A>...);
};

struct LibraryApi {
  void *handle = nullptr;

  // One pointer per export of the list, named as the export.
#define VELMORA_EXPORT(ordinal, result, name, parameters) \
  typename SlotCall<decltype(&::name)>::type name = nullptr;
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
