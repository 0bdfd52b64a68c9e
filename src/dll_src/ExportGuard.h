// What every export does around its body: mask floating-point exceptions for
// the length of the call (restoring the caller's settings and flags on the way
// out), and hand failures to the caller.  Natively the C++ exception leaves the
// export; on Win32 it is turned into a structured exception after every C++
// frame of the library has been left.
#pragma once

#include <cfenv>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include <velmora/velmora.hpp>

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
#endif
};

#ifdef _WIN32
// Keeps the failure's texts (valid until the next failure on this thread).
void RememberFailure(const char *message, const char *className, int code);
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
    } catch (const EInOutError &e) {
      RememberFailure(e.what(), e.ClassName(), e.Code());
      failed = true;
    } catch (const Exception &e) {
      RememberFailure(e.what(), e.ClassName(), 0);
      failed = true;
    } catch (const std::bad_alloc &) {
      RememberFailure("Out of memory", "EOutOfMemory", 0);
      failed = true;
    } catch (const std::exception &e) {
      RememberFailure(e.what(), "EVelmoraDBError", 0);
      failed = true;
    } catch (...) {
      RememberFailure("Unexpected failure in Velmora", "EVelmoraDBError", 0);
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
  } catch (const std::bad_alloc &) {
    throw EVelmoraDBError("Out of memory");
  } catch (const std::exception &e) {
    throw EVelmoraDBError(e.what());
  }
#endif
}

// Only the low byte of a boolean argument is significant.
inline bool Flag(uint32_t slot) { return (slot & 0xFFu) != 0; }

}  // namespace velmora::dll
