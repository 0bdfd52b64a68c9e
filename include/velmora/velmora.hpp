// Velmora embedded table engine: C++ view of the interface.
//
// The exception classes below are what the native library raises out of its
// exports.  They are defined entirely in this header (no out-of-line members),
// so a client compiled against it catches them by class although the library
// exports nothing but its C entry points.
#ifndef VELMORA_HPP
#define VELMORA_HPP

#include <stdexcept>
#include <string>

#include "velmora.h"

namespace velmora {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string &message) : std::runtime_error(message) {}
  // The class name a structured-exception client sees ("EVelmoraDBError", ...).
  virtual const char *ClassName() const noexcept { return "Exception"; }
};

#define VELMORA_EXCEPTION_CLASS(Name)                                 \
  class Name : public Exception {                                     \
   public:                                                            \
    explicit Name(const std::string &message) : Exception(message) {} \
    const char *ClassName() const noexcept override { return #Name; } \
  };

// Table engine, data file, record cache and index layer failures.
VELMORA_EXCEPTION_CLASS(EVelmoraDBError)
// Text-to-value conversion failures.
VELMORA_EXCEPTION_CLASS(EVRBError)
// A bad user handle or key position.
VELMORA_EXCEPTION_CLASS(EUserAccessError)
// A number or date text that does not convert.
VELMORA_EXCEPTION_CLASS(EConvertError)
// A list position out of bounds.
VELMORA_EXCEPTION_CLASS(EListError)
// Floating-point overflow or invalid operation.
VELMORA_EXCEPTION_CLASS(EMathError)

#undef VELMORA_EXCEPTION_CLASS

// A failed file operation; Code is the platform's error number (errno on Linux,
// the Windows error code on Win32; 100 for a read beyond the end of a file and
// 101 for a full disk where the platform has no code of its own).
class EInOutError : public Exception {
 public:
  EInOutError(const std::string &message, int code) : Exception(message), code_(code) {}
  const char *ClassName() const noexcept override { return "EInOutError"; }
  int Code() const noexcept { return code_; }

 private:
  int code_;
};

}  // namespace velmora

#endif  // VELMORA_HPP
