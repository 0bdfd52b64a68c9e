// The library-wide last error text and the raiser used by the data file, the
// record cache and the index layer.
#pragma once

#include <string>

namespace velmora {

// Records the message as the library-wide last error text, then raises
// EVelmoraDBError with it.
[[noreturn]] void RaiseEngineError(const std::string &message);
// Returns the library-wide last error text and empties it.
std::string TakeEngineError();
// The library-wide last error text, left as it is.
const std::string &EngineErrorText();

}  // namespace velmora
