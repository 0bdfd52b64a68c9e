// The Win32 platform: files through the Windows file API with the sharing
// rules of the open-mode word enforced by the system, error numbers as Windows
// error codes, and number and date texts read with the user's regional
// settings.
#include <windows.h>

#include <velmora/velmora.hpp>

#include "platform/LocaleConvert.h"
#include "platform/Platform.h"

namespace velmora::platform {
namespace {

int32_t LastError() { return static_cast<int32_t>(GetLastError()); }

// Access and sharing flags of an open-mode word; false for a word that names
// no defined access or sharing.
bool ModeFlags(int32_t mode, DWORD *access, DWORD *share) {
  switch (mode & 3) {
    case kAccessRead: *access = GENERIC_READ; break;
    case kAccessWrite: *access = GENERIC_WRITE; break;
    case kAccessReadWrite: *access = GENERIC_READ | GENERIC_WRITE; break;
    default: return false;
  }
  switch (mode & 0xF0) {
    case kShareCompat:
    case kShareExclusive: *share = 0; break;
    case kShareDenyWrite: *share = FILE_SHARE_READ; break;
    case kShareDenyRead: *share = FILE_SHARE_WRITE; break;
    case kShareDenyNone: *share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    default: return false;
  }
  return (mode & ~0xF3) == 0;
}

OVERLAPPED At(int64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  return at;
}

// Keeps File's MapHead (no mapping): Windows refuses to cut a file that has a
// mapped view, and the journal file is cut after every journaled change.
class Win32File : public File {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}
  ~Win32File() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }

  int32_t Handle() const override { return static_cast<int32_t>(reinterpret_cast<intptr_t>(handle_)); }

  int64_t Size() override {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(Require(), &size)) RaiseIoError(LastError());
    return size.QuadPart;
  }

  size_t ReadAt(int64_t offset, void *buffer, size_t n) override {
    auto *bytes = static_cast<char *>(buffer);
    size_t done = 0;
    while (done < n) {
      OVERLAPPED at = At(offset + static_cast<int64_t>(done));
      DWORD wanted = static_cast<DWORD>(n - done);
      DWORD got = 0;
      if (!ReadFile(Require(), bytes + done, wanted, &got, &at)) {
        // Reading at or past the end transfers nothing; that is not a failure.
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        RaiseIoError(LastError());
      }
      done += got;
      if (got < wanted) break;  // stopped at the end of the file
    }
    return done;
  }

  size_t WriteAt(int64_t offset, const void *buffer, size_t n) override {
    const auto *bytes = static_cast<const char *>(buffer);
    size_t done = 0;
    while (done < n) {
      OVERLAPPED at = At(offset + static_cast<int64_t>(done));
      DWORD put = 0;
      if (!WriteFile(Require(), bytes + done, static_cast<DWORD>(n - done), &put, &at)) RaiseIoError(LastError());
      // A write the system accepts only in part has run out of space.
      if (put == 0) RaiseIoError(kErrorDiskFull);
      done += put;
    }
    return n;
  }

  void Truncate(int64_t size) override {
    LARGE_INTEGER to;
    to.QuadPart = size;
    if (!SetFilePointerEx(Require(), to, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_)) RaiseIoError(LastError());
  }

  bool LockSlots(int32_t first, int32_t count, LockKind kind, int32_t waitMs) override {
    if (first < 0 || count <= 0) RaiseIoError(ERROR_INVALID_PARAMETER);
    const int64_t base = (static_cast<int64_t>(1) << 62) + 64 + first;
    if (kind == LockKind::kUnlock) {
      // The system releases only ranges exactly as they were locked: every
      // slot was locked on its own.
      for (int32_t i = 0; i < count; ++i) {
        OVERLAPPED at = At(base + i);
        UnlockFileEx(Require(), 0, 1, 0, &at);
      }
      return true;
    }
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (kind == LockKind::kExclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    for (int32_t i = 0; i < count; ++i) {
      for (int32_t waited = 0;; ++waited) {
        OVERLAPPED at = At(base + i);
        if (LockFileEx(Require(), flags, 0, 1, 0, &at)) break;
        DWORD code = GetLastError();
        if (code != ERROR_LOCK_VIOLATION && code != ERROR_IO_PENDING) RaiseIoError(static_cast<int32_t>(code));
        if (waited >= waitMs) {
          for (int32_t j = 0; j < i; ++j) {
            OVERLAPPED held = At(base + j);
            UnlockFileEx(handle_, 0, 1, 0, &held);
          }
          return false;
        }
        Sleep(1);
      }
    }
    return true;
  }

  void Close() override {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (handle != INVALID_HANDLE_VALUE && !CloseHandle(handle)) RaiseIoError(LastError());
  }

 private:
  HANDLE Require() {
    if (handle_ == INVALID_HANDLE_VALUE) RaiseIoError(ERROR_INVALID_HANDLE);
    return handle_;
  }

  HANDLE handle_;
};

// One item of the user's regional settings, or empty if the system has none.
std::string LocaleItem(LCTYPE item) {
  char text[80] = {};
  int length = GetLocaleInfoA(LOCALE_USER_DEFAULT, item, text, sizeof text);
  return length > 1 ? std::string(text, static_cast<size_t>(length - 1)) : std::string();
}

// The decimal separator, the short date order and separator and the time
// separator of the user's regional settings.  The order and the separator are
// read from the short date pattern ("dd.MM.yyyy", "M/d/yyyy", "yyyy-MM-dd"):
// the first of the letters d, M and y gives the order, the first character
// that is none of them the separator.
convert::LocaleFormat CurrentFormat() {
  convert::LocaleFormat format;
  std::string decimal = LocaleItem(LOCALE_SDECIMAL);
  if (!decimal.empty()) format.decimalSeparator = decimal[0];
  std::string time = LocaleItem(LOCALE_STIME);
  if (!time.empty()) format.timeSeparator = time[0];
  std::string separator = LocaleItem(LOCALE_SDATE);
  if (!separator.empty()) format.dateSeparator = separator[0];

  std::string pattern = LocaleItem(LOCALE_SSHORTDATE);
  bool orderFound = false;
  bool separatorFound = false;
  bool quoted = false;
  for (char c : pattern) {
    if (c == '\'') {
      quoted = !quoted;
      continue;
    }
    if (quoted) continue;
    bool letter = c == 'd' || c == 'M' || c == 'y' || c == 'g';
    if (!orderFound && (c == 'd' || c == 'M' || c == 'y')) {
      format.dateOrder = c == 'd'   ? convert::DateOrder::kDayMonthYear
                         : c == 'M' ? convert::DateOrder::kMonthDayYear
                                    : convert::DateOrder::kYearMonthDay;
      orderFound = true;
    } else if (orderFound && !separatorFound && !letter && c != ' ') {
      format.dateSeparator = c;
      separatorFound = true;
    }
  }
  return format;
}

class Win32Platform : public Platform {
 public:
  std::unique_ptr<File> Open(const std::string &path, int32_t mode, int32_t *error) override {
    DWORD access = 0;
    DWORD share = 0;
    if (!ModeFlags(mode, &access, &share)) {
      if (error) *error = ERROR_INVALID_ACCESS;
      return nullptr;
    }
    HANDLE handle = CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (error) *error = LastError();
      return nullptr;
    }
    return std::make_unique<Win32File>(handle);
  }

  std::unique_ptr<File> Create(const std::string &path) override {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) RaiseIoError(LastError());
    return std::make_unique<Win32File>(handle);
  }

  std::unique_ptr<File> OpenOrCreate(const std::string &path, int32_t *error) override {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (error) *error = LastError();
      return nullptr;
    }
    return std::make_unique<Win32File>(handle);
  }

  // The file system matches names without regard to letter case itself.
  bool Exists(const std::string &path) override { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
  bool Delete(const std::string &path) override { return DeleteFileA(path.c_str()) != 0; }
  bool Rename(const std::string &from, const std::string &to) override {
    // MoveFileA refuses an existing destination.
    return MoveFileA(from.c_str(), to.c_str()) != 0;
  }
  bool Copy(const std::string &from, const std::string &to) override {
    return CopyFileA(from.c_str(), to.c_str(), TRUE) != 0;
  }

  double TextToFloat(const std::string &text) override { return convert::TextToFloat(text, CurrentFormat()); }
  int32_t TextToInt(const std::string &text) override { return convert::TextToInt(text); }
  double TextToDateTime(const std::string &text) override { return convert::TextToDateTime(text, CurrentFormat()); }
  std::string FloatToText(double value) override { return convert::FloatToText(value, CurrentFormat()); }
  std::string DateTimeToText(double value) override { return convert::DateTimeToText(value, CurrentFormat()); }

  void *Allocate(size_t bytes) noexcept override { return HeapAlloc(GetProcessHeap(), 0, bytes == 0 ? 1 : bytes); }
  void Release(void *block) noexcept override {
    if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
  }
};

}  // namespace

Platform &NativePlatform() {
  static Win32Platform platform;
  return platform;
}

}  // namespace velmora::platform
