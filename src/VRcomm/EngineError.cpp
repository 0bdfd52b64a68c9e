#include "VRcomm/EngineError.h"

#include <exception>

#include <velmora/velmora.hpp>

#include "VRcomm/ShortString.h"

namespace velmora {

namespace {
std::string &LastEngineError() {
  static std::string text;
  return text;
}
}  // namespace

void RaiseEngineError(const std::string &message) {
  std::string text = Cut255(message);
  LastEngineError() = text;
  throw EVelmoraDBError(text);
}

void RaiseEngineErrorWithCause(const std::string &message) {
  std::string text = Cut255(message);
  LastEngineError() = text;
  std::throw_with_nested(EVelmoraDBError(text));
}

std::string TakeEngineError() {
  std::string text;
  text.swap(LastEngineError());
  return text;
}

const std::string &EngineErrorText() { return LastEngineError(); }

KeepEngineError::KeepEngineError() : saved_(LastEngineError()) {}

KeepEngineError::~KeepEngineError() { LastEngineError().swap(saved_); }

}  // namespace velmora
