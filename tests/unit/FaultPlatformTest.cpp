// Faults injected by the test platform reach callers as the real platform
// would raise them.
#include <gtest/gtest.h>

#include "support/ExpectError.h"

#include <string>

#include <velmora/velmora.hpp>

#include "platform/Platform.h"
#include "platform/RecordFile.h"
#include "support/FaultPlatform.h"
#include "support/TempDir.h"

namespace velmora::testing {
namespace {

using platform::Os;
using platform::RecordFile;

TEST(FaultPlatform, InstallsItselfAndRestoresTheBuiltInPlatform) {
  {
    FaultPlatform faults;
    EXPECT_EQ(&Os(), &faults);
  }
  EXPECT_EQ(&Os(), &platform::NativePlatform());
}

TEST(FaultPlatform, DiskFullWritesWhatFitsAndRaises) {
  TempDir dir;
  FaultPlatform faults;
  RecordFile data(8);
  data.Bind(dir / "t.vrd");
  data.Create();
  faults.DiskFullAfter(12, ".VRD");
  EXPECT_EQ(data.Write("aaaaaaaa", 1), 1);
  EXPECT_IO_ERROR(data.Write("bbbbbbbb", 1), "Disk full", 28);
  data.Close();
  EXPECT_EQ(dir.Read("t.vrd"), "aaaaaaaabbbb");
}

TEST(FaultPlatform, ShortWriteRaisesDiskFullWithThePlatformCode) {
  TempDir dir;
  FaultPlatform faults;
  RecordFile data(4);
  data.Bind(dir / "t.vrd");
  data.Create();
  faults.ShortWriteAfter(2);
  EXPECT_IO_ERROR(data.Write("wxyz", 1), "Disk full", 101);
  // Every later write fails the same way until the fault is removed.
  EXPECT_IO_ERROR(data.Write("wxyz", 1), "Disk full", 101);
  faults.Reset();
  EXPECT_EQ(data.Write("WXYZ", 1), 1);
  data.Close();
  EXPECT_EQ(dir.Read("t.vrd"), "WXYZ");
}

TEST(FaultPlatform, WriteFaultsTouchOnlyMatchingFiles) {
  TempDir dir;
  FaultPlatform faults;
  faults.DiskFullAfter(0, ".va1");
  RecordFile data(4), leaf(4);
  data.Bind(dir / "t.vrd");
  leaf.Bind(dir / "t.va1");
  data.Create();
  leaf.Create();
  EXPECT_EQ(data.Write("abcd", 1), 1);
  EXPECT_IO_ERROR(leaf.Write("abcd", 1), "Disk full", 28);
  EXPECT_EQ(faults.BytesWritten(), 4);
}

TEST(FaultPlatform, ReadFaultRaisesAfterItsBudget) {
  TempDir dir;
  dir.Write("t.vrd", "0123456789");
  FaultPlatform faults;
  RecordFile data(2);
  data.Bind(dir / "t.vrd");
  data.Open();
  faults.FailReadsAfter(4, "t.vrd");
  char buffer[4];
  EXPECT_EQ(data.Read(buffer, 2), 2);
  EXPECT_IO_ERROR(data.Read(buffer, 1), "I/O error 5", 5);
}

TEST(FaultPlatform, OpenFaultsCountDown) {
  TempDir dir;
  dir.Write("t.vri", "x");
  FaultPlatform faults;
  faults.FailOpens("vri", 13, 1);
  RecordFile schema(520);
  schema.Bind(dir / "t.vri");
  EXPECT_IO_ERROR(schema.Open(34), "File access denied", 13);
  schema.Open(34);
  EXPECT_TRUE(schema.IsOpen());
  faults.FailOpens("va1", 28);
  RecordFile leaf(32);
  leaf.Bind(dir / "t.va1");
  EXPECT_IO_ERROR(leaf.Create(), "Disk full", 28);
  EXPECT_IO_ERROR(leaf.Create(), "Disk full", 28);
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"t.vri"}));
}

TEST(FaultPlatform, FileOperationsCanBeRefused) {
  TempDir dir;
  dir.Write("t.vrd", "x");
  FaultPlatform faults;
  faults.FailFileOps(".vrd");
  EXPECT_FALSE(Os().Rename(dir / "t.vrd", dir / "t.vxx"));
  EXPECT_FALSE(Os().Delete(dir / "t.vrd"));
  EXPECT_FALSE(Os().Copy(dir / "t.vrd", dir / "u.vrd"));
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"t.vrd"}));
  faults.Reset();
  EXPECT_TRUE(Os().Rename(dir / "t.vrd", dir / "t.vxx"));
}

TEST(FaultPlatform, AllocationFaults) {
  FaultPlatform faults;
  faults.FailAllocationsAbove(1000);
  EXPECT_EQ(Os().Allocate(1001), nullptr);
  void *small = Os().Allocate(1000);
  EXPECT_NE(small, nullptr);
  Os().Release(small);
  faults.Reset();
  faults.FailNextAllocations(2);
  EXPECT_EQ(Os().Allocate(1), nullptr);
  EXPECT_EQ(Os().Allocate(1), nullptr);
  void *third = Os().Allocate(1);
  EXPECT_NE(third, nullptr);
  Os().Release(third);
  EXPECT_EQ(faults.Allocations(), 5);
  EXPECT_EQ(faults.FailedAllocations(), 3);
}

}  // namespace
}  // namespace velmora::testing
