// The C interface: every export called inside a guard that turns whatever it
// raises into a status and this thread's last error.  The functions are made
// from the one list in velmora_c_ops.h.
#include <velmora/velmora_c.h>

#include <cstring>
#include <new>
#include <string>

#include <velmora/velmora.hpp>

#define VR_C_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct LastError {
  int status = VR_OK;
  std::string message;
  std::string className;
  int32_t ioCode = 0;
};

thread_local LastError lastError;

int StatusOfClass(const char *className) {
  static const struct {
    const char *name;
    int status;
  } kClasses[] = {{"EVelmoraDBError", VR_E_VELMORA_DB},
                  {"EVRBError", VR_E_VRB},
                  {"EUserAccessError", VR_E_USER_ACCESS},
                  {"EInOutError", VR_E_IN_OUT},
                  {"EConvertError", VR_E_CONVERT},
                  {"EListError", VR_E_LIST},
                  {"EMathError", VR_E_MATH}};
  for (const auto &entry : kClasses)
    if (std::strcmp(entry.name, className) == 0) return entry.status;
  return VR_E_UNKNOWN;
}

int Fail(int status, const char *message, const char *className, int32_t ioCode) noexcept {
  try {
    lastError.message = message;
    lastError.className = className;
  } catch (...) {
    // No room even for the texts: the status alone must do.
    lastError.message.clear();
    lastError.className.clear();
  }
  lastError.status = status;
  lastError.ioCode = ioCode;
  return status;
}

// Runs one export call; nothing it raises gets past this frame.
template <class Work>
int Guard(Work &&work) noexcept {
  try {
    work();
    lastError.status = VR_OK;
    lastError.message.clear();
    lastError.className.clear();
    lastError.ioCode = 0;
    return VR_OK;
  } catch (const velmora::EInOutError &e) {
    return Fail(VR_E_IN_OUT, e.what(), e.ClassName(), e.Code());
  } catch (const velmora::Exception &e) {
    return Fail(StatusOfClass(e.ClassName()), e.what(), e.ClassName(), 0);
  } catch (const std::bad_alloc &) {
    return Fail(VR_E_OUT_OF_MEMORY, "Out of memory", "EOutOfMemory", 0);
  } catch (const std::exception &e) {
    return Fail(VR_E_UNKNOWN, e.what(), "Exception", 0);
  } catch (...) {
    return Fail(VR_E_UNKNOWN, "Unexpected failure in Velmora", "Exception", 0);
  }
}

template <class Out, class Value>
void Store(Out *result, Value value) {
  if (result != nullptr) *result = static_cast<Out>(value);
}

}  // namespace

VR_C_EXPORT const char *vr_LastErrorMessage(void) { return lastError.message.c_str(); }
VR_C_EXPORT const char *vr_LastErrorClass(void) { return lastError.className.c_str(); }
VR_C_EXPORT int32_t vr_LastErrorIOCode(void) { return lastError.ioCode; }
VR_C_EXPORT int vr_LastErrorStatus(void) { return lastError.status; }
VR_C_EXPORT const char *vr_Version(void) { return VELMORA_VERSION_TEXT; }

#define VR_STORE(call) Store(result, call)
#define VR_OP(name, parameters, work) \
  VR_C_EXPORT int name parameters {   \
    return Guard([&] { work; });      \
  }
#include <velmora/velmora_c_ops.h>
#undef VR_OP
#undef VR_STORE
