// Leaf files: names, block transfers at a starting slot, appending, cutting,
// emptying, and the refusal of damaged blocks and block numbers.
#include <gtest/gtest.h>

#include "Ind1/Ind1FOps.h"
#include "IndexTestSupport.h"
#include "VRcomm/EngineError.h"

using namespace velmora;
using namespace velmora::indextest;

namespace {

const char *const kOpenError = "Error on index file opening - unable to open index files.";
const char *const kReadError = "Error on index1 file read. Velmora may be corrupted - suggest rebuild.";
const char *const kWriteError = "Error on index1 file write. Velmora may be corrupted - suggest rebuild.";
const char *const kAppendError = "Error on index1 file append. Velmora may be corrupted - suggest rebuild.";

class LeafFiles : public ::testing::Test {
 protected:
  // Opens n leaf files of table T whose index 0 file holds the given blocks.
  void Open(const std::vector<std::vector<int32_t>> &blocks, int n = 1) {
    table = MakeEmptyTable(dir, "T", n);
    WriteBytes(dir / "T.VA1", LeafFile(blocks));
    ops.OpenLeafFiles(table, n);
  }
  std::vector<int32_t> Slots(int from, int to) const {
    std::vector<int32_t> out;
    for (int s = from; s <= to; ++s) out.push_back(ops.WorkSlot(s));
    return out;
  }
  void FillWork(int32_t base) {
    for (int s = TInd1FOps::kFirstSlot; s <= TInd1FOps::kLastSlot; ++s) ops.SetWorkSlot(s, base + s);
  }
  void TearDown() override { ops.CloseLeafFiles(); }

  TempDir dir;
  std::string table;
  TInd1FOps ops;
};

TEST_F(LeafFiles, OpensOneFilePerIndexWhateverTheTableExtension) {
  table = MakeEmptyTable(dir, "ORDERS", 3);
  ops.OpenLeafFiles(dir / "ORDERS.abc", 3);
  EXPECT_EQ(3, ops.GetLeafFileCount());
  for (int i = 0; i < 3; ++i) {
    ops.SelectLeafFile(i);
    EXPECT_EQ(2, ops.LastBlockNo()) << i;
    ops.ReadBlock(2, 0);
    EXPECT_EQ((std::vector<int32_t>{0, -1}), Slots(0, 1));
  }
  ops.CloseLeafFiles();
  EXPECT_EQ(0, ops.GetLeafFileCount());
}

TEST_F(LeafFiles, MissingFileFailsTheOpeningWithTheCountAlreadySet) {
  table = MakeEmptyTable(dir, "T", 2);
  TakeEngineError();
  EXPECT_ENGINE_ERROR(ops.OpenLeafFiles(table, 3), kOpenError);
  EXPECT_EQ(3, ops.GetLeafFileCount());
  EXPECT_EQ(kOpenError, TakeEngineError());
  ops.SelectLeafFile(1);
  EXPECT_EQ(2, ops.LastBlockNo()) << "files opened before the missing one stay open";
}

TEST_F(LeafFiles, IndexCountBeyondThirteenIsRefusedBeforeOpening) {
  EXPECT_ENGINE_ERROR(ops.OpenLeafFiles(dir / "T.vri", 14), kOpenError);
  EXPECT_ENGINE_ERROR(ops.OpenLeafFiles(dir / "T.vri", -1), kOpenError);
  EXPECT_EQ(0, ops.GetLeafFileCount());
}

TEST_F(LeafFiles, ReadAtSlotEightFillsTheSecondBufferOnly) {
  Open({{0, -1}, {0, -1}, {3, 10, 11, 12}, {2, 20, 21, 0, 0, 0, 0, 99}});
  FillWork(100);
  ops.ReadBlock(3, 8);
  EXPECT_EQ((std::vector<int32_t>{2, 20, 21, 0, 0, 0, 0, 99}), Slots(8, 15));
  EXPECT_EQ((std::vector<int32_t>{99, 100, 101, 102, 103, 104, 105, 106, 107}), Slots(-1, 7));
  EXPECT_EQ((std::vector<int32_t>{116, 117, 118}), Slots(16, 18));
  ops.ReadBlock(2, -1);
  EXPECT_EQ((std::vector<int32_t>{3, 10, 11, 12, 0, 0, 0, 0}), Slots(-1, 6));
}

TEST_F(LeafFiles, WriteBlockPutsTheEightSlotsFromTheStartingSlot) {
  Open({{9, 9}, {8, 8}, {1, 5}, {1, 6}});
  FillWork(40);
  ops.WriteBlock(3, 4);
  Bytes expected = LeafFile({{9, 9}, {8, 8}, {1, 5}, {44, 45, 46, 47, 48, 49, 50, 51}});
  // Block 3 was written with count 44: reading it back is refused, but the bytes are exact.
  EXPECT_EQ(expected, ReadBytes(dir / "T.VA1"));
  ops.SetWorkSlot(-1, 2);
  ops.SetWorkSlot(0, 7);
  ops.SetWorkSlot(1, 8);
  ops.WriteBlock(2, -1);
  EXPECT_EQ(LeafFile({{9, 9}, {8, 8}, {2, 7, 8, 42, 43, 44, 45, 46}, {44, 45, 46, 47, 48, 49, 50, 51}}),
            ReadBytes(dir / "T.VA1"));
}

TEST_F(LeafFiles, AppendedAndLastBlockNumbersAgreeRightAfterAnAppend) {
  Open({{0, -1}, {0, -1}, {1, 4}, {1, 5}, {1, 6}});
  EXPECT_EQ(4, ops.LastBlockNo());
  for (int s = 0; s < 8; ++s) ops.SetWorkSlot(8 + s, s == 0 ? 3 : 30 + s);
  ops.AppendBlock(8);
  EXPECT_EQ(5, ops.AppendedBlockNo());
  EXPECT_EQ(5, ops.LastBlockNo());
  Bytes file = ReadBytes(dir / "T.VA1");
  ASSERT_EQ(192u, file.size());
  EXPECT_EQ(Ints({3, 31, 32, 33, 34, 35, 36, 37}), Bytes(file.begin() + 160, file.end()));
}

TEST_F(LeafFiles, TruncateCutsTheLastBlocksButNeverTheReservedOnes) {
  Open({{0, -1}, {0, -1}, {1, 4}, {1, 5}, {1, 6}, {1, 7}});
  ops.TruncateBlocks(2);
  EXPECT_EQ(LeafFile({{0, -1}, {0, -1}, {1, 4}, {1, 5}}), ReadBytes(dir / "T.VA1"));
  EXPECT_ENGINE_ERROR(ops.TruncateBlocks(2),
                      "Unable to cut 2 blocks off an index1 file of 4 blocks. Velmora may be corrupted - "
                      "suggest rebuild.");
  EXPECT_ENGINE_ERROR(ops.TruncateBlocks(-1),
                      "Unable to cut -1 blocks off an index1 file of 4 blocks. Velmora may be corrupted - "
                      "suggest rebuild.");
  EXPECT_EQ(LeafFile({{0, -1}, {0, -1}, {1, 4}, {1, 5}}), ReadBytes(dir / "T.VA1"));
}

TEST_F(LeafFiles, EmptyingResetsEveryIndexAndKeepsTheReservedBlocks) {
  table = MakeEmptyTable(dir, "T", 2);
  WriteBytes(dir / "T.VA1", LeafFile({{1, 2, 3, 4, 5, 6, 7, 8}, {11, 12}, {2, 4, 5}, {1, 6}, {1, 7}}));
  WriteBytes(dir / "T.VB1", LeafFile({{21}, {22}, {1, 5}, {1, 4}}));
  ops.OpenLeafFiles(table, 2);
  ops.EmptyLeafFiles();
  Bytes a = ReadBytes(dir / "T.VA1");
  Bytes b = ReadBytes(dir / "T.VB1");
  ASSERT_EQ(96u, a.size());
  ASSERT_EQ(96u, b.size());
  EXPECT_EQ(LeafFile({{1, 2, 3, 4, 5, 6, 7, 8}, {11, 12}}), Bytes(a.begin(), a.begin() + 64));
  EXPECT_EQ(LeafFile({{21}, {22}}), Bytes(b.begin(), b.begin() + 64));
  EXPECT_EQ(Ints({0, -1}), Bytes(a.begin() + 64, a.begin() + 72));
  EXPECT_EQ(Ints({0, -1}), Bytes(b.begin() + 64, b.begin() + 72));
  ops.SelectLeafFile(1);
  ops.ReadBlock(2, 0);
  EXPECT_EQ((std::vector<int32_t>{0, -1}), Slots(0, 1));
}

TEST_F(LeafFiles, EmptyingRepairsALeafFileCutShortByDamage) {
  Open({{0, -1}, {0, -1}, {0, -1}});
  WriteBytes(dir / "T.VA1", Bytes(40, 0xEE));
  ops.EmptyLeafFiles();
  Bytes a = ReadBytes(dir / "T.VA1");
  ASSERT_EQ(96u, a.size());
  EXPECT_EQ(Ints({0, -1}), Bytes(a.begin() + 64, a.begin() + 72));
  EXPECT_EQ(2, ops.LastBlockNo());
}

TEST_F(LeafFiles, ReadingAtOrPastTheEndOrInTheReservedBlocksIsRefused) {
  Open({{0, -1}, {0, -1}, {2, 4, 5}});
  FillWork(0);
  EXPECT_ENGINE_ERROR(ops.ReadBlock(3, 0), kReadError);
  EXPECT_ENGINE_ERROR(ops.ReadBlock(1, 0), kReadError);
  EXPECT_ENGINE_ERROR(ops.ReadBlock(-4, 0), kReadError);
  EXPECT_EQ((std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7}), Slots(0, 7)) << "working block untouched";
}

TEST_F(LeafFiles, DamagedBlockCountsAndRecordNumbersAreRefusedOnRead) {
  Open({{0, -1}, {0, -1}, {8, 1, 2, 3, 4, 5, 6, 7}, {-1, 1}, {3, 4, -2, 6}, {2, 4, 5, -9}, {7, 1, 2, 3, 4, 5, 6, 7}});
  FillWork(0);
  TakeEngineError();
  EXPECT_ENGINE_ERROR(ops.ReadBlock(2, 0), kReadError);
  EXPECT_EQ(kReadError, EngineErrorText());
  EXPECT_ENGINE_ERROR(ops.ReadBlock(3, 0), kReadError);
  EXPECT_ENGINE_ERROR(ops.ReadBlock(4, 8), kReadError);
  EXPECT_EQ((std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}), Slots(0, 15))
      << "a refused block leaves the working block as it was";
  ops.ReadBlock(5, 0);  // a negative value after the block count is not significant
  EXPECT_EQ((std::vector<int32_t>{2, 4, 5}), Slots(0, 2));
  ops.ReadBlock(6, 11);  // a full block at the last possible starting slot
  EXPECT_EQ((std::vector<int32_t>{7, 1, 2, 3, 4, 5, 6, 7}), Slots(11, 18));
}

TEST_F(LeafFiles, WritingOutsideTheLiveBlocksIsRefusedAndChangesNothing) {
  Open({{0, -1}, {0, -1}, {1, 4}});
  Bytes before = ReadBytes(dir / "T.VA1");
  EXPECT_ENGINE_ERROR(ops.WriteBlock(3, 0), kWriteError);
  EXPECT_ENGINE_ERROR(ops.WriteBlock(1, 0), kWriteError);
  EXPECT_ENGINE_ERROR(ops.WriteBlock(-1, 0), kWriteError);
  EXPECT_EQ(before, ReadBytes(dir / "T.VA1"));
}

TEST_F(LeafFiles, StartingSlotsAndWorkSlotsOutsideTheWorkingBlockAreRefused) {
  Open({{0, -1}, {0, -1}, {1, 4}});
  EXPECT_ENGINE_ERROR(ops.ReadBlock(2, 12), "Working block slot 12 cannot start a block transfer.");
  EXPECT_ENGINE_ERROR(ops.WriteBlock(2, -2), "Working block slot -2 cannot start a block transfer.");
  EXPECT_ENGINE_ERROR(ops.AppendBlock(19), "Working block slot 19 cannot start a block transfer.");
  EXPECT_ENGINE_ERROR(ops.WorkSlot(19), "Working block slot 19 is out of range.");
  EXPECT_ENGINE_ERROR(ops.SetWorkSlot(-2, 0), "Working block slot -2 is out of range.");
  ops.SelectLeafFile(13);
  EXPECT_ENGINE_ERROR(ops.ReadBlock(2, 0), "Index number 13 is out of range.");
  ops.SelectLeafFile(0);
}

TEST_F(LeafFiles, ShortTransfersReportTheOperation) {
  Open({{0, -1}, {0, -1}, {1, 4}});
  ShortWritePlatform shortWrites;
  ops.CloseLeafFiles();
  ops.OpenLeafFiles(table, 1);
  ops.ReadBlock(2, 0);
  shortWrites.flag.on = true;
  EXPECT_ENGINE_ERROR(ops.WriteBlock(2, 0), kWriteError);
  EXPECT_ENGINE_ERROR(ops.AppendBlock(0), kAppendError);
  shortWrites.flag.on = false;
  ops.CloseLeafFiles();
}

}  // namespace
