#include "platform/Platform.h"

#include <velmora/velmora.hpp>

namespace velmora::platform {

namespace {
Platform *installed = nullptr;
}

Platform &Os() { return installed != nullptr ? *installed : NativePlatform(); }

void SetPlatform(Platform *platform) { installed = platform; }

std::string IoErrorText(int32_t code) {
  switch (code) {
#ifdef _WIN32
    case 2:  // ERROR_FILE_NOT_FOUND
    case 3:  // ERROR_PATH_NOT_FOUND
      return "File not found";
    case 5:   // ERROR_ACCESS_DENIED
    case 32:  // ERROR_SHARING_VIOLATION
    case 33:  // ERROR_LOCK_VIOLATION
      return "File access denied";
    case 38:  // ERROR_HANDLE_EOF
    case kErrorReadBeyondEnd: return "Read beyond end of file";
    case 39:   // ERROR_HANDLE_DISK_FULL
    case 112:  // ERROR_DISK_FULL
    case kErrorDiskFull: return "Disk full";
#else
    case 2:  // ENOENT
      return "File not found";
    case 1:   // EPERM
    case 13:  // EACCES
    case 11:  // EAGAIN: a sharing conflict
      return "File access denied";
    case 28:  // ENOSPC
    case kErrorDiskFull: return "Disk full";
    case kErrorReadBeyondEnd: return "Read beyond end of file";
#endif
    default: return "I/O error " + std::to_string(code);
  }
}

void RaiseIoError(int32_t code) { throw EInOutError(IoErrorText(code), code); }

}  // namespace velmora::platform
