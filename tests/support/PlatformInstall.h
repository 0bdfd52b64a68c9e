// Installs a platform for the length of its own life: Os() returns the
// platform from construction on, and the destructor puts back the platform
// that was installed before (the built-in one included), unless another has
// been installed over it meanwhile.  A test platform holds one as its last
// member, so that it is installed once fully built and removed first.
#pragma once

#include "platform/Platform.h"

namespace velmora::testing {

class PlatformInstall {
 public:
  explicit PlatformInstall(platform::Platform &platform) : platform_(platform), previous_(Installed()) {
    platform::SetPlatform(&platform_);
  }
  ~PlatformInstall() {
    if (&platform::Os() == &platform_) platform::SetPlatform(previous_);
  }
  PlatformInstall(const PlatformInstall &) = delete;
  PlatformInstall &operator=(const PlatformInstall &) = delete;

 private:
  // The platform installed now, or null for the built-in one.
  static platform::Platform *Installed() {
    platform::Platform *current = &platform::Os();
    return current == &platform::NativePlatform() ? nullptr : current;
  }

  platform::Platform &platform_;
  platform::Platform *previous_;
};

}  // namespace velmora::testing
