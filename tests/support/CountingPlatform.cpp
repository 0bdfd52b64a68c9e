#include "support/CountingPlatform.h"

#include <unistd.h>

namespace velmora::testing {

namespace {

class CountingFile : public platform::ForwardingFile {
 public:
  CountingFile(std::unique_ptr<platform::File> target, std::shared_ptr<CallCounts> counts,
               std::shared_ptr<CountingPlatform::Trigger> trigger)
      : ForwardingFile(std::move(target)), counts_(std::move(counts)), trigger_(std::move(trigger)) {}
  ~CountingFile() override {
    // A file dropped without Close is closed by its own destructor.
    if (!closed_) ++counts_->close;
  }

  int64_t Size() override {
    ++counts_->size;
    return ForwardingFile::Size();
  }
  size_t ReadAt(int64_t offset, void *buffer, size_t n) override {
    ++counts_->read;
    size_t got = ForwardingFile::ReadAt(offset, buffer, n);
    counts_->bytesRead += static_cast<int64_t>(got);
    return got;
  }
  size_t WriteAt(int64_t offset, const void *buffer, size_t n) override {
    ++counts_->write;
    BeforeWrite();
    size_t put = ForwardingFile::WriteAt(offset, buffer, n);
    counts_->bytesWritten += static_cast<int64_t>(put);
    return put;
  }
  void Truncate(int64_t size) override {
    ++counts_->truncate;
    BeforeWrite();
    ForwardingFile::Truncate(size);
  }
  bool LockSlots(int32_t first, int32_t count, LockKind kind, int32_t waitMs) override {
    ++counts_->lock;
    return ForwardingFile::LockSlots(first, count, kind, waitMs);
  }
  uint8_t *MapHead(size_t bytes) override {
    ++counts_->map;
    return ForwardingFile::MapHead(bytes);
  }
  void Close() override {
    if (!closed_) ++counts_->close;
    closed_ = true;
    ForwardingFile::Close();
  }

 private:
  // Applies the armed fault at the write call it is armed for.
  void BeforeWrite() {
    CountingPlatform::Trigger &t = *trigger_;
    ++t.seen;
    if (t.fault == CountingPlatform::Fault::kNone) return;
    if (t.seen < t.at) return;
    switch (t.fault) {
      case CountingPlatform::Fault::kExit: ::_exit(CountingPlatform::kExitCode);
      case CountingPlatform::Fault::kFailOnce:
        if (t.seen != t.at) return;
        platform::RaiseIoError(5);
      case CountingPlatform::Fault::kFailFromOn: platform::RaiseIoError(platform::kErrorDiskFull);
      case CountingPlatform::Fault::kNone: return;
    }
  }

  std::shared_ptr<CallCounts> counts_;
  std::shared_ptr<CountingPlatform::Trigger> trigger_;
  bool closed_ = false;
};

}  // namespace

CountingPlatform::CountingPlatform(platform::Platform *target)
    : ForwardingPlatform(target != nullptr ? *target : platform::Os()),
      counts_(std::make_shared<CallCounts>()),
      trigger_(std::make_shared<Trigger>()),
      install_(*this) {}

void CountingPlatform::Arm(Fault fault, int64_t n) { *trigger_ = Trigger{fault, n, 0}; }

std::unique_ptr<platform::File> CountingPlatform::Wrap(std::unique_ptr<platform::File> file) {
  if (!file) return nullptr;
  return std::make_unique<CountingFile>(std::move(file), counts_, trigger_);
}

std::unique_ptr<platform::File> CountingPlatform::Open(const std::string &path, int32_t mode, int32_t *error) {
  ++counts_->open;
  return Wrap(ForwardingPlatform::Open(path, mode, error));
}

std::unique_ptr<platform::File> CountingPlatform::Create(const std::string &path) {
  ++counts_->create;
  return Wrap(ForwardingPlatform::Create(path));
}

std::unique_ptr<platform::File> CountingPlatform::OpenOrCreate(const std::string &path, int32_t *error) {
  ++counts_->open;
  return Wrap(ForwardingPlatform::OpenOrCreate(path, error));
}

bool CountingPlatform::Exists(const std::string &path) {
  ++counts_->exists;
  return ForwardingPlatform::Exists(path);
}

std::string CountingPlatform::ExistingName(const std::string &path) {
  ++counts_->existingName;
  return ForwardingPlatform::ExistingName(path);
}

bool CountingPlatform::Delete(const std::string &path) {
  ++counts_->remove;
  return ForwardingPlatform::Delete(path);
}

bool CountingPlatform::Rename(const std::string &from, const std::string &to) {
  ++counts_->rename;
  return ForwardingPlatform::Rename(from, to);
}

bool CountingPlatform::Copy(const std::string &from, const std::string &to) {
  ++counts_->copy;
  return ForwardingPlatform::Copy(from, to);
}

}  // namespace velmora::testing
