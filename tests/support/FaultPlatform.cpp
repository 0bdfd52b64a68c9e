#include "support/FaultPlatform.h"

#include <algorithm>
#include <cctype>

#include <velmora/velmora.hpp>

namespace velmora::testing {

namespace {

std::string Lower(std::string text) {
  for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool Matches(const std::string &path, const std::string &pattern) {
  return pattern.empty() || Lower(path).find(Lower(pattern)) != std::string::npos;
}

// A byte budget for transfers to matching files; armed when budget >= 0.
struct Budget {
  int64_t remaining = -1;
  std::string pattern;
  int32_t code = 0;
  bool Armed() const { return remaining >= 0; }
};

}  // namespace

struct FaultPlatform::State {
  Budget write;
  Budget read;
  std::string openPattern;
  int32_t openCode = 0;
  int openCount = 0;  // -1 always, 0 not armed
  std::string fileOpsPattern;
  bool fileOpsArmed = false;
  size_t allocationLimit = SIZE_MAX;
  int failNextAllocations = 0;
  int64_t bytesWritten = 0;
  int allocations = 0;
  int failedAllocations = 0;

  bool OpenFails(const std::string &path, int32_t *code) {
    if (openCount == 0 || !Matches(path, openPattern)) return false;
    if (openCount > 0) --openCount;
    *code = openCode;
    return true;
  }
};

namespace {

class FaultFile : public platform::ForwardingFile {
 public:
  FaultFile(std::unique_ptr<platform::File> inner, std::string path, std::shared_ptr<FaultPlatform::State> state)
      : ForwardingFile(std::move(inner)), path_(std::move(path)), state_(std::move(state)) {}

  size_t ReadAt(int64_t offset, void *buffer, size_t n) override {
    Budget &budget = state_->read;
    if (!budget.Armed() || !Matches(path_, budget.pattern)) return target().ReadAt(offset, buffer, n);
    if (static_cast<int64_t>(n) <= budget.remaining) {
      size_t got = target().ReadAt(offset, buffer, n);
      budget.remaining -= static_cast<int64_t>(got);
      return got;
    }
    size_t part = static_cast<size_t>(budget.remaining);
    if (part > 0) budget.remaining -= static_cast<int64_t>(target().ReadAt(offset, buffer, part));
    platform::RaiseIoError(budget.code);
  }

  size_t WriteAt(int64_t offset, const void *buffer, size_t n) override {
    Budget &budget = state_->write;
    if (budget.Armed() && Matches(path_, budget.pattern) && static_cast<int64_t>(n) > budget.remaining) {
      size_t part = static_cast<size_t>(budget.remaining);
      if (part > 0) {
        target().WriteAt(offset, buffer, part);
        state_->bytesWritten += static_cast<int64_t>(part);
      }
      budget.remaining = 0;
      platform::RaiseIoError(budget.code);
    }
    size_t put = target().WriteAt(offset, buffer, n);
    state_->bytesWritten += static_cast<int64_t>(put);
    if (budget.Armed() && Matches(path_, budget.pattern)) budget.remaining -= static_cast<int64_t>(put);
    return put;
  }

 private:
  std::string path_;
  std::shared_ptr<FaultPlatform::State> state_;
};

}  // namespace

FaultPlatform::FaultPlatform()
    : ForwardingPlatform(platform::NativePlatform()), state_(std::make_shared<State>()), install_(*this) {}

void FaultPlatform::Reset() {
  State &s = *state_;
  s.write = Budget{};
  s.read = Budget{};
  s.openCount = 0;
  s.fileOpsArmed = false;
  s.allocationLimit = SIZE_MAX;
  s.failNextAllocations = 0;
}

void FaultPlatform::DiskFullAfter(int64_t bytes, const std::string &pattern) {
  state_->write = Budget{std::max<int64_t>(bytes, 0), pattern, 28};
}

void FaultPlatform::ShortWriteAfter(int64_t bytes, const std::string &pattern) {
  state_->write = Budget{std::max<int64_t>(bytes, 0), pattern, platform::kErrorDiskFull};
}

void FaultPlatform::FailReadsAfter(int64_t bytes, const std::string &pattern, int32_t code) {
  state_->read = Budget{std::max<int64_t>(bytes, 0), pattern, code};
}

void FaultPlatform::FailOpens(const std::string &pattern, int32_t code, int count) {
  state_->openPattern = pattern;
  state_->openCode = code;
  state_->openCount = count < 0 ? -1 : count;
}

void FaultPlatform::FailFileOps(const std::string &pattern) {
  state_->fileOpsPattern = pattern;
  state_->fileOpsArmed = true;
}

void FaultPlatform::FailAllocationsAbove(size_t bytes) { state_->allocationLimit = bytes; }
void FaultPlatform::FailNextAllocations(int count) { state_->failNextAllocations = std::max(count, 0); }

int64_t FaultPlatform::BytesWritten() const { return state_->bytesWritten; }
int FaultPlatform::FailedAllocations() const { return state_->failedAllocations; }
int FaultPlatform::Allocations() const { return state_->allocations; }

std::unique_ptr<platform::File> FaultPlatform::Open(const std::string &path, int32_t mode, int32_t *error) {
  int32_t code = 0;
  if (state_->OpenFails(path, &code)) {
    if (error != nullptr) *error = code;
    return nullptr;
  }
  std::unique_ptr<platform::File> file = target().Open(path, mode, error);
  if (!file) return nullptr;
  return std::make_unique<FaultFile>(std::move(file), path, state_);
}

std::unique_ptr<platform::File> FaultPlatform::OpenOrCreate(const std::string &path, int32_t *error) {
  int32_t code = 0;
  if (state_->OpenFails(path, &code)) {
    if (error != nullptr) *error = code;
    return nullptr;
  }
  std::unique_ptr<platform::File> file = target().OpenOrCreate(path, error);
  if (!file) return nullptr;
  return std::make_unique<FaultFile>(std::move(file), path, state_);
}

std::unique_ptr<platform::File> FaultPlatform::Create(const std::string &path) {
  int32_t code = 0;
  if (state_->OpenFails(path, &code)) platform::RaiseIoError(code);
  return std::make_unique<FaultFile>(target().Create(path), path, state_);
}

bool FaultPlatform::Delete(const std::string &path) {
  if (state_->fileOpsArmed && Matches(path, state_->fileOpsPattern)) return false;
  return target().Delete(path);
}

bool FaultPlatform::Rename(const std::string &from, const std::string &to) {
  if (state_->fileOpsArmed && Matches(from, state_->fileOpsPattern)) return false;
  return target().Rename(from, to);
}

bool FaultPlatform::Copy(const std::string &from, const std::string &to) {
  if (state_->fileOpsArmed && Matches(from, state_->fileOpsPattern)) return false;
  return target().Copy(from, to);
}

void *FaultPlatform::Allocate(size_t bytes) noexcept {
  State &s = *state_;
  ++s.allocations;
  if (s.failNextAllocations > 0) {
    --s.failNextAllocations;
    ++s.failedAllocations;
    return nullptr;
  }
  if (bytes > s.allocationLimit) {
    ++s.failedAllocations;
    return nullptr;
  }
  return target().Allocate(bytes);
}

}  // namespace velmora::testing
