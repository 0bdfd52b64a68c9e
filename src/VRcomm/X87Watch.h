// The x87 unit's status word across a call into the library.  Every export
// hands the caller's floating-point state back as it found it; on x86-64 the
// library computes in the x87 unit only where it works in long double (real
// key comparisons and six-byte reals), so rather than reading the status word
// on every call (a slow instruction), the call's guard arms this watch and
// that code saves the status word before its first x87 instruction.  The guard
// puts the saved word back at the end of a call that saved one.
#pragma once

#include <cstdint>

namespace velmora::fpu {

struct X87Watch {
  bool armed = false;  // a call's guard waits for the status word
  bool saved = false;  // and it has been saved, in status
  uint16_t status = 0;
};

// This thread's watch.
X87Watch &ThisThreadsX87Watch();

// Called before any computing in long double (and before a value is converted
// to long double), out of line so that no x87 instruction of the caller moves
// ahead of it: saves the status word the first time in an armed call.
void NoteX87Use();

}  // namespace velmora::fpu
