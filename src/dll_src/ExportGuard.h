// What every export does around its body: mask floating-point exceptions for
// the length of the call (restoring the caller's settings and flags on the way
// out), and hand failures to the caller.  Natively the C++ exception leaves the
// export; on Win32 it is turned into a structured exception after every C++
// frame of the library has been left.
#pragma once

#include <cfenv>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>

#ifdef __GLIBCXX__
#include <cxxabi.h>
#endif

#include <velmora/velmora.hpp>

#include "VRcomm/X87Watch.h"
#include "Velmoradb/TableCall.h"

namespace velmora::dll {

class FpuScope {
 public:
  FpuScope();
  ~FpuScope();
  FpuScope(const FpuScope &) = delete;
  FpuScope &operator=(const FpuScope &) = delete;

 private:
  std::fenv_t saved_;
#if defined(__MINGW32__) && defined(__i386__)
  // The 32-bit MinGW runtime's environment functions cover the x87 unit only;
  // the SSE control and status register is saved and masked here.
  uint32_t savedMxcsr_ = 0;
  bool hasSse_ = false;
#elif defined(__x86_64__) && !defined(_WIN32)
  // Double arithmetic runs in SSE: its control and status register is saved,
  // masked and put back on every call.  The x87 unit (long double) is left
  // alone while the caller keeps its exceptions masked, and its status put
  // back only when the library raised a flag there (the status word is read
  // only by a call that computes in long double); a caller that unmasked x87
  // exceptions gets the whole environment held and restored.  Saving and
  // loading the whole environment costs more than many a call's own work.
  uint32_t savedMxcsr_ = 0;
  uint16_t x87Control_ = 0;
  bool wholeEnv_ = false;
  // The x87 status word is saved by the library's long double code, the
  // first time a call reaches it (VRcomm/X87Watch.h); the watch of an
  // enclosing call (an export called from a filter callback) comes back.
  fpu::X87Watch *watch_ = nullptr;
  fpu::X87Watch outer_;
#endif
};

// What a failure that leaves an export is reported as: its message, the class
// name a structured-exception client sees, and the I/O error code (0 but for
// EInOutError).  A failure that is not one of the library's classes becomes
// EVelmoraDBError, running out of memory EOutOfMemory on Win32.
struct FailureReport {
  std::string message;
  const char *className;
  int code;
};
// Describes the exception being handled; called only inside a catch block.
FailureReport DescribeFailure();

#ifdef _WIN32
// Keeps the failure's texts (valid until the next failure on this thread).
void RememberFailure(const FailureReport &failure);
// Raises the remembered failure as a structured exception; never returns.
[[noreturn]] void RaiseRememberedFailure();
#endif

// Runs body as the export's whole work.
template <class Body>
auto Run(Body &&body) -> decltype(body()) {
#ifdef _WIN32
  using Result = decltype(body());
  bool failed = false;
  std::conditional_t<std::is_void_v<Result>, int, Result> result{};
  {
    FpuScope fpu;
    try {
      CallFrame frame;
      if constexpr (std::is_void_v<Result>) {
        body();
      } else {
        result = body();
      }
      frame.Finish();
    } catch (...) {
      RememberFailure(DescribeFailure());
      failed = true;
    }
  }
  if (failed) RaiseRememberedFailure();
  if constexpr (!std::is_void_v<Result>) return result;
#else
  FpuScope fpu;
  try {
    CallFrame frame;
    if constexpr (std::is_void_v<decltype(body())>) {
      body();
      frame.Finish();
    } else {
      auto result = body();
      frame.Finish();
      return result;
    }
  } catch (const Exception &) {
    throw;
#ifdef __GLIBCXX__
  } catch (abi::__forced_unwind &) {
    throw;  // a cancelled thread unwinding: not a failure
#endif
  } catch (...) {
    // The client catches the library's classes only: anything else leaves as
    // EVelmoraDBError with the message a structured-exception client gets.
    throw EVelmoraDBError(DescribeFailure().message);
  }
#endif
}

}  // namespace velmora::dll
