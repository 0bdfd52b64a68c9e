// A platform for tests that passes everything to the built-in one, counts the
// file calls made through it, and can stop the process or fail at the N-th
// write call (WriteAt or Truncate) of any file.  Constructing it installs it;
// destroying it puts back the platform that was installed before.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Platform.h"

namespace velmora::testing {

class CountingPlatform : public platform::Platform {
 public:
  struct Counts {
    int64_t reads = 0, writes = 0, truncates = 0, sizes = 0, locks = 0;
    int64_t Total() const { return reads + writes + truncates + sizes + locks; }
  };
  enum class Fault {
    kNone,
    kExit,        // _exit(kExitCode) instead of the N-th write call
    kFailOnce,    // the N-th write call fails, later ones work
    kFailFromOn,  // the N-th and every later write call fail
  };
  static constexpr int kExitCode = 86;

  CountingPlatform();
  ~CountingPlatform() override;
  CountingPlatform(const CountingPlatform &) = delete;
  CountingPlatform &operator=(const CountingPlatform &) = delete;

  // Counts write calls from now on and applies the fault at the n-th (1-based).
  void Arm(Fault fault, int64_t n);
  const Counts &Seen() const { return *counts_; }
  void ResetCounts() { *counts_ = Counts{}; }
  // Write calls since the last Arm.
  int64_t WritesSinceArm() const;

  std::unique_ptr<platform::File> Open(const std::string &path, int32_t mode, int32_t *error) override;
  std::unique_ptr<platform::File> Create(const std::string &path) override;
  std::unique_ptr<platform::File> OpenOrCreate(const std::string &path, int32_t *error) override;
  bool Exists(const std::string &path) override { return inner_.Exists(path); }
  std::string ExistingName(const std::string &path) override { return inner_.ExistingName(path); }
  bool Delete(const std::string &path) override { return inner_.Delete(path); }
  bool Rename(const std::string &from, const std::string &to) override { return inner_.Rename(from, to); }
  bool Copy(const std::string &from, const std::string &to) override { return inner_.Copy(from, to); }
  double TextToFloat(const std::string &text) override { return inner_.TextToFloat(text); }
  int32_t TextToInt(const std::string &text) override { return inner_.TextToInt(text); }
  double TextToDateTime(const std::string &text) override { return inner_.TextToDateTime(text); }
  std::string FloatToText(double value) override { return inner_.FloatToText(value); }
  std::string DateTimeToText(double value) override { return inner_.DateTimeToText(value); }
  void *Allocate(size_t bytes) noexcept override { return inner_.Allocate(bytes); }
  void Release(void *block) noexcept override { inner_.Release(block); }

  struct Trigger {
    Fault fault = Fault::kNone;
    int64_t at = 0;
    int64_t seen = 0;
  };

 private:
  std::unique_ptr<platform::File> Wrap(std::unique_ptr<platform::File> file);

  platform::Platform &inner_;
  platform::Platform *previous_;
  std::shared_ptr<Counts> counts_;
  std::shared_ptr<Trigger> trigger_;
};

}  // namespace velmora::testing
