#include "ClientSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <velmora/velmora.h>

namespace client {

// ---- checks --------------------------------------------------------------

void Checks::Group(const char *name) { std::printf("-- %s\n", name); }

bool Checks::True(bool ok, const std::string &what) {
  if (ok) {
    ++passed_;
  } else {
    ++failed_;
    std::printf("FAILED: %s\n", what.c_str());
  }
  return ok;
}

bool Checks::Equal(int64_t actual, int64_t expected, const std::string &what) {
  bool ok = actual == expected;
  if (!ok) std::printf("  expected %lld, got %lld\n", static_cast<long long>(expected), static_cast<long long>(actual));
  return True(ok, what);
}

bool Checks::Text(const std::string &actual, const std::string &expected, const std::string &what) {
  bool ok = actual == expected;
  if (!ok) std::printf("  expected \"%s\", got \"%s\"\n", expected.c_str(), actual.c_str());
  return True(ok, what);
}

int Checks::Summary(const char *program) const {
  std::printf("%s: %d passed, %d failed\n", program, passed_, failed_);
  std::fflush(stdout);
  return failed_ == 0 && passed_ > 0 ? 0 : 1;
}

// ---- structured exceptions -------------------------------------------------
//
// Catching arms a jump buffer with __builtin_setjmp.  The vectored handler
// records what was raised, then lets the system continue the thread at
// ResumeAfterRaise, which jumps back into CallCatching.  Continuing through
// the system (rather than jumping straight out of the handler) lets the
// exception dispatcher finish and leave its own frames in order.

namespace {

struct Arm {
  void *jump[5] = {};
  Raised raised;
  void *exceptionList = nullptr;
  Arm *outer = nullptr;
};

Arm *current = nullptr;

bool Caught(DWORD code) {
  switch (code) {
    case VELMORA_EXCEPTION_CODE:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case STATUS_FLOAT_MULTIPLE_FAULTS:
    case STATUS_FLOAT_MULTIPLE_TRAPS:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_STACK_OVERFLOW: return true;
    default: return false;
  }
}

std::string TextAt(ULONG_PTR pointer) {
  if (pointer == 0) return "<null>";
  const char *text = reinterpret_cast<const char *>(pointer);
  return std::string(text, strnlen(text, 4096));
}

Raised Describe(const EXCEPTION_RECORD *record) {
  Raised raised;
  raised.raised = true;
  raised.code = record->ExceptionCode;
  raised.flags = record->ExceptionFlags;
  raised.parameterCount = record->NumberParameters;
  if (record->ExceptionCode == VELMORA_EXCEPTION_CODE && record->NumberParameters >= 3) {
    raised.message = TextAt(record->ExceptionInformation[0]);
    raised.className = TextAt(record->ExceptionInformation[1]);
    raised.ioCode = static_cast<uint32_t>(record->ExceptionInformation[2]);
  }
  return raised;
}

// The thread's chain of frame-based handlers: the first word of the thread block.
void *ExceptionList() {
  void *list;
  __asm__ volatile("movl %%fs:0, %0" : "=r"(list));
  return list;
}
void SetExceptionList(void *list) { __asm__ volatile("movl %0, %%fs:0" : : "r"(list) : "memory"); }

[[noreturn]] __attribute__((noinline)) void ResumeAfterRaise() { __builtin_longjmp(current->jump, 1); }

LONG CALLBACK VectoredHandler(EXCEPTION_POINTERS *info) {
  if (current == nullptr || !Caught(info->ExceptionRecord->ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
  current->raised = Describe(info->ExceptionRecord);
  // The floating-point state of the raising code is of no further use; clear
  // pending x87 flags so that they cannot trap in the resumed code.
  info->ContextRecord->FloatSave.StatusWord &= ~0xBFu;
  CONTEXT *context = info->ContextRecord;
  // Resume on the raising code's own stack region (abandoned from now on), aligned.
  context->Esp = (context->Esp & ~15u) - 4;
  context->Eip = reinterpret_cast<DWORD>(&ResumeAfterRaise);
  return EXCEPTION_CONTINUE_EXECUTION;
}

LONG WINAPI LastChance(EXCEPTION_POINTERS *info) {
  Raised raised = Describe(info->ExceptionRecord);
  std::printf("FAILED: unexpected exception 0x%08lX", static_cast<unsigned long>(raised.code));
  if (raised.code == VELMORA_EXCEPTION_CODE) std::printf(" %s: %s", raised.className.c_str(), raised.message.c_str());
  std::printf("\n");
  std::fflush(stdout);
  ExitProcess(3);
}

}  // namespace

void InstallHandlers() {
  AddVectoredExceptionHandler(1, VectoredHandler);
  SetUnhandledExceptionFilter(LastChance);
}

__attribute__((noinline)) Raised CallCatching(Thunk thunk, void *context) {
  Arm arm;
  arm.outer = current;
  arm.exceptionList = ExceptionList();
  current = &arm;
  if (__builtin_setjmp(arm.jump) == 0) {
    thunk(context);
    current = arm.outer;
    return Raised{};
  }
  // Back from ResumeAfterRaise: drop any handler frames of the abandoned calls.
  SetExceptionList(current->exceptionList);
  Arm *self = current;
  current = self->outer;
  return self->raised;
}

bool ExpectFailure(Checks &checks, const Raised &raised, const std::string &message, const std::string &className,
                   const std::string &what) {
  if (!checks.True(raised.raised, what + ": raises")) return false;
  bool ok = checks.Equal(raised.code, VELMORA_EXCEPTION_CODE, what + ": exception code");
  ok &= checks.True((raised.flags & EXCEPTION_NONCONTINUABLE) != 0, what + ": non-continuable");
  ok &= checks.Equal(raised.parameterCount, 3, what + ": parameter count");
  ok &= checks.Text(raised.message, message, what + ": message");
  ok &= checks.Text(raised.className, className, what + ": class name");
  return ok;
}

bool ExpectNoFailure(Checks &checks, const Raised &raised, const std::string &what) {
  if (raised.raised) {
    std::printf("  raised 0x%08lX %s: %s\n", static_cast<unsigned long>(raised.code), raised.className.c_str(),
                raised.message.c_str());
  }
  return checks.True(!raised.raised, what + ": raises nothing");
}

// ---- floating point ----------------------------------------------------------

uint16_t ControlWord() {
  uint16_t value;
  __asm__ volatile("fnstcw %0" : "=m"(value));
  return value;
}

uint16_t StatusWord() {
  uint16_t value;
  __asm__ volatile("fnstsw %0" : "=m"(value));
  return value;
}

uint32_t Mxcsr() {
  uint32_t value;
  __asm__ volatile("stmxcsr %0" : "=m"(value));
  return value;
}

void SetControlWord(uint16_t value) { __asm__ volatile("fclex\n\tfldcw %0" : : "m"(value)); }

void SetMxcsr(uint32_t value) { __asm__ volatile("ldmxcsr %0" : : "m"(value)); }

void ClearFloatFlags() {
  __asm__ volatile("fnclex");
  SetMxcsr(Mxcsr() & ~0x3Fu);
}

UnmaskedFloat::UnmaskedFloat() : savedControl_(ControlWord()), savedMxcsr_(Mxcsr()) {
  ClearFloatFlags();
  SetControlWord(kUnmaskedControlWord);
  SetMxcsr(kUnmaskedMxcsr);
}

UnmaskedFloat::~UnmaskedFloat() {
  ClearFloatFlags();
  SetControlWord(savedControl_);
  SetMxcsr(savedMxcsr_);
}

void ExpectCallerFloatState(Checks &checks, const std::string &what) {
  // Bit 6 of the control word is reserved and reads as set on some processors.
  checks.Equal(ControlWord() & ~0x40, kUnmaskedControlWord, what + ": x87 control word kept");
  checks.Equal(StatusWord() & 0x3F, 0, what + ": no x87 exception flag left");
  checks.Equal(Mxcsr(), kUnmaskedMxcsr, what + ": MXCSR kept, no flag left");
}

// ---- calling conventions ---------------------------------------------------

uint32_t CallWithStackOffset(const void *function, uint32_t argument, int residue, bool *stackBalanced) {
  // Entry with ESP = 16k + 12 is the usual alignment (the return address just
  // pushed onto a 16-byte aligned stack); residue moves it down from there.
  // Everything lives in registers: the stack pointer moves under the asm.
  uint32_t target = reinterpret_cast<uint32_t>(function);
  uint32_t drop = static_cast<uint32_t>((12 - residue) & 15);
  uint32_t result;
  uint32_t imbalance;
  __asm__ volatile(
      "movl %%esp, %%edi\n\t"
      "andl $-16, %%esp\n\t"
      "subl %%edx, %%esp\n\t"
      "movl %%esp, %%esi\n\t"
      "pushl %%ecx\n\t"
      "call *%%ebx\n\t"
      "subl %%esp, %%esi\n\t"
      "movl %%edi, %%esp\n\t"
      : "=a"(result), "=&S"(imbalance), "+b"(target), "+c"(argument), "+d"(drop)
      :
      : "edi", "memory", "cc");
  if (stackBalanced) *stackBalanced = imbalance == 0;
  return result;
}

ShortString::ShortString(const std::string &text) {
  size_t length = text.size() > 255 ? 255 : text.size();
  bytes[0] = static_cast<uint8_t>(length);
  std::memcpy(bytes + 1, text.data(), length);
}

// ---- memory and files ---------------------------------------------------------

GuardedBytes::GuardedBytes(size_t size) : size_(size) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  size_t page = info.dwPageSize;
  size_t committed = (size + page - 1) / page * page;
  if (committed == 0) committed = page;
  base_ = static_cast<uint8_t *>(VirtualAlloc(nullptr, committed + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (base_ == nullptr) return;
  DWORD old = 0;
  if (!VirtualProtect(base_ + committed, page, PAGE_NOACCESS, &old)) return;
  data_ = base_ + committed - size;
}

GuardedBytes::~GuardedBytes() {
  if (base_ != nullptr) VirtualFree(base_, 0, MEM_RELEASE);
}

TightText::TightText(const std::string &text) : GuardedBytes(std::min<size_t>(text.size(), 255) + 1) {
  if (!ok()) return;
  data()[0] = static_cast<uint8_t>(size() - 1);
  std::memcpy(data() + 1, text.data(), size() - 1);
}

namespace {
size_t KeyBytes(std::initializer_list<std::string> texts) {
  if (texts.size() == 0) return 0;
  return 256 * (texts.size() - 1) + std::min<size_t>((texts.end() - 1)->size(), 255) + 1;
}
}  // namespace

TightKeys::TightKeys(std::initializer_list<std::string> texts)
    : GuardedBytes(KeyBytes(texts)), high_(static_cast<int32_t>(texts.size()) - 1) {
  if (!ok()) return;
  uint8_t *p = data();
  for (const std::string &text : texts) {
    size_t length = std::min<size_t>(text.size(), 255);
    p[0] = static_cast<uint8_t>(length);
    std::memcpy(p + 1, text.data(), length);
    // Whole elements are padded as a client's array of short strings is.
    if (&text != texts.end() - 1) std::memset(p + 1 + length, 0, 255 - length);
    p += 256;
  }
}

TempFolder::TempFolder() {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    std::string candidate =
        std::string(base) + "velmora-client-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
    if (CreateDirectoryA(candidate.c_str(), nullptr)) path_ = candidate;
  }
}

TempFolder::~TempFolder() {
  if (path_.empty()) return;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((path_ + "\\" + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path_.c_str());
}

int64_t FileSize(const std::string &path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool FileExists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace client
