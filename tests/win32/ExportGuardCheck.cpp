// Checks the guard that every export of the Windows build runs in, linked
// directly with the engine: floating-point exceptions are masked for the
// length of the call on x87 and on SSE (so arithmetic that overflows or is
// invalid does not trap), the caller's settings come back with no flag left
// behind, and each kind of C++ failure leaves as the library's structured
// exception with its message, class name and I/O code.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <emmintrin.h>
#include <new>
#include <stdexcept>

#include <velmora/velmora.hpp>

#include "ClientSupport.h"
#include "dll_src/ExportGuard.h"

using client::Checks;
using client::Raised;
using velmora::dll::Run;

namespace {

volatile double huge = 1e308;
volatile double zero = 0.0;
volatile double minusOne = -1.0;

// x87 arithmetic (the default code of this target): overflow and an invalid operation.
double X87Overflow() { return huge * 10.0; }
double X87Invalid() { return zero / zero; }

// The same on SSE2, compiled for it explicitly.
__attribute__((target("sse2"))) double SseOverflow() {
  return _mm_cvtsd_f64(_mm_mul_sd(_mm_set_sd(huge), _mm_set_sd(10.0)));
}
__attribute__((target("sse2"))) double SseInvalid() {
  return _mm_cvtsd_f64(_mm_sqrt_sd(_mm_set_sd(0.0), _mm_set_sd(minusOne)));
}

// Guards and arithmetic together, as an export runs them.
__attribute__((noinline)) double GuardedArithmetic() {
  return Run([] {
    double sum = X87Overflow() + SseOverflow();
    volatile double invalid = X87Invalid() + SseInvalid();
    (void)invalid;
    return sum;
  });
}

void CheckMasking(Checks &checks) {
  checks.Group("floating point inside the guard");
  {
    client::UnmaskedFloat fpu;
    // Without the guard the same arithmetic traps: that is what the guard is for.
    Raised raised = client::Catching([] {
      volatile double r = X87Overflow() + 1.0;
      (void)r;
    });
    checks.True(raised.raised && (raised.code == EXCEPTION_FLT_OVERFLOW || raised.code == STATUS_FLOAT_MULTIPLE_TRAPS),
                "unguarded x87 overflow traps with exceptions unmasked");
    client::ClearFloatFlags();
    client::SetControlWord(client::kUnmaskedControlWord);
    raised = client::Catching([] {
      volatile double r = SseOverflow();
      (void)r;
    });
    checks.True(raised.raised && (raised.code == EXCEPTION_FLT_OVERFLOW || raised.code == STATUS_FLOAT_MULTIPLE_TRAPS),
                "unguarded SSE overflow traps with exceptions unmasked");
    client::ClearFloatFlags();
    client::SetMxcsr(client::kUnmaskedMxcsr);
  }
  {
    client::UnmaskedFloat fpu;
    double result = 0;
    Raised raised = client::Catching([&] { result = GuardedArithmetic(); });
    client::ExpectNoFailure(checks, raised, "overflow and invalid operations inside the guard");
    checks.True(std::isinf(result), "the guarded arithmetic ran to its infinite result");
    client::ExpectCallerFloatState(checks, "after guarded arithmetic");
  }
  {
    // Flags the caller had raised before the call are the caller's: kept.
    client::UnmaskedFloat fpu;
    client::SetControlWord(0x137F);
    client::SetMxcsr(0x1F80);
    volatile double r = X87Overflow();
    (void)r;
    uint16_t status = client::StatusWord() & 0x3F;
    Run([] { return 0; });
    checks.Equal(client::StatusWord() & 0x3F, status, "the caller's own x87 flags are kept");
    checks.Equal(client::ControlWord(), 0x137F, "a masked caller's control word is kept");
    checks.Equal(client::Mxcsr(), 0x1F80, "a masked caller's MXCSR is kept");
  }
}

void CheckFailure(Checks &checks, const char *what, void (*raise)(), const char *message, const char *className,
                  uint32_t ioCode) {
  client::UnmaskedFloat fpu;
  Raised raised = client::Catching([&] {
    Run([&] {
      volatile double r = X87Overflow() + SseOverflow();
      (void)r;
      raise();
    });
  });
  client::ExpectFailure(checks, raised, message, className, what);
  checks.Equal(raised.ioCode, ioCode, std::string(what) + ": I/O code");
  client::ExpectCallerFloatState(checks, std::string(what) + ": after the raise");
}

void CheckFailures(Checks &checks) {
  checks.Group("failures leave as structured exceptions");
  CheckFailure(
      checks, "EVelmoraDBError", [] { throw velmora::EVelmoraDBError("Table is not open"); }, "Table is not open",
      "EVelmoraDBError", 0);
  CheckFailure(
      checks, "EInOutError", [] { throw velmora::EInOutError("File access denied", 32); }, "File access denied",
      "EInOutError", 32);
  CheckFailure(
      checks, "EListError", [] { throw velmora::EListError("List index out of bounds (3)"); },
      "List index out of bounds (3)", "EListError", 0);
  CheckFailure(
      checks, "bad_alloc", [] { throw std::bad_alloc(); }, "Out of memory", "EOutOfMemory", 0);
  CheckFailure(
      checks, "std::exception", [] { throw std::out_of_range("vector index"); }, "vector index", "EVelmoraDBError", 0);
  CheckFailure(
      checks, "other", [] { throw 42; }, "Unexpected failure in Velmora", "EVelmoraDBError", 0);

  // The texts stay readable after the raise and are replaced by the next failure.
  Raised first = client::Catching([] { Run([] { throw velmora::EMathError("Floating point overflow"); }); });
  Raised second =
      client::Catching([] { Run([] { throw velmora::EConvertError("'x' is not a valid integer value"); }); });
  client::ExpectFailure(checks, first, "Floating point overflow", "EMathError", "first of two failures");
  client::ExpectFailure(checks, second, "'x' is not a valid integer value", "EConvertError", "second of two failures");
  // A guarded body that succeeds returns its value.
  int value = 0;
  Raised none = client::Catching([&] { value = Run([] { return 58; }); });
  client::ExpectNoFailure(checks, none, "a successful guarded body");
  checks.Equal(value, 58, "the guarded body's result");
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  client::InstallHandlers();
  Checks checks;
  CheckMasking(checks);
  CheckFailures(checks);
  return checks.Summary("velmora_win32_guard");
}
