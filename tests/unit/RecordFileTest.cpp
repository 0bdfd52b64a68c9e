// Fixed-length record files on the built-in platform.
#include <gtest/gtest.h>

#include "support/ExpectError.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <velmora/velmora.hpp>

#include "platform/RecordFile.h"
#include "support/TempDir.h"

namespace velmora::platform {
namespace {

using testing::TempDir;

TEST(RecordFile, CountsWholeRecordsOnly) {
  TempDir dir;
  dir.Write("t.vrd", std::string(3 * 8 + 5, 'r'));
  RecordFile file(8);
  file.Bind(dir / "T.VRD");
  file.Open();
  EXPECT_EQ(file.Size(), 3);
  // A read over the end brings only the whole records.
  char buffer[8 * 4];
  file.Seek(2);
  EXPECT_EQ(file.Read(buffer, 4), 1);
  EXPECT_EQ(file.Position(), 3);
  EXPECT_TRUE(file.AtEnd());
  EXPECT_EQ(file.Read(buffer, 1), 0);
  EXPECT_EQ(file.Position(), 3);
}

TEST(RecordFile, WritesAtThePositionAndTruncatesThere) {
  TempDir dir;
  RecordFile file(4);
  file.Bind(dir / "t.va2");
  file.Create();
  EXPECT_EQ(file.Write("aaaabbbbcccc", 3), 3);
  EXPECT_EQ(file.Position(), 3);
  file.Seek(1);
  EXPECT_EQ(file.Write("BBBB", 1), 1);
  EXPECT_EQ(file.Position(), 2);
  file.Truncate();
  EXPECT_EQ(file.Size(), 2);
  file.Seek(0);
  char buffer[8];
  EXPECT_EQ(file.Read(buffer, 2), 2);
  EXPECT_EQ(std::string(buffer, 8), "aaaaBBBB");
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(dir.Read("t.va2"), "aaaaBBBB");
}

TEST(RecordFile, CreateReplacesAnExistingFileUnderAnySpelling) {
  TempDir dir;
  dir.Write("t.va1", "old contents");
  RecordFile file(32);
  file.Bind(dir / "T.VA1");
  file.Create();
  EXPECT_EQ(file.Size(), 0);
  file.Close();
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"t.va1"}));
}

TEST(RecordFile, MissingFileRaisesFileNotFound) {
  TempDir dir;
  RecordFile file(8);
  file.Bind(dir / "none.vrd");
  EXPECT_IO_ERROR(file.Open(), "File not found", ENOENT);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_TRUE(dir.Names().empty());
}

TEST(RecordFile, TransfersOnAClosedFileRaise) {
  RecordFile file(8);
  char buffer[8];
  EXPECT_IO_ERROR(file.Read(buffer, 1), "I/O error 103", 103);
  EXPECT_IO_ERROR(file.Size(), "I/O error 103", 103);
  file.Close();  // closing a closed file does nothing
}

TEST(RecordFile, ReopeningStartsAtRecordZero) {
  TempDir dir;
  dir.Write("t.vrd", std::string(16, 'x'));
  RecordFile file(8);
  file.Bind(dir / "t.vrd");
  file.Open();
  file.Seek(2);
  file.Close();
  file.Open(64);
  EXPECT_EQ(file.Position(), 0);
  EXPECT_EQ(file.Size(), 2);
}

}  // namespace
}  // namespace velmora::platform
