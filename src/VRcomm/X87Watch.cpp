#include "VRcomm/X87Watch.h"

namespace velmora::fpu {

namespace {
thread_local X87Watch watch;
}

X87Watch &ThisThreadsX87Watch() { return watch; }

__attribute__((noinline)) void NoteX87Use() {
#if defined(__x86_64__) && !defined(_WIN32)
  X87Watch &w = watch;
  if (!w.armed || w.saved) return;
  __asm__ volatile("fnstsw %0" : "=m"(w.status));
  w.saved = true;
#endif
}

}  // namespace velmora::fpu
