// The function pointer type of an export as a test client declares it: the
// export's own type (from velmora.h) with every one-byte argument widened to a
// whole 32-bit slot, so that a test can put garbage above the low byte that
// the library must read.
#pragma once

#include <cstdint>
#include <type_traits>

#include <velmora/velmora.h>

namespace client {

using BoolSlot = uint32_t;

template <class A>
using Slot = std::conditional_t<std::is_same_v<A, uint8_t>, BoolSlot, A>;

template <class F>
struct SlotCallOf;
template <class R, class... A>
struct SlotCallOf<R(VR_CALL *)(A...)> {
  using type = R(VR_CALL *)(Slot<A>...);
};

// ExportSlots<decltype(&DLL_SetFiltered)> is void (VR_CALL *)(int32_t, uint32_t).
template <class F>
using ExportSlots = typename SlotCallOf<F>::type;

}  // namespace client
