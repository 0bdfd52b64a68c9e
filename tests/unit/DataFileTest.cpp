#include <cstring>

#include "DataLayerFixture.h"

namespace velmora::datatest {
namespace {

constexpr int32_t kSize = 10;

const std::string kRead1 = "Error on data file read1. Velmora may be corrupted - suggest rebuild ";
const std::string kWrite1 = "Error on data file write1. Velmora may be corrupted - suggest rebuild ";
const std::string kRead2 = "Error on data file read2. Velmora may be corrupted - suggest rebuild.";
const std::string kWrite2 = "Error on data file write2. Velmora may be corrupted - suggest rebuild.";

using DataFileTest = DataLayerTest;

TEST_F(DataFileTest, EmptyFileRefusesReadAndTakesFirstRecordAsAppend) {
  OpenWith(kSize, 0);
  EXPECT_EQ(Base().RecordCount(), 0);
  uint8_t *buf = Base().Buffer(BufferRole::kCurrent);
  EXPECT_ENGINE_ERROR_RECORDED(Base().ReadDataRecord(buf, 0), kRead1 + "(0/0)");

  Bytes first = Record(kSize, 7);
  Base().WriteDataRecord(first.data(), 0);
  EXPECT_EQ(Base().RecordCount(), 1);
  EXPECT_EQ(ReadFile(), first);
}

TEST_F(DataFileTest, ReadsAndWritesWithinFiveRecords) {
  OpenWith(kSize, 5);
  EXPECT_EQ(Base().RecordCount(), 5);
  uint8_t *buf = Base().Buffer(BufferRole::kWork);
  for (int n : {4, 0, 2, 3}) {
    Base().ReadDataRecord(buf, n);
    EXPECT_EQ(Bytes(buf, buf + kSize), Record(kSize, n)) << "record " << n;
    EXPECT_EQ(Base().GetDataFile().Position(), n + 1);
  }

  // Overwrite in the middle, then append at the count.
  Bytes replaced = Record(kSize, 20);
  Base().WriteDataRecord(replaced.data(), 2);
  Bytes appended = Record(kSize, 21);
  Base().WriteDataRecord(appended.data(), 5);
  Bytes expected = Records(kSize, 5);
  std::copy(replaced.begin(), replaced.end(), expected.begin() + 2 * kSize);
  expected.insert(expected.end(), appended.begin(), appended.end());
  EXPECT_EQ(ReadFile(), expected);
  EXPECT_EQ(Base().RecordCount(), 6);
}

TEST_F(DataFileTest, OutOfRangeNumbersAndMissingBuffersAreRefusedWithNumbers) {
  OpenWith(kSize, 5);
  Bytes rec = Record(kSize, 9);
  EXPECT_ENGINE_ERROR_RECORDED(Base().WriteDataRecord(rec.data(), 6), kWrite1 + "(6/5)");
  EXPECT_ENGINE_ERROR_RECORDED(Base().WriteDataRecord(rec.data(), -3), kWrite1 + "(-3/5)");
  EXPECT_ENGINE_ERROR_RECORDED(Base().WriteDataRecord(nullptr, 1), kWrite1 + "(1/5)");
  EXPECT_ENGINE_ERROR_RECORDED(Base().ReadDataRecord(Base().Buffer(BufferRole::kCurrent), -1), kRead1 + "(-1/5)");
  EXPECT_ENGINE_ERROR_RECORDED(Base().ReadDataRecord(Base().Buffer(BufferRole::kCurrent), 5), kRead1 + "(5/5)");
  EXPECT_ENGINE_ERROR_RECORDED(Base().ReadDataRecord(nullptr, 0), kRead1 + "(0/5)");
  // Nothing was written by any refusal.
  EXPECT_EQ(ReadFile(), Records(kSize, 5));
}

TEST_F(DataFileTest, ShortTransfersRaiseRead2AndWrite2) {
  OpenWith(kSize, 3);
  os_.faults.shortRead = true;
  EXPECT_ENGINE_ERROR_RECORDED(Base().ReadDataRecord(Base().Buffer(BufferRole::kCurrent), 1), kRead2);
  os_.faults.shortRead = false;
  // The next read repositions by itself.
  Base().ReadDataRecord(Base().Buffer(BufferRole::kCurrent), 1);
  EXPECT_EQ(Bytes(Base().Buffer(BufferRole::kCurrent), Base().Buffer(BufferRole::kCurrent) + kSize), Record(kSize, 1));

  os_.faults.shortWrite = true;
  Bytes rec = Record(kSize, 12);
  EXPECT_ENGINE_ERROR_RECORDED(Base().WriteDataRecord(rec.data(), 0), kWrite2);
}

TEST_F(DataFileTest, TruncateRemovesTheLastRecords) {
  OpenWith(kSize, 5);
  Base().TruncateDataFile(1);
  EXPECT_EQ(ReadFile(), Records(kSize, 4));
  EXPECT_EQ(Base().RecordCount(), 4);
  Base().TruncateDataFile(0);
  EXPECT_EQ(ReadFile(), Records(kSize, 4));
  Base().TruncateDataFile(-1);
  EXPECT_EQ(ReadFile(), Bytes());

  Base().CloseDataFile();
  OpenWith(kSize, 5);
  Base().TruncateDataFile(9);
  EXPECT_EQ(ReadFile(), Bytes());
  EXPECT_EQ(Base().RecordCount(), 0);
  // Appending after the cut starts at record 0 again.
  Bytes rec = Record(kSize, 3);
  Base().WriteDataRecord(rec.data(), 0);
  EXPECT_EQ(ReadFile(), rec);
}

TEST_F(DataFileTest, TrailingPartialRecordIsNotCounted) {
  Bytes bytes = Records(kSize, 5);
  bytes.insert(bytes.end(), {1, 2, 3});
  WriteFile(bytes);
  Base().OpenDataFile(path_, kSize);
  EXPECT_EQ(Base().RecordCount(), 5);
  EXPECT_ENGINE_ERROR_RECORDED(Base().ReadDataRecord(Base().Buffer(BufferRole::kCurrent), 5), kRead1 + "(5/5)");
  // An append replaces the partial record by a whole one.
  Bytes rec = Record(kSize, 8);
  Base().WriteDataRecord(rec.data(), 5);
  Bytes expected = Records(kSize, 5);
  expected.insert(expected.end(), rec.begin(), rec.end());
  EXPECT_EQ(ReadFile(), expected);
}

TEST_F(DataFileTest, MissingFileRaisesFileNotFoundAndLeavesObjectClosed) {
  EXPECT_IO_ERROR(Base().OpenDataFile(path_, kSize), "File not found", 2);
  EXPECT_FALSE(Base().DataFileOpen());
  EXPECT_EQ(Base().GetRecordBlock(), nullptr);
  EXPECT_EQ(Base().GetCacheBlock(), nullptr);
  EXPECT_EQ(os_.faults.live, 0);
  // The file is never created by opening.
  EXPECT_FALSE(std::filesystem::exists(path_));
  // Once the file exists the same object opens it.
  OpenWith(kSize, 2);
  EXPECT_EQ(Base().RecordCount(), 2);
}

TEST_F(DataFileTest, SevenAlignedBuffersInOneBlock) {
  const int32_t size = 13;  // stride 20: buffers land on 4-byte boundaries
  OpenWith(size, 0);
  ASSERT_GE(os_.faults.allocations.size(), 1u);
  EXPECT_EQ(os_.faults.allocations[0], 7u * (size + 7));
  auto block = reinterpret_cast<uintptr_t>(Base().GetRecordBlock());
  for (int i = 0; i < kRecordBufferCount; ++i) {
    auto address = reinterpret_cast<uintptr_t>(Base().Buffer(static_cast<BufferRole>(i)));
    EXPECT_EQ(address, TVRRecBase::AlignUp4(block + i * (size + 7))) << i;
    EXPECT_EQ(address % 4, 0u) << i;
    EXPECT_LE(address + size, block + 7 * (size + 7)) << i;
  }
}

TEST_F(DataFileTest, AlignUp4RaisesToTheNextMultipleOfFour) {
  EXPECT_EQ(TVRRecBase::AlignUp4(0), 0u);
  EXPECT_EQ(TVRRecBase::AlignUp4(1), 4u);
  EXPECT_EQ(TVRRecBase::AlignUp4(3), 4u);
  EXPECT_EQ(TVRRecBase::AlignUp4(4), 4u);
  EXPECT_EQ(TVRRecBase::AlignUp4(5), 8u);
  EXPECT_EQ(TVRRecBase::AlignUp4(1001), 1004u);
}

TEST_F(DataFileTest, CopyAndFillTouchExactlyOneRecord) {
  OpenWith(kSize, 0);
  uint8_t area[kSize + 2];
  std::memset(area, 0xEE, sizeof area);
  Base().FillRecord(area, 0x41);
  EXPECT_EQ(Bytes(area, area + sizeof area),
            Bytes({0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0xEE, 0xEE}));
  Bytes source = Record(kSize, 4);
  std::memset(area, 0xEE, sizeof area);
  Base().CopyRecord(source.data(), area);
  Bytes expected = source;
  expected.push_back(0xEE);
  expected.push_back(0xEE);
  EXPECT_EQ(Bytes(area, area + sizeof area), expected);
}

TEST_F(DataFileTest, RecordSizeZeroHasNoRecords) {
  WriteFile({1, 2, 3});
  Base().OpenDataFile(path_, 0);
  EXPECT_EQ(Base().RecordCount(), 0);
  EXPECT_ENGINE_ERROR_RECORDED(Base().ReadDataRecord(Base().Buffer(BufferRole::kCurrent), 0), kRead1 + "(0/0)");
  uint8_t dummy = 0;
  EXPECT_ENGINE_ERROR_RECORDED(Base().WriteDataRecord(&dummy, 0),
                               "Cannot write to a data file whose records have no fields (record size 0)");
  EXPECT_ENGINE_ERROR_RECORDED(Base().WriteDataRecord(&dummy, 1), kWrite1 + "(1/0)");
  Base().TruncateDataFile(-1);
  EXPECT_EQ(ReadFile(), Bytes({1, 2, 3}));
}

TEST_F(DataFileTest, UnusableRecordSizesAreRefusedBeforeAnything) {
  WriteFile({});
  EXPECT_ENGINE_ERROR_RECORDED(Base().OpenDataFile(path_, -8),
                               "Invalid data file record size -8: must be 0 to 65527 bytes");
  EXPECT_ENGINE_ERROR_RECORDED(Base().OpenDataFile(path_, 65528),
                               "Invalid data file record size 65528: must be 0 to 65527 bytes");
  EXPECT_TRUE(os_.faults.allocations.empty());
  EXPECT_FALSE(Base().DataFileOpen());

  // The largest size still gets one slot below the block limit.
  Base().OpenDataFile(path_, 65527);
  EXPECT_EQ(Base().GetCacheMask(), 0u);
  EXPECT_EQ(Base().GetCacheSize(), 65534);
}

TEST_F(DataFileTest, SecondOpenIsRefusedAndKeepsTheFirst) {
  OpenWith(kSize, 2);
  EXPECT_ENGINE_ERROR_RECORDED(Base().OpenDataFile(path_, kSize), "Data file " + path_ + " is already open");
  Base().ReadDataRecord(Base().Buffer(BufferRole::kCurrent), 1);
  EXPECT_EQ(Bytes(Base().Buffer(BufferRole::kCurrent), Base().Buffer(BufferRole::kCurrent) + kSize), Record(kSize, 1));
}

TEST_F(DataFileTest, OperationsWhileClosedAreRefused) {
  const std::string closed = "Data file is not open";
  uint8_t area[kSize] = {};
  EXPECT_ENGINE_ERROR_RECORDED(Base().RecordCount(), closed);
  EXPECT_ENGINE_ERROR_RECORDED(Base().ReadDataRecord(area, 0), closed);
  EXPECT_ENGINE_ERROR_RECORDED(Base().WriteDataRecord(area, 0), closed);
  EXPECT_ENGINE_ERROR_RECORDED(Base().TruncateDataFile(1), closed);
  OpenWith(kSize, 1);
  Base().CloseDataFile();
  EXPECT_ENGINE_ERROR_RECORDED(Base().ReadDataRecord(area, 0), closed);
  EXPECT_EQ(ReadFile(), Records(kSize, 1));
}

TEST_F(DataFileTest, CloseReleasesEverything) {
  OpenWith(kSize, 1);
  EXPECT_EQ(os_.faults.live, 2);
  Base().CloseDataFile();
  EXPECT_FALSE(Base().DataFileOpen());
  EXPECT_EQ(Base().GetRecordBlock(), nullptr);
  EXPECT_EQ(Base().Buffer(BufferRole::kSearchKey), nullptr);
  EXPECT_EQ(Base().GetCacheBlock(), nullptr);
  EXPECT_EQ(os_.faults.live, 0);
}

TEST_F(DataFileTest, FailedCloseStillReleasesAndReraises) {
  OpenWith(kSize, 1);
  os_.faults.failClose = true;
  EXPECT_IO_ERROR(Base().CloseDataFile(), platform::IoErrorText(13), 13);
  EXPECT_FALSE(Base().DataFileOpen());
  EXPECT_EQ(Base().GetRecordBlock(), nullptr);
  EXPECT_EQ(Base().GetCacheBlock(), nullptr);
  EXPECT_EQ(os_.faults.live, 0);
  os_.faults.failClose = false;
  Base().OpenDataFile(path_, kSize);
  EXPECT_EQ(Base().RecordCount(), 1);
}

TEST_F(DataFileTest, FailedBufferAllocationIsReported) {
  WriteFile({});
  os_.faults.failAllocAbove = 0;
  EXPECT_ENGINE_ERROR_RECORDED(Base().OpenDataFile(path_, kSize), "Error on allocating the record buffers");
  EXPECT_FALSE(Base().DataFileOpen());
  EXPECT_EQ(os_.faults.live, 0);
}

}  // namespace
}  // namespace velmora::datatest
