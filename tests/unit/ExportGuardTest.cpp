// The guard every export runs in, natively: the library's own failures leave
// unchanged, anything else leaves as EVelmoraDBError with the message that the
// Windows build puts in its structured exception (the same description serves
// both builds).
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

#include <cstring>

#include "VRcomm/FieldOrder.h"
#include "VRcomm/FieldTypes.h"
#include "dll_src/ExportGuard.h"

using velmora::dll::DescribeFailure;
using velmora::dll::FailureReport;

namespace {

// What leaves a guarded body that raises with raise: class name, message, I/O code.
template <class Raise>
std::string Leaving(Raise raise) {
  try {
    velmora::dll::Run([&] { raise(); });
  } catch (const velmora::EInOutError &e) {
    return std::string(e.ClassName()) + ": " + e.what() + " (" + std::to_string(e.Code()) + ")";
  } catch (const velmora::Exception &e) {
    return std::string(e.ClassName()) + ": " + e.what();
  } catch (...) {
    return "a failure that is not the library's";
  }
  return "nothing";
}

// How a failure is described for the structured exception of the Windows build.
template <class Raise>
std::string Described(Raise raise) {
  try {
    raise();
  } catch (...) {
    FailureReport report = DescribeFailure();
    return std::string(report.className) + ": " + report.message + " (" + std::to_string(report.code) + ")";
  }
  return "nothing";
}

TEST(ExportGuard, LibraryFailuresLeaveUnchanged) {
  EXPECT_EQ(Leaving([] { throw velmora::EVelmoraDBError("Table is not open"); }), "EVelmoraDBError: Table is not open");
  EXPECT_EQ(Leaving([] { throw velmora::EInOutError("File access denied", 13); }),
            "EInOutError: File access denied (13)");
  EXPECT_EQ(Leaving([] { throw velmora::EListError("List index out of bounds (3)"); }),
            "EListError: List index out of bounds (3)");
  EXPECT_EQ(Leaving([] { throw velmora::EMathError("Floating point overflow"); }),
            "EMathError: Floating point overflow");
}

TEST(ExportGuard, OtherFailuresLeaveAsTheLibrarysError) {
  EXPECT_EQ(Leaving([] { throw std::bad_alloc(); }), "EVelmoraDBError: Out of memory");
  EXPECT_EQ(Leaving([] { throw std::out_of_range("vector index"); }), "EVelmoraDBError: vector index");
  // Not even a standard exception: the client still gets one of the library's classes.
  EXPECT_EQ(Leaving([] { throw 42; }), "EVelmoraDBError: Unexpected failure in Velmora");
  EXPECT_EQ(Leaving([] { throw "a text"; }), "EVelmoraDBError: Unexpected failure in Velmora");
}

TEST(ExportGuard, BodyResultComesBack) {
  EXPECT_EQ(velmora::dll::Run([] { return 58; }), 58);
  int ran = 0;
  velmora::dll::Run([&] { ++ran; });
  EXPECT_EQ(ran, 1);
}

TEST(ExportGuard, FailuresAreDescribedWithTheClassAClientSees) {
  EXPECT_EQ(Described([] { throw velmora::EInOutError("File not found", 2); }), "EInOutError: File not found (2)");
  EXPECT_EQ(Described([] { throw velmora::EConvertError("'x' is not a valid integer value"); }),
            "EConvertError: 'x' is not a valid integer value (0)");
  EXPECT_EQ(Described([] { throw std::bad_alloc(); }), "EOutOfMemory: Out of memory (0)");
  EXPECT_EQ(Described([] { throw std::runtime_error("stoi"); }), "EVelmoraDBError: stoi (0)");
  EXPECT_EQ(Described([] { throw 42; }), "EVelmoraDBError: Unexpected failure in Velmora (0)");
}

}  // namespace

#if defined(__x86_64__) && !defined(_WIN32)
namespace {

// The two floating-point units' registers, read and set directly so that each
// unit's flags can be told apart.
struct X87Env {
  uint16_t control, reserved1, status, reserved2;
  uint32_t rest[5];
};
uint16_t X87Control() {
  uint16_t v;
  __asm__ volatile("fnstcw %0" : "=m"(v));
  return v;
}
uint16_t X87Flags() {
  uint16_t v;
  __asm__ volatile("fnstsw %0" : "=m"(v));
  return v & 0x3F;
}
void SetX87(uint16_t control, uint16_t flags) {
  X87Env env;
  __asm__ volatile("fnstenv %0" : "=m"(env));
  env.control = control;
  env.status = static_cast<uint16_t>((env.status & ~0xFF) | flags);
  __asm__ volatile("fldenv %0" : : "m"(env));
}
uint32_t Mxcsr() {
  uint32_t v;
  __asm__ volatile("stmxcsr %0" : "=m"(v));
  return v;
}
void SetMxcsr(uint32_t v) { __asm__ volatile("ldmxcsr %0" : : "m"(v)); }

constexpr uint16_t kX87AllMasked = 0x037F;  // the usual control word: all masked, extended precision
constexpr uint32_t kSseAllMasked = 0x1F80;
constexpr uint16_t kInexact = 0x20, kDivide = 0x04, kUnderflow = 0x10, kOverflow = 0x08;

// A body that raises flags in both units: a long double division by zero
// (x87) and a double overflow (SSE).  Like the library's own long double
// code, it notes its use of the x87 unit first.
void RaiseInBothUnits() {
  velmora::fpu::NoteX87Use();
  volatile long double zero = 0, one = 1;
  volatile long double q = one / zero;
  volatile double big = 1e308;
  volatile double product = big * 10;
  (void)q;
  (void)product;
}

// Puts the caller's registers back however a test ends.
class CallerFpu : public ::testing::Test {
 protected:
  void TearDown() override {
    SetX87(kX87AllMasked, 0);
    SetMxcsr(kSseAllMasked);
  }
};

}  // namespace

TEST_F(CallerFpu, MaskedCallerKeepsItsOwnFlagsAndNoneOfTheLibrarys) {
  // The caller has raised flags of its own, different ones in each unit.
  SetX87(kX87AllMasked, kInexact);
  SetMxcsr(kSseAllMasked | kUnderflow);
  uint32_t inside = 0;
  velmora::dll::Run([&] {
    inside = Mxcsr();
    RaiseInBothUnits();
  });
  // Inside, SSE exceptions were masked and its flags started clear.
  EXPECT_EQ(kSseAllMasked, inside & 0x1FBF);
  EXPECT_EQ(kX87AllMasked, X87Control());
  EXPECT_EQ(kInexact, X87Flags());
  EXPECT_EQ(kSseAllMasked | kUnderflow, Mxcsr());
}

TEST_F(CallerFpu, MaskedCallerWithoutFlagsGetsNoneBack) {
  SetX87(kX87AllMasked, 0);
  SetMxcsr(kSseAllMasked);
  velmora::dll::Run([] { RaiseInBothUnits(); });
  EXPECT_EQ(0, X87Flags());
  EXPECT_EQ(kSseAllMasked, Mxcsr());
  // A call made inside another (an export a filter callback calls) hands the
  // enclosing call its watch back, still waiting for the status word.
  velmora::dll::Run([] {
    velmora::dll::Run([] { RaiseInBothUnits(); });
    RaiseInBothUnits();
  });
  EXPECT_EQ(0, X87Flags());
  EXPECT_EQ(kSseAllMasked, Mxcsr());
  // A body that raises nothing leaves both units exactly as they were.
  SetX87(kX87AllMasked, kDivide | kOverflow);
  velmora::dll::Run([] {});
  EXPECT_EQ(kDivide | kOverflow, X87Flags());
}

// The library's own long double work: comparing Float keys converts them to
// long doubles, and so does storing text in a six-byte real field.  Loading a
// denormal double into the x87 unit raises its denormal flag there.
TEST_F(CallerFpu, TheLibrarysLongDoubleWorkLeavesTheCallersX87FlagsAsTheyWere) {
  constexpr uint16_t kDenormal = 0x02;
  const double tiny[2] = {4.9e-320, 9.9e-320};
  uint8_t a[16] = {1}, b[16] = {1};
  std::memcpy(a + 8, &tiny[0], 8);
  std::memcpy(b + 8, &tiny[1], 8);
  const velmora::FieldPlace field{0, 8, 'F', 8};
  for (uint16_t callerFlags : {uint16_t{0}, kInexact}) {
    SCOPED_TRACE("caller's flags " + std::to_string(callerFlags));
    SetX87(kX87AllMasked, callerFlags);
    int32_t order = 0;
    velmora::dll::Run([&] { order = velmora::CompareFieldValues(field, a, b).value_or(99); });
    EXPECT_EQ(0, order) << "a difference below the six-byte real's smallest is none";
    EXPECT_EQ(callerFlags, X87Flags()) << "after comparing Float keys";
    uint8_t hasValue = 0, real[6] = {};
    velmora::dll::Run([&] { velmora::TextToFieldValue(hasValue, real, "1e-310", 'R', 0); });
    EXPECT_EQ(callerFlags, X87Flags()) << "after storing a six-byte real";
  }
  // Outside a call, the same work does raise the flag: the test sees it.
  SetX87(kX87AllMasked, 0);
  (void)velmora::CompareFieldValues(field, a, b);
  EXPECT_EQ(kDenormal, X87Flags() & kDenormal);
}

TEST_F(CallerFpu, UnmaskedCallerIsNotTrappedAndGetsItsSettingsBack) {
  // Divide-by-zero and overflow unmasked in both units, as Pascal programs run.
  const uint16_t x87Control = kX87AllMasked & ~(kDivide | kOverflow);
  const uint32_t sseControl = kSseAllMasked & ~((kDivide | kOverflow) << 7);
  SetX87(x87Control, kInexact);
  SetMxcsr(sseControl);
  uint16_t insideControl = 0;
  velmora::dll::Run([&] {
    insideControl = X87Control();
    RaiseInBothUnits();
  });
  EXPECT_EQ(0x3F, insideControl & 0x3F);
  EXPECT_EQ(x87Control, X87Control());
  EXPECT_EQ(kInexact, X87Flags());
  EXPECT_EQ(sseControl, Mxcsr());
}
#endif
