// A platform that passes every call to another one (the platform in use when
// it is made, unless given one) and counts the calls that reach the operating
// system: opening, creating, reading, writing, sizing, truncating, locking and
// closing files, and the whole-file operations (existence, name lookup,
// delete, rename, copy).  Conversions and memory allocation are passed on
// without counting, as they never leave the process.  It can also stop the
// process or fail at the N-th write call (WriteAt or Truncate) of any file,
// which the crash-safety tests use.  Constructing it installs it; destroying
// it puts back the platform that was installed before.
//
//   velmora::testing::CountingPlatform counting;   // installed from here on
//   ... engine calls ...
//   velmora::testing::CallCounts used = counting.counts();
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ForwardingPlatform.h"
#include "support/CallCounts.h"
#include "support/PlatformInstall.h"

namespace velmora::testing {

class CountingPlatform : public platform::ForwardingPlatform {
 public:
  enum class Fault {
    kNone,
    kExit,        // _exit(kExitCode) instead of the N-th write call
    kFailOnce,    // the N-th write call fails, later ones work
    kFailFromOn,  // the N-th and every later write call fail
  };
  static constexpr int kExitCode = 86;

  // Wraps `target` (the platform in use when null) and installs itself.
  explicit CountingPlatform(platform::Platform *target = nullptr);
  CountingPlatform(const CountingPlatform &) = delete;
  CountingPlatform &operator=(const CountingPlatform &) = delete;

  const CallCounts &counts() const { return *counts_; }

  // Counts write calls from now on and applies the fault at the n-th (1-based).
  void Arm(Fault fault, int64_t n);

  std::unique_ptr<platform::File> Open(const std::string &path, int32_t mode, int32_t *error) override;
  std::unique_ptr<platform::File> Create(const std::string &path) override;
  std::unique_ptr<platform::File> OpenOrCreate(const std::string &path, int32_t *error) override;
  bool Exists(const std::string &path) override;
  std::string ExistingName(const std::string &path) override;
  bool Delete(const std::string &path) override;
  bool Rename(const std::string &from, const std::string &to) override;
  bool Copy(const std::string &from, const std::string &to) override;

  // The write calls seen since Arm and the fault armed for them.
  struct Trigger {
    Fault fault = Fault::kNone;
    int64_t at = 0;
    int64_t seen = 0;
  };

 private:
  std::unique_ptr<platform::File> Wrap(std::unique_ptr<platform::File> file);

  // Shared with the files it opened, which may outlive it.
  std::shared_ptr<CallCounts> counts_;
  std::shared_ptr<Trigger> trigger_;
  PlatformInstall install_;
};

}  // namespace velmora::testing
