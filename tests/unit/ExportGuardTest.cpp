// The guard every export runs in, natively: the library's own failures leave
// unchanged, anything else leaves as EVelmoraDBError with the message that the
// Windows build puts in its structured exception (the same description serves
// both builds).
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

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
