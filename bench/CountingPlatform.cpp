#include "CountingPlatform.h"

namespace bench {

namespace platform = velmora::platform;

namespace {

class CountingFile : public platform::File {
 public:
  CountingFile(std::unique_ptr<platform::File> inner, std::shared_ptr<CallCounts> counts)
      : inner_(std::move(inner)), counts_(std::move(counts)) {}

  int32_t Handle() const override { return inner_->Handle(); }
  int64_t Size() override {
    ++counts_->size;
    return inner_->Size();
  }
  size_t ReadAt(int64_t offset, void *buffer, size_t n) override {
    ++counts_->read;
    size_t got = inner_->ReadAt(offset, buffer, n);
    counts_->bytesRead += static_cast<int64_t>(got);
    return got;
  }
  size_t WriteAt(int64_t offset, const void *buffer, size_t n) override {
    ++counts_->write;
    size_t put = inner_->WriteAt(offset, buffer, n);
    counts_->bytesWritten += static_cast<int64_t>(put);
    return put;
  }
  void Truncate(int64_t size) override {
    ++counts_->truncate;
    inner_->Truncate(size);
  }
  bool LockSlots(int32_t first, int32_t count, LockKind kind, int32_t waitMs) override {
    ++counts_->lock;
    return inner_->LockSlots(first, count, kind, waitMs);
  }
  void Close() override {
    if (!closed_) ++counts_->close;
    closed_ = true;
    inner_->Close();
  }
  ~CountingFile() override {
    // A file dropped without Close is closed by its own destructor.
    if (!closed_) ++counts_->close;
  }

 private:
  std::unique_ptr<platform::File> inner_;
  std::shared_ptr<CallCounts> counts_;
  bool closed_ = false;
};

}  // namespace

namespace {

// The installed platform, or null when the built-in one is in use.
platform::Platform *Installed() {
  platform::Platform *current = &platform::Os();
  return current == &platform::NativePlatform() ? nullptr : current;
}

}  // namespace

CountingPlatform::CountingPlatform(platform::Platform *inner)
    : inner_(inner != nullptr ? *inner : platform::Os()),
      previous_(Installed()),
      counts_(std::make_shared<CallCounts>()) {
  platform::SetPlatform(this);
}

CountingPlatform::~CountingPlatform() { platform::SetPlatform(previous_); }

std::unique_ptr<platform::File> CountingPlatform::Open(const std::string &path, int32_t mode, int32_t *error) {
  ++counts_->open;
  std::unique_ptr<platform::File> file = inner_.Open(path, mode, error);
  if (!file) return nullptr;
  return std::make_unique<CountingFile>(std::move(file), counts_);
}

std::unique_ptr<platform::File> CountingPlatform::Create(const std::string &path) {
  ++counts_->create;
  return std::make_unique<CountingFile>(inner_.Create(path), counts_);
}

std::unique_ptr<platform::File> CountingPlatform::OpenOrCreate(const std::string &path, int32_t *error) {
  ++counts_->open;
  std::unique_ptr<platform::File> file = inner_.OpenOrCreate(path, error);
  if (!file) return nullptr;
  return std::make_unique<CountingFile>(std::move(file), counts_);
}

bool CountingPlatform::Exists(const std::string &path) {
  ++counts_->exists;
  return inner_.Exists(path);
}

std::string CountingPlatform::ExistingName(const std::string &path) {
  ++counts_->existingName;
  return inner_.ExistingName(path);
}

bool CountingPlatform::Delete(const std::string &path) {
  ++counts_->remove;
  return inner_.Delete(path);
}

bool CountingPlatform::Rename(const std::string &from, const std::string &to) {
  ++counts_->rename;
  return inner_.Rename(from, to);
}

bool CountingPlatform::Copy(const std::string &from, const std::string &to) {
  ++counts_->copy;
  return inner_.Copy(from, to);
}

}  // namespace bench
