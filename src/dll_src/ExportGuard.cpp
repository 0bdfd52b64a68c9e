#include "dll_src/ExportGuard.h"

#include <new>

#ifdef _WIN32
#include <windows.h>
#endif

namespace velmora::dll {

#if (defined(__MINGW32__) && defined(__i386__)) || (defined(__x86_64__) && !defined(_WIN32))
namespace {
// Saves the SSE control and status register and masks all six exceptions
// (bits 7-12) with their flags (bits 0-5) cleared; returns the saved value.
uint32_t HoldSse() {
  uint32_t saved = 0;
  __asm__ volatile("stmxcsr %0" : "=m"(saved));
  uint32_t masked = (saved | 0x1F80u) & ~0x3Fu;
  __asm__ volatile("ldmxcsr %0" : : "m"(masked));
  return saved;
}
// Puts the caller's settings and flags back; the library's own flags are gone.
void RestoreSse(uint32_t saved) { __asm__ volatile("ldmxcsr %0" : : "m"(saved)); }
}  // namespace
#endif

#if defined(__MINGW32__) && defined(__i386__)
namespace {
bool CpuHasSse() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("sse");
}
const bool cpuHasSse = CpuHasSse();
}  // namespace

FpuScope::FpuScope() : hasSse_(cpuHasSse) {
  std::feholdexcept(&saved_);
  if (hasSse_) savedMxcsr_ = HoldSse();
}

FpuScope::~FpuScope() {
  std::fesetenv(&saved_);
  if (hasSse_) RestoreSse(savedMxcsr_);
}
#elif defined(__x86_64__) && !defined(_WIN32)
namespace {
// The x87 exception masks (control word) and flags (status word), bits 0-5,
// and the stack-fault flag (status bit 6).
constexpr uint16_t kX87Masks = 0x3F;
constexpr uint16_t kX87Flags = 0x7F;
// The x87 environment as fnstenv stores it in 64-bit mode.
struct X87Env {
  uint16_t control, reserved1, status, reserved2;
  uint32_t rest[5];
};
static_assert(sizeof(X87Env) == 28);
}  // namespace

FpuScope::FpuScope() : watch_(&fpu::ThisThreadsX87Watch()), outer_(*watch_) {
  __asm__ volatile("fnstcw %0" : "=m"(x87Control_));
  wholeEnv_ = (x87Control_ & kX87Masks) != kX87Masks;
  if (wholeEnv_) {
    // The whole environment comes back: nothing to watch.
    *watch_ = fpu::X87Watch{};
    std::feholdexcept(&saved_);
    return;
  }
  *watch_ = fpu::X87Watch{true, false, 0};
  savedMxcsr_ = HoldSse();
}

FpuScope::~FpuScope() {
  const fpu::X87Watch watch = *watch_;
  *watch_ = outer_;
  if (wholeEnv_) {
    std::fesetenv(&saved_);
    return;
  }
  if (watch.saved) {
    uint16_t status = 0;
    __asm__ volatile("fnstsw %0" : "=m"(status));
    if ((status & kX87Flags) != (watch.status & kX87Flags)) {
      // The library raised an x87 flag: the caller's status word comes back.
      X87Env env;
      __asm__ volatile("fnstenv %0" : "=m"(env));
      env.control = x87Control_;
      env.status = watch.status;
      __asm__ volatile("fldenv %0" : : "m"(env));
    }
  }
  RestoreSse(savedMxcsr_);
}
#else
FpuScope::FpuScope() { std::feholdexcept(&saved_); }

FpuScope::~FpuScope() { std::fesetenv(&saved_); }
#endif

FailureReport DescribeFailure() {
  try {
    throw;
  } catch (const EInOutError &e) {
    return {e.what(), e.ClassName(), e.Code()};
  } catch (const Exception &e) {
    return {e.what(), e.ClassName(), 0};
  } catch (const std::bad_alloc &) {
    return {"Out of memory", "EOutOfMemory", 0};
  } catch (const std::exception &e) {
    return {e.what(), "EVelmoraDBError", 0};
  } catch (...) {
    return {"Unexpected failure in Velmora", "EVelmoraDBError", 0};
  }
}

#ifdef _WIN32
namespace {
struct Failure {
  std::string message;
  std::string className;
  int code = 0;
};
thread_local Failure lastFailure;
}  // namespace

void RememberFailure(const FailureReport &failure) {
  lastFailure.message = failure.message;
  lastFailure.className = failure.className;
  lastFailure.code = failure.code;
}

void RaiseRememberedFailure() {
  ULONG_PTR args[3] = {reinterpret_cast<ULONG_PTR>(lastFailure.message.c_str()),
                       reinterpret_cast<ULONG_PTR>(lastFailure.className.c_str()),
                       static_cast<ULONG_PTR>(lastFailure.code)};
  RaiseException(VELMORA_EXCEPTION_CODE, EXCEPTION_NONCONTINUABLE, 3, args);
  __builtin_unreachable();
}
#endif

}  // namespace velmora::dll
