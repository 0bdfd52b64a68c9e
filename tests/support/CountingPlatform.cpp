#include "support/CountingPlatform.h"

#include <unistd.h>

namespace velmora::testing {

namespace {

class CountingFile : public platform::File {
 public:
  CountingFile(std::unique_ptr<platform::File> inner, std::shared_ptr<CountingPlatform::Counts> counts,
               std::shared_ptr<CountingPlatform::Trigger> trigger)
      : inner_(std::move(inner)), counts_(std::move(counts)), trigger_(std::move(trigger)) {}

  int32_t Handle() const override { return inner_->Handle(); }
  int64_t Size() override {
    ++counts_->sizes;
    return inner_->Size();
  }
  size_t ReadAt(int64_t offset, void *buffer, size_t n) override {
    ++counts_->reads;
    return inner_->ReadAt(offset, buffer, n);
  }
  size_t WriteAt(int64_t offset, const void *buffer, size_t n) override {
    ++counts_->writes;
    BeforeWrite();
    return inner_->WriteAt(offset, buffer, n);
  }
  void Truncate(int64_t size) override {
    ++counts_->truncates;
    BeforeWrite();
    inner_->Truncate(size);
  }
  bool LockSlots(int32_t first, int32_t count, LockKind kind, int32_t waitMs) override {
    ++counts_->locks;
    return inner_->LockSlots(first, count, kind, waitMs);
  }
  void Close() override { inner_->Close(); }

 private:
  void BeforeWrite() {
    CountingPlatform::Trigger &t = *trigger_;
    ++t.seen;
    if (t.fault == CountingPlatform::Fault::kNone) return;
    if (t.seen < t.at) return;
    switch (t.fault) {
      case CountingPlatform::Fault::kExit:
        ::_exit(CountingPlatform::kExitCode);
      case CountingPlatform::Fault::kFailOnce:
        if (t.seen != t.at) return;
        platform::RaiseIoError(5);
      case CountingPlatform::Fault::kFailFromOn:
        platform::RaiseIoError(platform::kErrorDiskFull);
      case CountingPlatform::Fault::kNone:
        return;
    }
  }

  std::unique_ptr<platform::File> inner_;
  std::shared_ptr<CountingPlatform::Counts> counts_;
  std::shared_ptr<CountingPlatform::Trigger> trigger_;
};

}  // namespace

CountingPlatform::CountingPlatform()
    : inner_(platform::NativePlatform()),
      previous_(&platform::Os()),
      counts_(std::make_shared<Counts>()),
      trigger_(std::make_shared<Trigger>()) {
  platform::SetPlatform(this);
}

CountingPlatform::~CountingPlatform() {
  if (&platform::Os() == this)
    platform::SetPlatform(previous_ == &platform::NativePlatform() ? nullptr : previous_);
}

void CountingPlatform::Arm(Fault fault, int64_t n) { *trigger_ = Trigger{fault, n, 0}; }

int64_t CountingPlatform::WritesSinceArm() const { return trigger_->seen; }

std::unique_ptr<platform::File> CountingPlatform::Wrap(std::unique_ptr<platform::File> file) {
  if (!file) return nullptr;
  return std::make_unique<CountingFile>(std::move(file), counts_, trigger_);
}

std::unique_ptr<platform::File> CountingPlatform::Open(const std::string &path, int32_t mode, int32_t *error) {
  return Wrap(inner_.Open(path, mode, error));
}

std::unique_ptr<platform::File> CountingPlatform::Create(const std::string &path) {
  return Wrap(inner_.Create(path));
}

std::unique_ptr<platform::File> CountingPlatform::OpenOrCreate(const std::string &path, int32_t *error) {
  return Wrap(inner_.OpenOrCreate(path, error));
}

}  // namespace velmora::testing
