// The operating-system layer: the only code of the engine that touches files,
// locks, the locale or raw memory.  Everything above it talks to the abstract
// Platform, so tests can substitute a platform that injects faults, and the
// Linux and Win32 builds differ only in the implementation behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

namespace velmora::platform {

// The open-mode word: bits 0-1 give the access, bits 4-7 the sharing.
enum : int32_t {
  kAccessRead = 0,
  kAccessWrite = 1,
  kAccessReadWrite = 2,
  kShareCompat = 0,      // others may not open the file at all
  kShareExclusive = 16,  // others may not open the file at all
  kShareDenyWrite = 32,  // others may only read
  kShareDenyRead = 48,   // others may only write
  kShareDenyNone = 64,   // others may read and write
  // Data, index and newly created files: read and write, shared for both.
  kModeSharedReadWrite = kAccessReadWrite | kShareDenyNone,
};

// Error numbers used where the platform has none of its own.
enum : int32_t {
  kErrorReadBeyondEnd = 100,
  kErrorDiskFull = 101,
};

// An open file.  Offsets and sizes are in bytes.  Every failure the operating
// system reports raises velmora::EInOutError with its code; a read at or past
// the end of the file is not a failure and simply transfers fewer bytes.
class File {
 public:
  virtual ~File() = default;
  // A positive number identifying the open file (the schema file's handle).
  virtual int32_t Handle() const = 0;
  virtual int64_t Size() = 0;
  // Reads up to n bytes at offset; returns the number read (short at end of file).
  virtual size_t ReadAt(int64_t offset, void *buffer, size_t n) = 0;
  // Writes n bytes at offset, extending the file as needed; returns n, or
  // raises EInOutError ("Disk full" when the device is full).
  virtual size_t WriteAt(int64_t offset, const void *buffer, size_t n) = 0;
  virtual void Truncate(int64_t size) = 0;
  // Cross-process locks on lock slots: bytes far beyond any data that only
  // coordinate openers.  Slots first to first+count-1 are locked shared or
  // exclusive (or released with kUnlock); a lock belongs to this open file,
  // not to the process, so two opens in one process exclude each other like
  // two processes do, and a process that dies loses its locks.  Returns false
  // when another holder conflicts for longer than waitMs milliseconds; raises
  // EInOutError on any other failure.  A file system that keeps no locks
  // grants every request.
  enum class LockKind { kUnlock, kShared, kExclusive };
  virtual bool LockSlots(int32_t first, int32_t count, LockKind kind, int32_t waitMs) {
    (void)first, (void)count, (void)kind, (void)waitMs;
    return true;
  }
  // Maps the file's first `bytes` bytes, which it must already hold, into
  // memory shared with every other opener of the file: a store there is in
  // the file at once (as a write of those bytes would be) without a system
  // call, and it stays when the process stops.  The mapping lasts until the
  // file is closed; the file must not be cut below `bytes` meanwhile.  Returns
  // null where the platform offers no such mapping: the caller then reads and
  // writes the bytes.
  virtual uint8_t *MapHead(size_t bytes) {
    (void)bytes;
    return nullptr;
  }
  // Closes the file, raising EInOutError if the system reports a failure.
  // The destructor closes an open file silently.
  virtual void Close() = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Opens an existing file with an open-mode word, enforcing the sharing rules
  // between all openers (in this process and others).  On failure returns null
  // and stores the system's error code in *error (2 for a missing file, 5 or
  // EACCES for a sharing or access conflict).  Never creates the file.
  virtual std::unique_ptr<File> Open(const std::string &path, int32_t mode, int32_t *error) = 0;
  // Creates the file, replacing any existing one (matched without regard to
  // letter case), opened for reading and writing shared with other openers.
  // Raises EInOutError on failure.
  virtual std::unique_ptr<File> Create(const std::string &path) = 0;
  // Opens the file for reading and writing shared with other openers,
  // creating it empty when it does not exist (an existing file keeps its
  // bytes).  Returns null with the system's code in *error on failure.
  virtual std::unique_ptr<File> OpenOrCreate(const std::string &path, int32_t *error) {
    std::unique_ptr<File> file = Open(path, kModeSharedReadWrite, error);
    if (file || Exists(path)) return file;
    try {
      return Create(path);
    } catch (const std::exception &) {
      return nullptr;
    }
  }

  virtual bool Exists(const std::string &path) = 0;
  // The spelling under which the file exists (matched without regard to
  // letter case where names are case-sensitive), or path when none does.
  virtual std::string ExistingName(const std::string &path) { return path; }
  // Each returns false (never raises) when the operation fails.  A file that
  // anybody holds open is neither deleted nor renamed.
  virtual bool Delete(const std::string &path) = 0;
  // Renames, refusing a destination that exists under any spelling.
  virtual bool Rename(const std::string &from, const std::string &to) = 0;
  // Copies, refusing a destination that exists under any spelling.
  virtual bool Copy(const std::string &from, const std::string &to) = 0;

  // Locale-aware conversions; each raises velmora::EConvertError with the
  // message "'<text>' is not a valid floating point value", "... integer value"
  // or "... date and time".
  virtual double TextToFloat(const std::string &text) = 0;
  virtual int32_t TextToInt(const std::string &text) = 0;
  // Date (host short date order and separator) optionally followed by a time;
  // days since 30 December 1899 with the time of day as the fraction.
  virtual double TextToDateTime(const std::string &text) = 0;
  // Formatting, used to validate stored values; raises EConvertError for a
  // value that has no text form (a date-time outside the calendar).
  virtual std::string FloatToText(double value) = 0;
  virtual std::string DateTimeToText(double value) = 0;

  // Raw memory whose exhaustion can be handled: returns null on failure.
  virtual void *Allocate(size_t bytes) noexcept = 0;
  virtual void Release(void *block) noexcept = 0;
};

// The platform in use.  Tests may install their own (for example one that
// wraps the real platform and injects faults); passing null restores the
// built-in one.
Platform &Os();
void SetPlatform(Platform *platform);
// The built-in platform of this build.
Platform &NativePlatform();

// Message of the I/O error for a system error code: "File not found",
// "File access denied", "Read beyond end of file", "Disk full" or "I/O error <code>".
std::string IoErrorText(int32_t code);
// Raises velmora::EInOutError for the code with its message.
[[noreturn]] void RaiseIoError(int32_t code);

}  // namespace velmora::platform
