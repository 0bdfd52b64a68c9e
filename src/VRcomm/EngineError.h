// The library-wide last error text and the raiser used by the data file, the
// record cache and the index layer.
#pragma once

#include <string>

namespace velmora {

// Records the message as the library-wide last error text, then raises
// EVelmoraDBError with it.
[[noreturn]] void RaiseEngineError(const std::string &message);
// The same, called while a failure is being handled: the message replaces the
// failure's own (say "Disk full") for the caller, and the failure stays
// reachable as the raised error's nested cause (std::rethrow_if_nested).
[[noreturn]] void RaiseEngineErrorWithCause(const std::string &message);
// Returns the library-wide last error text and empties it.
std::string TakeEngineError();
// The library-wide last error text, left as it is.
const std::string &EngineErrorText();

// Keeps the library-wide last error text across recovery work whose own
// failures are swallowed: the caller must read the message of the failure it
// received, not that of a clean-up step.
class KeepEngineError {
 public:
  KeepEngineError();
  ~KeepEngineError();
  KeepEngineError(const KeepEngineError &) = delete;
  KeepEngineError &operator=(const KeepEngineError &) = delete;

 private:
  std::string saved_;
};

}  // namespace velmora
