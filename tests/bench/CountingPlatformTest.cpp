// The counting platform (the benchmark reports with it) passes every call on
// unchanged (results, failures, data on disk) and counts each call that
// reaches the system once.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <velmora/velmora.h>
#include <velmora/velmora.hpp>

#include "support/CountingPlatform.h"
#include "support/ExpectError.h"
#include "support/FaultPlatform.h"
#include "support/TempDir.h"

namespace {

using velmora::platform::Os;
using velmora::testing::CallCounts;
using velmora::testing::CountingPlatform;
using velmora::testing::TempDir;

TEST(CountingPlatform, ForwardsFileCallsAndCountsEachOnce) {
  TempDir dir;
  CountingPlatform counting;
  ASSERT_EQ(&Os(), &counting);
  {
    std::unique_ptr<velmora::platform::File> file = Os().Create(dir / "a.bin");
    EXPECT_EQ(file->WriteAt(0, "0123456789", 10), 10u);
    EXPECT_EQ(file->WriteAt(20, "xy", 2), 2u);
    char buffer[8] = {};
    EXPECT_EQ(file->ReadAt(6, buffer, 8), 8u);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(file->ReadAt(21, buffer, 8), 1u);  // short at the end, as the real file
    EXPECT_EQ(file->Size(), 22);
    file->Truncate(5);
    EXPECT_EQ(file->Size(), 5);
    file->Close();
  }
  EXPECT_EQ(dir.Read("a.bin"), "01234");

  const CallCounts &c = counting.counts();
  EXPECT_EQ(c.create, 1);
  EXPECT_EQ(c.write, 2);
  EXPECT_EQ(c.read, 2);
  EXPECT_EQ(c.size, 2);
  EXPECT_EQ(c.truncate, 1);
  EXPECT_EQ(c.close, 1);  // the destructor after Close does not count again
  EXPECT_EQ(c.bytesWritten, 12);
  EXPECT_EQ(c.bytesRead, 9);
  EXPECT_EQ(c.Calls(), 9);
  EXPECT_EQ(c.OtherCalls(), 3);
}

TEST(CountingPlatform, ForwardsOpenFailuresAndWholeFileOperations) {
  TempDir dir;
  dir.Write("a.vrd", "abc");
  CountingPlatform counting;
  int32_t error = 0;
  EXPECT_EQ(Os().Open(dir / "missing.vrd", 66, &error), nullptr);
  EXPECT_EQ(error, 2);
  std::unique_ptr<velmora::platform::File> file = Os().Open(dir / "A.VRD", 66, &error);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->Size(), 3);
  file.reset();  // closed by its destructor: still one close

  EXPECT_TRUE(Os().Exists(dir / "a.vrd"));
  EXPECT_FALSE(Os().Exists(dir / "b.vrd"));
  EXPECT_TRUE(Os().Copy(dir / "a.vrd", dir / "b.vrd"));
  EXPECT_FALSE(Os().Copy(dir / "a.vrd", dir / "B.vrd"));  // exists under another spelling
  EXPECT_TRUE(Os().Rename(dir / "b.vrd", dir / "c.vrd"));
  EXPECT_TRUE(Os().Delete(dir / "c.vrd"));
  EXPECT_EQ(dir.Names(), std::set<std::string>{"a.vrd"});
  EXPECT_EQ(Os().ExistingName(dir / "A.vrd"), dir / "a.vrd");

  const CallCounts &c = counting.counts();
  EXPECT_EQ(c.open, 2);
  EXPECT_EQ(c.close, 1);
  EXPECT_EQ(c.size, 1);
  EXPECT_EQ(c.exists, 2);
  EXPECT_EQ(c.copy, 2);
  EXPECT_EQ(c.rename, 1);
  EXPECT_EQ(c.remove, 1);
  EXPECT_EQ(c.existingName, 1);
}

TEST(CountingPlatform, WrapsTheInstalledPlatformAndPutsItBack) {
  TempDir dir;
  velmora::testing::FaultPlatform faults;
  {
    CountingPlatform counting;
    faults.DiskFullAfter(4);
    std::unique_ptr<velmora::platform::File> file = Os().Create(dir / "a.bin");
    EXPECT_IO_ERROR(file->WriteAt(0, "0123456789", 10), "Disk full", 28);
    EXPECT_EQ(counting.counts().write, 1);
    EXPECT_EQ(counting.counts().bytesWritten, 0);  // nothing reported as written
    file->Close();
  }
  EXPECT_EQ(&Os(), &faults);
  EXPECT_EQ(dir.Read("a.bin"), "0123");
}

TEST(CountingPlatform, SeesTheEngineThroughItsExports) {
  TempDir dir;
  CountingPlatform counting;
  TFieldDescriptor fields[2] = {};
  fields[0].Name[0] = 2;
  std::memcpy(fields[0].Name + 1, "Id", 2);
  fields[0].FieldType = 'I';
  fields[1].Name[0] = 4;
  std::memcpy(fields[1].Name + 1, "Name", 4);
  fields[1].FieldType = 'S';
  fields[1].Len = 10;
  TIndexDef indexes[2] = {};
  indexes[0].Name[0] = 1;
  indexes[0].Name[1] = 'A';
  indexes[0].FieldCount = 1;
  indexes[0].FieldNos[0] = 0;
  indexes[1].Name[0] = 1;
  indexes[1].Name[1] = 'B';
  indexes[1].FieldCount = 1;
  indexes[1].FieldNos[0] = 1;
  TFieldDefList fieldList{2, fields};
  TIndexDefList indexList{2, indexes};
  uint8_t path[256] = {};
  const std::string schema = dir / "t.vri";
  path[0] = static_cast<uint8_t>(schema.size());
  std::memcpy(path + 1, schema.data(), schema.size());

  const int32_t h = DLL_Connect(7);
  EXPECT_EQ(DLL_VRIFileOps(h, 0, path, &fieldList, &indexList), 4);
  // The schema file, the data file, and a leaf and a directory file per index.
  EXPECT_EQ(counting.counts().create, 6);
  EXPECT_EQ(counting.counts().close, 6);
  EXPECT_EQ(counting.counts().open, 0);

  ASSERT_GT(DLL_OpenTable(h, path, 34), 0);
  // ... and the table's side file (change counter and journal).
  EXPECT_EQ(counting.counts().open, 7);
  const CallCounts before = counting.counts();
  DLL_CloseTable(h);
  DLL_Disconnect(h);
  const CallCounts closing = counting.counts() - before;
  EXPECT_EQ(closing.close, 7);
  EXPECT_EQ(closing.write, 0);
}

}  // namespace
