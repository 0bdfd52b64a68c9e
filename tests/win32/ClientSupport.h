// Helpers for the Windows test programs: counted checks with a summary,
// catching the library's structured exceptions, running with floating-point
// exceptions unmasked, and calling exports on a stack aligned to 4 bytes only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <type_traits>

namespace client {

// ---- checks --------------------------------------------------------------

// Counts and prints checks; every failure prints what was expected and what came.
class Checks {
 public:
  void Group(const char *name);
  bool True(bool ok, const std::string &what);
  bool Equal(int64_t actual, int64_t expected, const std::string &what);
  bool Text(const std::string &actual, const std::string &expected, const std::string &what);
  // Prints "<passed> passed, <failed> failed"; returns the exit code.
  int Summary(const char *program) const;
  int Failed() const { return failed_; }

 private:
  int passed_ = 0;
  int failed_ = 0;
};

// ---- structured exceptions -------------------------------------------------

// What a call raised, if anything.
struct Raised {
  bool raised = false;
  DWORD code = 0;
  DWORD flags = 0;
  DWORD parameterCount = 0;
  std::string message;    // parameter 0 of a library failure
  std::string className;  // parameter 1
  uint32_t ioCode = 0;    // parameter 2
};

// Installs the handlers used by Catching (call once at start-up).  An exception
// that escapes every Catching is reported and ends the process with code 3.
void InstallHandlers();

using Thunk = void (*)(void *);
Raised CallCatching(Thunk thunk, void *context);

// Runs f; if it raises the library's structured exception (or a processor
// exception such as a floating-point trap or an access violation), returns
// what was raised instead of letting it end the process.
template <class F>
Raised Catching(F &&f) {
  using Fn = std::remove_reference_t<F>;
  return CallCatching([](void *context) { (*static_cast<Fn *>(context))(); }, &f);
}

// Checks that the call raised the library's failure with this message and class.
bool ExpectFailure(Checks &checks, const Raised &raised, const std::string &message, const std::string &className,
                   const std::string &what);
// Checks that the call raised nothing.
bool ExpectNoFailure(Checks &checks, const Raised &raised, const std::string &what);

// ---- floating point ----------------------------------------------------------

// The caller's floating-point settings of a Pascal program: invalid operation,
// division by zero and overflow unmasked on x87 and on SSE.
constexpr uint16_t kUnmaskedControlWord = 0x1332;
constexpr uint32_t kUnmaskedMxcsr = 0x1900;

uint16_t ControlWord();
uint16_t StatusWord();
uint32_t Mxcsr();
void SetControlWord(uint16_t value);
void SetMxcsr(uint32_t value);
void ClearFloatFlags();

// Sets the unmasked settings for its lifetime and restores the previous ones after.
class UnmaskedFloat {
 public:
  UnmaskedFloat();
  ~UnmaskedFloat();
  UnmaskedFloat(const UnmaskedFloat &) = delete;
  UnmaskedFloat &operator=(const UnmaskedFloat &) = delete;

 private:
  uint16_t savedControl_;
  uint32_t savedMxcsr_;
};

// Checks that the settings are exactly the unmasked ones, with no flag raised.
void ExpectCallerFloatState(Checks &checks, const std::string &what);

// ---- calling conventions ---------------------------------------------------

// Calls a one-argument __stdcall function with the stack pointer at entry
// offset from the usual 16-byte alignment by residue (0, 4, 8 or 12 bytes),
// and returns EAX.  Also checks that the callee removed its argument.
uint32_t CallWithStackOffset(const void *function, uint32_t argument, int residue, bool *stackBalanced);

// A boolean argument slot with garbage in the upper 24 bits.
inline uint32_t GarbageBool(bool value) { return value ? 0xA5C3E701u : 0x5A3C7E00u; }

// ---- short strings -----------------------------------------------------------

struct ShortString {
  uint8_t bytes[256] = {};
  ShortString() = default;
  explicit ShortString(const std::string &text);
  std::string Text() const { return std::string(reinterpret_cast<const char *>(bytes) + 1, bytes[0]); }
};

// ---- memory and files ---------------------------------------------------------

// A buffer of exactly size bytes that ends where a PAGE_NOACCESS page begins,
// so that touching one byte past its end raises an access violation.
class GuardedBytes {
 public:
  explicit GuardedBytes(size_t size);
  ~GuardedBytes();
  GuardedBytes(const GuardedBytes &) = delete;
  GuardedBytes &operator=(const GuardedBytes &) = delete;
  uint8_t *data() const { return data_; }
  size_t size() const { return size_; }
  bool ok() const { return data_ != nullptr; }

 private:
  uint8_t *base_ = nullptr;
  uint8_t *data_ = nullptr;
  size_t size_ = 0;
};

// A short string input exactly length + 1 bytes long, directly before a guard page.
class TightText : public GuardedBytes {
 public:
  explicit TightText(const std::string &text);
};

// A key text array: 256-byte short strings, the last one cut to its length + 1
// bytes directly before a guard page.  No texts: a pointer to the guard page.
class TightKeys : public GuardedBytes {
 public:
  TightKeys(std::initializer_list<std::string> texts);
  int32_t high() const { return high_; }

 private:
  int32_t high_;
};

// A private folder under the Windows temporary folder, removed with its files.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder &) = delete;
  TempFolder &operator=(const TempFolder &) = delete;
  const std::string &Path() const { return path_; }
  // The path of a name inside the folder.
  std::string operator/(const std::string &name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// Size of a file in bytes, -1 when it does not exist.
int64_t FileSize(const std::string &path);
bool FileExists(const std::string &path);

}  // namespace client
