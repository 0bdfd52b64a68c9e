// A platform that passes every call to another one (the platform in use when
// it is made) and counts the calls that reach the operating system: opening,
// creating, reading, writing, sizing, truncating and closing files, and the
// whole-file operations (existence, name lookup, delete, rename, copy).  The
// benchmark installs it to report system calls per operation; conversions and
// memory allocation are forwarded without counting, as they never leave the
// process.
//
//   bench::CountingPlatform counting;   // installed from here on
//   ... engine calls ...
//   bench::CallCounts used = counting.counts();
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "CallCounts.h"
#include "platform/Platform.h"

namespace bench {

class CountingPlatform : public velmora::platform::Platform {
 public:
  // Wraps `inner` (the platform in use when null) and installs itself; the
  // destructor puts back the platform that was installed before.
  explicit CountingPlatform(velmora::platform::Platform *inner = nullptr);
  ~CountingPlatform() override;
  CountingPlatform(const CountingPlatform &) = delete;
  CountingPlatform &operator=(const CountingPlatform &) = delete;

  const CallCounts &counts() const { return *counts_; }

  std::unique_ptr<velmora::platform::File> Open(const std::string &path, int32_t mode, int32_t *error) override;
  std::unique_ptr<velmora::platform::File> Create(const std::string &path) override;
  std::unique_ptr<velmora::platform::File> OpenOrCreate(const std::string &path, int32_t *error) override;
  bool Exists(const std::string &path) override;
  std::string ExistingName(const std::string &path) override;
  bool Delete(const std::string &path) override;
  bool Rename(const std::string &from, const std::string &to) override;
  bool Copy(const std::string &from, const std::string &to) override;
  double TextToFloat(const std::string &text) override { return inner_.TextToFloat(text); }
  int32_t TextToInt(const std::string &text) override { return inner_.TextToInt(text); }
  double TextToDateTime(const std::string &text) override { return inner_.TextToDateTime(text); }
  std::string FloatToText(double value) override { return inner_.FloatToText(value); }
  std::string DateTimeToText(double value) override { return inner_.DateTimeToText(value); }
  void *Allocate(size_t bytes) noexcept override { return inner_.Allocate(bytes); }
  void Release(void *block) noexcept override { inner_.Release(block); }

 private:
  velmora::platform::Platform &inner_;
  velmora::platform::Platform *previous_;
  // Shared with the files it opened, which may outlive it.
  std::shared_ptr<CallCounts> counts_;
};

}  // namespace bench
