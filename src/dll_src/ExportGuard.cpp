#include "dll_src/ExportGuard.h"

#ifdef _WIN32
#include <windows.h>

#include <string>
#endif

namespace velmora::dll {

FpuScope::FpuScope() { std::feholdexcept(&saved_); }

FpuScope::~FpuScope() { std::fesetenv(&saved_); }

#ifdef _WIN32
namespace {
struct Failure {
  std::string message;
  std::string className;
  int code = 0;
};
thread_local Failure lastFailure;
}  // namespace

void RememberFailure(const char *message, const char *className, int code) {
  lastFailure.message = message;
  lastFailure.className = className;
  lastFailure.code = code;
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
