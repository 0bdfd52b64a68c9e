// The Linux platform.
//
// Sharing.  Each open carries an access (read, write, both) and a sharing
// mode (deny both, deny write, deny read, deny none), and an open that
// conflicts with a holder anywhere on the machine must fail, as it does on
// Windows.  The holders announce themselves with open-file-description locks
// on marker bytes far beyond any real data:
//   kGuard         taken around check-and-acquire so that two openers never
//                  both see "no conflict" and both get in;
//   kHasRead       shared lock held by every opener with read access;
//   kHasWrite      shared lock held by every opener with write access;
//   kDeniesRead    shared lock held by every opener that denies reading;
//   kDeniesWrite   shared lock held by every opener that denies writing.
// A newcomer takes the guard, takes its own markers, then asks (F_OFD_GETLK)
// whether anybody else holds a marker it conflicts with; on a conflict it
// drops everything and the open fails with EACCES.  Locks of an open file
// description belong to that description, not to the process, so two opens in
// one process conflict exactly as two processes do, and a process that dies
// releases its markers with its descriptors.  The guard is an exclusive lock
// when the lock descriptor is writable; an opener that may only read the file
// takes it shared, which still keeps it out of every exclusive holder's window
// and, against another shared holder, at worst makes both fail.  On a file
// system that keeps no locks at all, files open without sharing enforcement.
// A file that anybody holds open is neither deleted nor renamed, as on
// Windows.
//
// Names.  Files are matched on the last path component without regard to
// ASCII letter case: an exact match wins, then a case-insensitive one (the
// first in byte order when there are several), otherwise the name as given.
//
// Locale.  The decimal separator comes from localeconv() and the short date
// order and separator from nl_langinfo(D_FMT) of the current C library locale
// (the "C" locale gives '.', month/day/year and '/'); a format that names no
// recognisable day, month and year falls back to month/day/year with '/'.
#include <dirent.h>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <velmora/velmora.hpp>

#include "platform/LocaleConvert.h"
#include "platform/Platform.h"

namespace velmora::platform {
namespace {

constexpr off_t kMarkerBase = static_cast<off_t>(1) << 62;
constexpr off_t kGuard = kMarkerBase;
constexpr off_t kHasRead = kMarkerBase + 1;
constexpr off_t kHasWrite = kMarkerBase + 2;
constexpr off_t kDeniesRead = kMarkerBase + 3;
constexpr off_t kDeniesWrite = kMarkerBase + 4;
// The lock slots of LockSlots start here, clear of the sharing markers.
constexpr off_t kLockSlotBase = kMarkerBase + 64;

// How long an opener waits for another opener's guard (which is held only for
// the few system calls of a check-and-acquire) before giving up.
constexpr int kGuardAttempts = 2000;
constexpr long kGuardPauseNs = 1000000;  // 1 ms

int RetryOpen(const char *path, int flags, mode_t perms = 0) {
  int fd;
  do fd = ::open(path, flags | O_CLOEXEC, perms);
  while (fd < 0 && errno == EINTR);
  return fd;
}

void CloseQuietly(int fd) {
  if (fd >= 0) ::close(fd);
}

// ---- names ---------------------------------------------------------------

struct SplitName {
  std::string dir;   // with its trailing '/', empty for the current directory
  std::string base;  // last component
};

SplitName Split(const std::string &path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {"", path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// Byte-wise equality with the ASCII letters folded, whatever the locale.
bool SameIgnoringAsciiCase(const char *a, const std::string &b) {
  size_t i = 0;
  for (; a[i] != '\0'; ++i) {
    if (i >= b.size()) return false;
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return i == b.size();
}

// The path under which the file is found: the exact name when it exists,
// otherwise the one entry of its directory whose name equals the last
// component without regard to ASCII case, otherwise the path unchanged.
std::string Resolve(const std::string &path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) return path;
  SplitName name = Split(path);
  if (name.base.empty() || name.base == "." || name.base == "..") return path;
  DIR *dir = ::opendir(name.dir.empty() ? "." : name.dir.c_str());
  if (dir == nullptr) return path;
  std::string best;
  bool found = false;
  while (struct dirent *entry = ::readdir(dir)) {
    if (!SameIgnoringAsciiCase(entry->d_name, name.base)) continue;
    if (!found || std::strcmp(entry->d_name, best.c_str()) < 0) best = entry->d_name;
    found = true;
  }
  ::closedir(dir);
  return found ? name.dir + best : path;
}

// ---- sharing locks -------------------------------------------------------

bool SetLock(int fd, short type, off_t offset) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = offset;
  lock.l_len = 1;
  lock.l_pid = 0;
  int rc;
  do rc = ::fcntl(fd, F_OFD_SETLK, &lock);
  while (rc != 0 && errno == EINTR);
  return rc == 0;
}

// Whether an open file description other than fd's holds a lock on the byte.
// A failing query counts as held, so that a doubtful open fails safely.
bool HeldByOthers(int fd, off_t offset) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = offset;
  lock.l_len = 1;
  lock.l_pid = 0;
  if (::fcntl(fd, F_OFD_GETLK, &lock) != 0) return true;
  return lock.l_type != F_UNLCK;
}

struct ShareRequest {
  bool read = false, write = false;
  bool denyRead = false, denyWrite = false;
};

// Decodes an open-mode word; false for an invalid one.
bool DecodeMode(int32_t mode, ShareRequest *request) {
  if ((mode & ~0xF3) != 0) return false;
  int access = mode & 3;
  int sharing = mode & 0xF0;
  if (access == 3 || sharing > kShareDenyNone) return false;
  request->read = access == kAccessRead || access == kAccessReadWrite;
  request->write = access == kAccessWrite || access == kAccessReadWrite;
  request->denyRead = sharing == kShareCompat || sharing == kShareExclusive || sharing == kShareDenyRead;
  request->denyWrite = sharing == kShareCompat || sharing == kShareExclusive || sharing == kShareDenyWrite;
  return true;
}

// Codes with which a file system says it keeps no locks at all.
bool LocksUnsupported(int code) { return code == ENOLCK || code == EOPNOTSUPP || code == ENOSYS || code == EINVAL; }

enum class Guard { kTaken, kBusy, kUnsupported };

Guard TakeGuard(int lockFd, bool writable) {
  struct timespec pause {
    0, kGuardPauseNs
  };
  for (int attempt = 0; attempt < kGuardAttempts; ++attempt) {
    if (SetLock(lockFd, writable ? F_WRLCK : F_RDLCK, kGuard)) return Guard::kTaken;
    if (LocksUnsupported(errno)) return Guard::kUnsupported;
    if (errno != EAGAIN && errno != EACCES) return Guard::kBusy;
    ::nanosleep(&pause, nullptr);
  }
  return Guard::kBusy;
}

// Registers the request on lockFd's open file description; returns 0 or the
// error code (EACCES for a sharing conflict).
int AcquireSharing(int lockFd, bool writable, const ShareRequest &request) {
  switch (TakeGuard(lockFd, writable)) {
    case Guard::kTaken: break;
    case Guard::kBusy: return EACCES;
    // A file system without locks (some network and user-space ones) cannot
    // enforce sharing; its files are still usable, as they are elsewhere.
    case Guard::kUnsupported: return 0;
  }
  int result = 0;
  const struct {
    bool mine;
    off_t marker;
  } markers[] = {{request.read, kHasRead},
                 {request.write, kHasWrite},
                 {request.denyRead, kDeniesRead},
                 {request.denyWrite, kDeniesWrite}};
  for (const auto &m : markers) {
    if (m.mine && !SetLock(lockFd, F_RDLCK, m.marker)) {
      result = errno == EAGAIN ? EACCES : errno;
      break;
    }
  }
  if (result == 0) {
    const bool conflict =
        (request.read && HeldByOthers(lockFd, kDeniesRead)) || (request.write && HeldByOthers(lockFd, kDeniesWrite)) ||
        (request.denyRead && HeldByOthers(lockFd, kHasRead)) || (request.denyWrite && HeldByOthers(lockFd, kHasWrite));
    if (conflict) result = EACCES;
  }
  if (result != 0) {
    for (const auto &m : markers)
      if (m.mine) SetLock(lockFd, F_UNLCK, m.marker);
  }
  SetLock(lockFd, F_UNLCK, kGuard);
  return result;
}

// Whether anybody holds the file open through this platform.
bool InUse(const std::string &path) {
  int fd = RetryOpen(path.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0) return false;
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = kGuard;
  probe.l_len = 1;
  if (::fcntl(fd, F_OFD_GETLK, &probe) != 0 && LocksUnsupported(errno)) {
    ::close(fd);
    return false;  // nobody can have registered
  }
  bool used = HeldByOthers(fd, kHasRead) || HeldByOthers(fd, kHasWrite) || HeldByOthers(fd, kDeniesRead) ||
              HeldByOthers(fd, kDeniesWrite);
  ::close(fd);
  return used;
}

// ---- files ---------------------------------------------------------------

std::atomic<int32_t> nextHandle{1};

int32_t NewHandle() {
  int32_t handle = nextHandle.fetch_add(1);
  if (handle <= 0) {
    // After two thousand million opens start again at 1.
    nextHandle.store(2);
    handle = 1;
  }
  return handle;
}

class PosixFile : public File {
 public:
  // fd carries the data, lockFd (which may be fd itself) the sharing markers.
  PosixFile(int fd, int lockFd, bool canRead, bool canWrite)
      : fd_(fd), lockFd_(lockFd), canRead_(canRead), canWrite_(canWrite), handle_(NewHandle()) {}
  ~PosixFile() override { Release(); }

  int32_t Handle() const override { return handle_; }

  int64_t Size() override {
    struct stat st;
    if (::fstat(Fd(), &st) != 0) RaiseIoError(errno);
    return st.st_size;
  }

  size_t ReadAt(int64_t offset, void *buffer, size_t n) override {
    int fd = Fd();
    if (offset < 0) RaiseIoError(EINVAL);
    if (!canRead_) RaiseIoError(EBADF);
    size_t done = 0;
    auto *bytes = static_cast<char *>(buffer);
    while (done < n) {
      ssize_t got = ::pread(fd, bytes + done, n - done, static_cast<off_t>(offset + done));
      if (got < 0) {
        if (errno == EINTR) continue;
        RaiseIoError(errno);
      }
      if (got == 0) break;  // end of file
      done += static_cast<size_t>(got);
    }
    return done;
  }

  size_t WriteAt(int64_t offset, const void *buffer, size_t n) override {
    int fd = Fd();
    if (offset < 0 || n > static_cast<size_t>(INT64_MAX - offset)) RaiseIoError(EINVAL);
    if (!canWrite_) RaiseIoError(EBADF);
    size_t done = 0;
    auto *bytes = static_cast<const char *>(buffer);
    while (done < n) {
      ssize_t put = ::pwrite(fd, bytes + done, n - done, static_cast<off_t>(offset + done));
      if (put < 0) {
        if (errno == EINTR) continue;
        RaiseIoError(errno);
      }
      // No progress and no reason given: the device has no room.
      if (put == 0) RaiseIoError(kErrorDiskFull);
      done += static_cast<size_t>(put);
    }
    return done;
  }

  void Truncate(int64_t size) override {
    int fd = Fd();
    if (size < 0) RaiseIoError(EINVAL);
    if (!canWrite_) RaiseIoError(EBADF);
    int rc;
    do rc = ::ftruncate(fd, size);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) RaiseIoError(errno);
  }

  bool LockSlots(int32_t first, int32_t count, LockKind kind, int32_t waitMs) override {
    int fd = Fd();
    if (first < 0 || count <= 0) RaiseIoError(EINVAL);
    struct flock lock {};
    lock.l_type = kind == LockKind::kUnlock ? F_UNLCK : kind == LockKind::kShared ? F_RDLCK : F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = kLockSlotBase + first;
    lock.l_len = count;
    struct timespec pause {
      0, kGuardPauseNs
    };
    for (int32_t waited = 0;; ++waited) {
      if (::fcntl(fd, F_OFD_SETLK, &lock) == 0) return true;
      if (errno == EINTR) continue;
      if (LocksUnsupported(errno)) return true;
      if (errno != EAGAIN && errno != EACCES) RaiseIoError(errno);
      if (waited >= waitMs) return false;
      ::nanosleep(&pause, nullptr);
    }
  }

  uint8_t *MapHead(size_t bytes) override {
    const int fd = fd_;
    if (fd < 0 || !canRead_ || !canWrite_ || bytes == 0) return nullptr;
    if (head_ != nullptr) return bytes <= headBytes_ ? static_cast<uint8_t *>(head_) : nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(bytes)) return nullptr;
    void *at = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    // A file system that cannot map files shared leaves the caller to write.
    if (at == MAP_FAILED) return nullptr;
    head_ = at;
    headBytes_ = bytes;
    return static_cast<uint8_t *>(head_);
  }

  void Close() override {
    if (fd_ < 0) return;
    Unmap();
    int lockFd = lockFd_;
    int fd = fd_;
    fd_ = lockFd_ = -1;
    int error = 0;
    if (::close(fd) != 0 && errno != EINTR) error = errno;
    if (lockFd != fd) CloseQuietly(lockFd);
    if (error != 0) RaiseIoError(error);
  }

 private:
  int Fd() const {
    if (fd_ < 0) RaiseIoError(EBADF);
    return fd_;
  }
  void Unmap() {
    if (head_ != nullptr) ::munmap(head_, headBytes_);
    head_ = nullptr;
    headBytes_ = 0;
  }
  void Release() {
    Unmap();
    if (fd_ >= 0) ::close(fd_);
    if (lockFd_ >= 0 && lockFd_ != fd_) ::close(lockFd_);
    fd_ = lockFd_ = -1;
  }

  int fd_;
  int lockFd_;
  bool canRead_;
  bool canWrite_;
  int32_t handle_;
  void *head_ = nullptr;  // the mapped head of the file, if any
  size_t headBytes_ = 0;
};

// Opens a second description of the file behind fd to carry the sharing
// markers: writable when permitted, so that its guard can be exclusive.
int OpenLockDescriptor(int fd, const std::string &path, bool *writable) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  struct stat want;
  if (::fstat(fd, &want) != 0) return -1;
  for (int flags : {O_RDWR, O_RDONLY}) {
    int lockFd = RetryOpen(self.c_str(), flags | O_NOCTTY);
    if (lockFd < 0 && errno == ENOENT) lockFd = RetryOpen(path.c_str(), flags | O_NOCTTY);
    if (lockFd < 0) continue;
    struct stat got;
    if (::fstat(lockFd, &got) == 0 && got.st_dev == want.st_dev && got.st_ino == want.st_ino) {
      *writable = flags == O_RDWR;
      return lockFd;
    }
    ::close(lockFd);
    errno = EACCES;  // the name now leads to another file
    return -1;
  }
  return -1;
}

// Wraps an open descriptor with the sharing request; on failure closes it
// and returns null with the code in *error.
std::unique_ptr<File> Share(int fd, const std::string &path, const ShareRequest &request, int accessFlags,
                            int32_t *error) {
  bool writable = accessFlags == O_RDWR;
  int lockFd = fd;
  if (!writable) {
    lockFd = OpenLockDescriptor(fd, path, &writable);
    if (lockFd < 0) {
      // A file this process may only write cannot carry shared markers.
      *error = errno == ENOENT ? ENOENT : EACCES;
      ::close(fd);
      return nullptr;
    }
  }
  int rc = AcquireSharing(lockFd, writable, request);
  if (rc != 0) {
    *error = rc;
    if (lockFd != fd) ::close(lockFd);
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixFile>(fd, lockFd, request.read, request.write);
}

// ---- locale --------------------------------------------------------------

convert::LocaleFormat CurrentLocaleFormat() {
  const struct lconv *lc = ::localeconv();
  return convert::FormatFromPatterns(lc != nullptr ? lc->decimal_point : nullptr, ::nl_langinfo(D_FMT),
                                     ::nl_langinfo(T_FMT));
}

// 0 for a regular file, otherwise the code its open fails with.
int RegularFileCheck(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (!S_ISREG(st.st_mode)) return EACCES;
  return 0;
}

// ---- the platform --------------------------------------------------------

class PosixPlatform : public Platform {
 public:
  std::unique_ptr<File> Open(const std::string &path, int32_t mode, int32_t *error) override {
    int32_t ignored = 0;
    if (error == nullptr) error = &ignored;
    ShareRequest request;
    if (!DecodeMode(mode, &request)) {
      *error = EINVAL;
      return nullptr;
    }
    const int accessFlags = request.read && request.write ? O_RDWR : request.write ? O_WRONLY : O_RDONLY;
    const std::string name = Resolve(path);
    // Non-blocking so that a pipe or device name cannot hang the open; only
    // regular files are accepted.
    int fd = RetryOpen(name.c_str(), accessFlags | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
      *error = errno;
      return nullptr;
    }
    if (int code = RegularFileCheck(fd); code != 0) {
      *error = code;
      ::close(fd);
      return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return Share(fd, name, request, accessFlags, error);
  }

  std::unique_ptr<File> Create(const std::string &path) override {
    const std::string name = Resolve(path);
    int fd = RetryOpen(name.c_str(), O_RDWR | O_CREAT | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) RaiseIoError(errno);
    if (int code = RegularFileCheck(fd); code != 0) {
      ::close(fd);
      RaiseIoError(code);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    ShareRequest request;
    DecodeMode(kModeSharedReadWrite, &request);
    int32_t error = 0;
    // Replacing a file that another opener holds against writing is refused
    // before anything is cut.
    std::unique_ptr<File> file = Share(fd, name, request, O_RDWR, &error);
    if (!file) RaiseIoError(error);
    file->Truncate(0);
    return file;
  }

  std::unique_ptr<File> OpenOrCreate(const std::string &path, int32_t *error) override {
    int32_t ignored = 0;
    if (error == nullptr) error = &ignored;
    const std::string name = Resolve(path);
    // Never truncates: a file another opener just created keeps its bytes.
    int fd = RetryOpen(name.c_str(), O_RDWR | O_CREAT | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) {
      *error = errno;
      return nullptr;
    }
    if (int code = RegularFileCheck(fd); code != 0) {
      *error = code;
      ::close(fd);
      return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    ShareRequest request;
    DecodeMode(kModeSharedReadWrite, &request);
    return Share(fd, name, request, O_RDWR, error);
  }

  std::string ExistingName(const std::string &path) override { return Resolve(path); }

  bool Exists(const std::string &path) override {
    struct stat st;
    return ::stat(Resolve(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
  }

  // A file that somebody holds open is not deleted (nor renamed), as on
  // Windows: its holders would go on working on a file that is gone.
  bool Delete(const std::string &path) override {
    const std::string name = Resolve(path);
    struct stat st;
    if (::lstat(name.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if (InUse(name)) return false;
    return ::unlink(name.c_str()) == 0;
  }

  bool Rename(const std::string &from, const std::string &to) override {
    const std::string source = Resolve(from);
    struct stat sourceStat;
    if (::lstat(source.c_str(), &sourceStat) != 0 || S_ISDIR(sourceStat.st_mode)) return false;
    const std::string target = Resolve(to);
    struct stat targetStat;
    if (::lstat(target.c_str(), &targetStat) == 0) {
      // Only a change of letter case of the file itself may meet "itself".
      const bool sameFile = targetStat.st_dev == sourceStat.st_dev && targetStat.st_ino == sourceStat.st_ino &&
                            Split(source).dir == Split(to).dir && source != to;
      if (!sameFile) return false;
      if (InUse(source)) return false;
      return ::rename(source.c_str(), to.c_str()) == 0;
    }
    if (InUse(source)) return false;
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // The file system cannot rename without replacing: link and unlink.
    if (::link(source.c_str(), to.c_str()) != 0) return false;
    if (::unlink(source.c_str()) != 0) {
      ::unlink(to.c_str());
      return false;
    }
    return true;
  }

  bool Copy(const std::string &from, const std::string &to) override {
    if (Exists(to) || Resolve(to) != to) return false;
    int32_t error = 0;
    std::unique_ptr<File> source = Open(from, kAccessRead | kShareDenyNone, &error);
    if (!source) return false;
    int out = RetryOpen(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY, 0666);
    if (out < 0) return false;
    bool ok = true;
    try {
      std::vector<char> buffer(1 << 16);
      int64_t offset = 0;
      for (;;) {
        size_t got = source->ReadAt(offset, buffer.data(), buffer.size());
        if (got == 0) break;
        size_t done = 0;
        while (done < got) {
          ssize_t put = ::write(out, buffer.data() + done, got - done);
          if (put < 0 && errno == EINTR) continue;
          if (put <= 0) throw EInOutError(IoErrorText(kErrorDiskFull), kErrorDiskFull);
          done += static_cast<size_t>(put);
        }
        offset += static_cast<int64_t>(got);
      }
    } catch (const Exception &) {
      ok = false;
    }
    if (::close(out) != 0) ok = false;
    if (!ok) ::unlink(to.c_str());
    return ok;
  }

  double TextToFloat(const std::string &text) override { return convert::TextToFloat(text, CurrentLocaleFormat()); }
  int32_t TextToInt(const std::string &text) override { return convert::TextToInt(text); }
  double TextToDateTime(const std::string &text) override {
    return convert::TextToDateTime(text, CurrentLocaleFormat());
  }
  std::string FloatToText(double value) override { return convert::FloatToText(value, CurrentLocaleFormat()); }
  std::string DateTimeToText(double value) override { return convert::DateTimeToText(value, CurrentLocaleFormat()); }

  void *Allocate(size_t bytes) noexcept override { return std::malloc(bytes == 0 ? 1 : bytes); }
  void Release(void *block) noexcept override { std::free(block); }
};

}  // namespace

Platform &NativePlatform() {
  static PosixPlatform platform;
  return platform;
}

}  // namespace velmora::platform
