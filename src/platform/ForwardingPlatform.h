// Bases for platforms and files that pass every call on to another one.  A
// platform that changes a few operations (counting calls, injecting faults,
// converting differently) derives from ForwardingPlatform and overrides only
// those; everything else reaches the target unchanged, including operations
// added to Platform later.  ForwardingFile does the same for an open file, so
// a platform can wrap the files it opens and still pass every file call on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "platform/Platform.h"

namespace velmora::platform {

class ForwardingFile : public File {
 public:
  explicit ForwardingFile(std::unique_ptr<File> target) : target_(std::move(target)) {}

  int32_t Handle() const override { return target_->Handle(); }
  int64_t Size() override { return target_->Size(); }
  size_t ReadAt(int64_t offset, void *buffer, size_t n) override { return target_->ReadAt(offset, buffer, n); }
  size_t WriteAt(int64_t offset, const void *buffer, size_t n) override { return target_->WriteAt(offset, buffer, n); }
  void Truncate(int64_t size) override { target_->Truncate(size); }
  bool LockSlots(int32_t first, int32_t count, LockKind kind, int32_t waitMs) override {
    return target_->LockSlots(first, count, kind, waitMs);
  }
  uint8_t *MapHead(size_t bytes) override { return target_->MapHead(bytes); }
  void Close() override { target_->Close(); }

  File &target() const { return *target_; }

 private:
  std::unique_ptr<File> target_;
};

class ForwardingPlatform : public Platform {
 public:
  // The target must outlive this platform.
  explicit ForwardingPlatform(Platform &target) : target_(target) {}

  std::unique_ptr<File> Open(const std::string &path, int32_t mode, int32_t *error) override {
    return target_.Open(path, mode, error);
  }
  std::unique_ptr<File> Create(const std::string &path) override { return target_.Create(path); }
  std::unique_ptr<File> OpenOrCreate(const std::string &path, int32_t *error) override {
    return target_.OpenOrCreate(path, error);
  }
  bool Exists(const std::string &path) override { return target_.Exists(path); }
  std::string ExistingName(const std::string &path) override { return target_.ExistingName(path); }
  bool Delete(const std::string &path) override { return target_.Delete(path); }
  bool Rename(const std::string &from, const std::string &to) override { return target_.Rename(from, to); }
  bool Copy(const std::string &from, const std::string &to) override { return target_.Copy(from, to); }
  double TextToFloat(const std::string &text) override { return target_.TextToFloat(text); }
  int32_t TextToInt(const std::string &text) override { return target_.TextToInt(text); }
  double TextToDateTime(const std::string &text) override { return target_.TextToDateTime(text); }
  std::string FloatToText(double value) override { return target_.FloatToText(value); }
  std::string DateTimeToText(double value) override { return target_.DateTimeToText(value); }
  void *Allocate(size_t bytes) noexcept override { return target_.Allocate(bytes); }
  void Release(void *block) noexcept override { target_.Release(block); }

  Platform &target() const { return target_; }

 private:
  Platform &target_;
};

}  // namespace velmora::platform
