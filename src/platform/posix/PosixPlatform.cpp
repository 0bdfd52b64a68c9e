// Placeholder Linux platform: plain files, no sharing enforcement yet.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <velmora/velmora.hpp>

#include "platform/Platform.h"

namespace velmora::platform {
namespace {

class PosixFile : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  int32_t Handle() const override { return fd_; }
  int64_t Size() override {
    off_t end = ::lseek(fd_, 0, SEEK_END);
    if (end < 0) RaiseIoError(errno);
    return end;
  }
  size_t ReadAt(int64_t offset, void *buffer, size_t n) override {
    ssize_t got = ::pread(fd_, buffer, n, offset);
    if (got < 0) RaiseIoError(errno);
    return static_cast<size_t>(got);
  }
  size_t WriteAt(int64_t offset, const void *buffer, size_t n) override {
    ssize_t put = ::pwrite(fd_, buffer, n, offset);
    if (put < 0) RaiseIoError(errno);
    return static_cast<size_t>(put);
  }
  void Truncate(int64_t size) override {
    if (::ftruncate(fd_, size) != 0) RaiseIoError(errno);
  }
  void Close() override {
    int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0) RaiseIoError(errno);
  }

 private:
  int fd_;
};

class PosixPlatform : public Platform {
 public:
  std::unique_ptr<File> Open(const std::string &path, int32_t mode, int32_t *error) override {
    int access = mode & 3;
    int flags = access == 0 ? O_RDONLY : access == 1 ? O_WRONLY : O_RDWR;
    int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) {
      if (error) *error = errno;
      return nullptr;
    }
    return std::make_unique<PosixFile>(fd);
  }
  std::unique_ptr<File> Create(const std::string &path) override {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) RaiseIoError(errno);
    return std::make_unique<PosixFile>(fd);
  }
  bool Exists(const std::string &path) override { return ::access(path.c_str(), F_OK) == 0; }
  bool Delete(const std::string &path) override { return ::unlink(path.c_str()) == 0; }
  bool Rename(const std::string &from, const std::string &to) override {
    if (Exists(to)) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
  }
  bool Copy(const std::string &, const std::string &) override { return false; }
  double TextToFloat(const std::string &text) override { return std::strtod(text.c_str(), nullptr); }
  int32_t TextToInt(const std::string &text) override {
    return static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10));
  }
  double TextToDateTime(const std::string &) override { return 0; }
  std::string FloatToText(double value) override { return std::to_string(value); }
  std::string DateTimeToText(double value) override { return std::to_string(value); }
  void *Allocate(size_t bytes) noexcept override { return std::malloc(bytes); }
  void Release(void *block) noexcept override { std::free(block); }
};

}  // namespace

Platform &NativePlatform() {
  static PosixPlatform platform;
  return platform;
}

}  // namespace velmora::platform
