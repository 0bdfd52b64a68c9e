// The ordered index: searches driven by comparison signs, navigation,
// insertion with splits and the saved cursor, removal with block removal,
// replacement, ordinal positions, damaged files, and a randomized run
// against a sorted model.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "EngineTestPeer.h"
#include "Ind1/Index.h"
#include "IndexTestSupport.h"
#include "VRcomm/EngineError.h"
#include "support/FaultPlatform.h"

using namespace velmora;
using namespace velmora::indextest;

namespace {

const char *const kReadError = "Error on index1 file read. Velmora may be corrupted - suggest rebuild.";

// Keys of the records: index 0 orders by Id (unique), index 1 by Key and then Id.
struct Record {
  int32_t Key = 0;
  int32_t Id = 0;
};

class IndexFixture : public ::testing::Test {
 protected:
  void OpenTable(int n = 1) {
    table = MakeEmptyTable(dir, "T", n);
    idx.OpenIndexes(table, n);
  }
  void TearDown() override {
    if (idx.GetLeafFileCount() > 0) idx.CloseIndexes();
  }

  int Compare(int indexNo, const Record &a, int32_t r) const {
    if (r < 0 || r >= static_cast<int32_t>(records.size())) throw std::runtime_error("probe outside the records");
    const Record &b = records[r];
    if (indexNo == 1 && a.Key != b.Key) return a.Key < b.Key ? -1 : 1;
    return a.Id == b.Id ? 0 : (a.Id < b.Id ? -1 : 1);
  }
  // The engine's search loop for the given key on index indexNo (selected).
  std::pair<bool, int32_t> Search(int indexNo, const Record &key) {
    bool exact = false;
    idx.BeginSearch();
    while (!idx.SearchDone()) {
      int32_t r = idx.Probe();
      int c = Compare(indexNo, key, r);
      if (c == 0) exact = true;
      idx.Narrow(c);
    }
    return {exact, idx.SearchResult()};
  }
  std::pair<bool, int32_t> SearchRecord(int indexNo, int32_t r) { return Search(indexNo, records[r]); }
  // Adds a record with this key and inserts it into the selected index,
  // with the saved cursor on its place as the engine keeps it.
  int32_t AddAndInsert(int32_t key) {
    int32_t r = static_cast<int32_t>(records.size());
    records.push_back(Record{key, r});
    SearchRecord(idx.GetCurIndex(), r);
    idx.SaveCursor(true);
    idx.InsertEntry(r);
    return r;
  }
  std::vector<int32_t> FileWords(const std::string &name) const { return ToInts(ReadBytes(dir / name)); }
  // The significant words of leaf block b: count and entries.
  std::vector<int32_t> LeafBlock(const std::string &name, int32_t b) const {
    std::vector<int32_t> words = FileWords(name);
    int32_t count = words.at(8 * b);
    return std::vector<int32_t>(words.begin() + 8 * b, words.begin() + 8 * b + 1 + count);
  }

  TempDir dir;
  std::string table;
  TIndex idx;
  std::vector<Record> records;
};

// ---------------------------------------------------------------------------
// The worked examples.

TEST_F(IndexFixture, TenAscendingRecordsSplitTheFirstBlockAtTheEighth) {
  OpenTable();
  idx.SelectIndex(0);
  idx.RebuildCounts();
  for (int32_t k = 0; k < 10; ++k) {
    AddAndInsert(k);
    EXPECT_EQ(k < 7 ? 3 : 4, static_cast<int>(ReadBytes(dir / "T.VA1").size() / 32)) << k;
  }
  EXPECT_EQ((std::vector<int32_t>{4, 0, 1, 2, 3}), LeafBlock("T.VA1", 2));
  EXPECT_EQ((std::vector<int32_t>{6, 4, 5, 6, 7, 8, 9}), LeafBlock("T.VA1", 3));
  Bytes leaf = ReadBytes(dir / "T.VA1");
  ASSERT_EQ(128u, leaf.size());
  EXPECT_EQ(LeafFile({{0, -1}, {0, -1}}), Bytes(leaf.begin(), leaf.begin() + 64)) << "reserved blocks untouched";
  EXPECT_EQ(Ints({2, 0, 3, 4}), ReadBytes(dir / "T.VA2"));
  EXPECT_EQ((std::vector<int32_t>{4, 6}), idx.GetBlockCounts());
  EXPECT_EQ(10, idx.TotalCount());

  // Removing record 0, slot 1 of block 2, rewrites the block's directory entry.
  EXPECT_EQ((std::pair<bool, int32_t>{true, 0}), SearchRecord(0, 0));
  idx.SaveCursor(true);
  idx.DeleteEntry(true);
  EXPECT_EQ((std::vector<int32_t>{3, 1, 2, 3}), LeafBlock("T.VA1", 2));
  EXPECT_EQ(Ints({2, 1, 3, 4}), ReadBytes(dir / "T.VA2"));
  EXPECT_EQ((std::vector<int32_t>{3, 6}), idx.GetBlockCounts());
  EXPECT_EQ(1, idx.RestoreCursor()) << "the saved cursor names the entry that followed";
}

TEST_F(IndexFixture, FirstInsertionIntoAnEmptyIndex) {
  OpenTable();
  idx.SelectIndex(0);
  records.push_back(Record{5, 0});
  records.push_back(Record{6, 1});
  records.push_back(Record{7, 2});
  records.push_back(Record{8, 3});
  EXPECT_EQ((std::pair<bool, int32_t>{false, -1}), SearchRecord(0, 3));
  EXPECT_EQ(1, idx.GetSlot());
  idx.InsertEntry(3);
  EXPECT_EQ(Ints({2, 3}), ReadBytes(dir / "T.VA2"));
  EXPECT_EQ((std::vector<int32_t>{1, 3}), LeafBlock("T.VA1", 2));
  EXPECT_EQ(96u, ReadBytes(dir / "T.VA1").size());
}

TEST_F(IndexFixture, SavedCursorFollowsTheNewRecordIntoTheNewBlock) {
  OpenTable();
  idx.SelectIndex(0);
  for (int32_t k = 0; k < 7; ++k) AddAndInsert(k * 10);
  idx.RebuildCounts();
  EXPECT_EQ((std::vector<int32_t>{7}), idx.GetBlockCounts());
  records.push_back(Record{45, 7});
  // Index 0 orders by Id; give the new record an Id between those of records 4 and 5.
  records[7].Id = 45;
  for (int32_t r = 0; r < 7; ++r) records[r].Id = r * 10;
  EXPECT_EQ((std::pair<bool, int32_t>{false, 5}), Search(0, records[7]));
  EXPECT_EQ(6, idx.GetSlot());
  idx.SaveCursor(true);
  idx.InsertEntry(7);
  EXPECT_EQ((std::vector<int32_t>{4, 0, 1, 2, 3}), LeafBlock("T.VA1", 2));
  EXPECT_EQ((std::vector<int32_t>{4, 4, 7, 5, 6}), LeafBlock("T.VA1", 3));
  EXPECT_EQ(Ints({2, 0, 3, 4}), ReadBytes(dir / "T.VA2"));
  EXPECT_EQ((std::vector<int32_t>{4, 4}), idx.GetBlockCounts());
  EXPECT_EQ(2, idx.GetSavedSlot());
  EXPECT_EQ(7, idx.RestoreCursor());
  EXPECT_EQ(1, idx.GetDirectory().GetPosition());
  EXPECT_EQ(2, idx.GetSlot());
  EXPECT_EQ(6, idx.OrdinalPosition());
}

TEST_F(IndexFixture, InsertionAtSlotThreeOfAFullBlockStaysInTheOldBlock) {
  OpenTable();
  idx.SelectIndex(0);
  for (int32_t k = 0; k < 7; ++k) AddAndInsert(k);
  for (int32_t r = 0; r < 7; ++r) records[r].Id = r * 10;
  idx.RebuildCounts();
  records.push_back(Record{0, 15});
  Search(0, records[7]);
  EXPECT_EQ(3, idx.GetSlot());
  idx.SaveCursor(true);
  idx.InsertEntry(7);
  EXPECT_EQ((std::vector<int32_t>{4, 0, 1, 7, 2}), LeafBlock("T.VA1", 2));
  EXPECT_EQ((std::vector<int32_t>{4, 3, 4, 5, 6}), LeafBlock("T.VA1", 3));
  EXPECT_EQ(Ints({2, 0, 3, 3}), ReadBytes(dir / "T.VA2"));
  EXPECT_EQ(3, idx.GetSavedSlot());
  EXPECT_EQ(7, idx.RestoreCursor());
  EXPECT_EQ(0, idx.GetDirectory().GetPosition());
  EXPECT_EQ(3, idx.OrdinalPosition());
}

TEST_F(IndexFixture, SplitOnAnotherIndexLeavesTheSavedCursorAndCountsAlone) {
  OpenTable(2);
  for (int32_t k = 0; k < 7; ++k) records.push_back(Record{k, k});
  for (int32_t i = 1; i >= 0; --i) {
    idx.SelectIndex(i);
    for (int32_t r = 0; r < 7; ++r) {
      SearchRecord(i, r);
      idx.InsertEntry(r);
    }
  }
  idx.SelectIndex(0);
  idx.RebuildCounts();
  SearchRecord(0, 2);
  idx.SaveCursor(true);
  records.push_back(Record{100, 100});
  idx.SelectIndex(1);
  Search(1, records[7]);
  idx.InsertEntry(7);
  EXPECT_EQ(Ints({2, 0, 3, 4}), ReadBytes(dir / "T.VB2"));
  EXPECT_EQ((std::vector<int32_t>{7}), idx.GetBlockCounts());
  EXPECT_EQ(2, idx.RestoreCursor());
  EXPECT_EQ(0, idx.GetCurIndex());
}

TEST_F(IndexFixture, RemovingABlockThatIsNotTheLastMovesTheLastBlockIntoItsNumber) {
  table = MakeEmptyTable(dir, "T", 1);
  std::vector<int32_t> block4 = {2, 6, 7, 33, 34, 35, 36, 37};  // words after the count are copied too
  Bytes leaf = LeafFile({{0, -1}, {0, -1}, {1, 5}, {2, 0, 1}, block4});
  WriteBytes(dir / "T.VA1", leaf);
  WriteBytes(dir / "T.VA2", Ints({3, 0, 2, 5, 4, 6}));
  idx.OpenIndexes(table, 1);
  records.resize(8);
  for (int32_t r = 0; r < 8; ++r) records[r] = Record{r, r};
  idx.SelectIndex(0);
  idx.RebuildCounts();
  EXPECT_EQ((std::vector<int32_t>{2, 1, 2}), idx.GetBlockCounts());
  EXPECT_EQ((std::pair<bool, int32_t>{true, 5}), SearchRecord(0, 5));
  idx.SaveCursor(true);
  idx.DeleteEntry(true);
  EXPECT_EQ(LeafFile({{0, -1}, {0, -1}, block4, {2, 0, 1}}), ReadBytes(dir / "T.VA1"));
  EXPECT_EQ(Ints({3, 0, 2, 6}), ReadBytes(dir / "T.VA2"));
  EXPECT_EQ((std::vector<int32_t>{2, 2}), idx.GetBlockCounts());
  EXPECT_EQ(6, idx.RestoreCursor());
  EXPECT_EQ(3, idx.OrdinalPosition());
}

TEST_F(IndexFixture, RemovingTheOnlyEntryOfTheLastBlockSavesTheEndOfThePrecedingBlock) {
  table = MakeEmptyTable(dir, "T", 1);
  WriteBytes(dir / "T.VA1", LeafFile({{0, -1}, {0, -1}, {1, 7}, {3, 0, 1, 2}}));
  WriteBytes(dir / "T.VA2", Ints({3, 0, 2, 7}));
  idx.OpenIndexes(table, 1);
  records.resize(8);
  for (int32_t r = 0; r < 8; ++r) records[r] = Record{r, r};
  idx.SelectIndex(0);
  idx.RebuildCounts();
  SearchRecord(0, 7);
  idx.SaveCursor(true);
  idx.DeleteEntry(true);
  EXPECT_EQ(LeafFile({{0, -1}, {0, -1}, {3, 0, 1, 2}}), ReadBytes(dir / "T.VA1"));
  EXPECT_EQ(Ints({2, 0}), ReadBytes(dir / "T.VA2"));
  EXPECT_EQ(0, idx.GetDirectory().GetSavedPosition());
  EXPECT_EQ(3, idx.GetSavedSlot());
  EXPECT_EQ(2, idx.RestoreCursor());
  EXPECT_EQ((std::vector<int32_t>{3}), idx.GetBlockCounts());
}

TEST_F(IndexFixture, RemovingTheLastEntryOfABlockSavesTheNextBlocksFirst) {
  table = MakeEmptyTable(dir, "T", 1);
  WriteBytes(dir / "T.VA1", LeafFile({{0, -1}, {0, -1}, {2, 0, 1}, {2, 2, 3}}));
  WriteBytes(dir / "T.VA2", Ints({2, 0, 3, 2}));
  idx.OpenIndexes(table, 1);
  records.resize(4);
  for (int32_t r = 0; r < 4; ++r) records[r] = Record{r, r};
  idx.SelectIndex(0);
  idx.RebuildCounts();
  SearchRecord(0, 1);
  idx.SaveCursor(true);
  idx.DeleteEntry(true);
  EXPECT_EQ(1, idx.GetDirectory().GetSavedPosition());
  EXPECT_EQ(1, idx.GetSavedSlot());
  EXPECT_EQ(2, idx.RestoreCursor());
  // At the end of the last block the saved cursor steps back within it.
  SearchRecord(0, 3);
  idx.SaveCursor(true);
  idx.DeleteEntry(true);
  EXPECT_EQ(2, idx.RestoreCursor());
  EXPECT_EQ((std::vector<int32_t>{1, 1}), idx.GetBlockCounts());
}

TEST_F(IndexFixture, RemovingTheLastRecordLeavesTheEmptyIndex) {
  OpenTable();
  idx.SelectIndex(0);
  idx.RebuildCounts();
  AddAndInsert(4);
  SearchRecord(0, 0);
  idx.SaveCursor(true);
  idx.DeleteEntry(true);
  EXPECT_EQ(EmptyDirectory(), ReadBytes(dir / "T.VA2"));
  EXPECT_EQ((std::vector<int32_t>{0}), LeafBlock("T.VA1", 2));
  EXPECT_EQ(-1, FileWords("T.VA1")[17]);
  EXPECT_EQ(96u, ReadBytes(dir / "T.VA1").size());
  EXPECT_EQ(-1, idx.RestoreCursor());
  EXPECT_EQ(0, idx.TotalCount());
  EXPECT_EQ(-1, idx.MoveFirst());
}

TEST_F(IndexFixture, UpdateReplacesTheRecordNumberAndTheDirectoryEntryAtSlotOne) {
  OpenTable();
  idx.SelectIndex(0);
  for (int32_t k = 0; k < 9; ++k) AddAndInsert(k);
  SearchRecord(0, 4);
  idx.UpdateEntry(40);
  EXPECT_EQ(Ints({2, 0, 3, 40}), ReadBytes(dir / "T.VA2"));
  EXPECT_EQ((std::vector<int32_t>{5, 40, 5, 6, 7, 8}), LeafBlock("T.VA1", 3));
  // Record 4 is now known by the number 40.
  records.resize(61);
  records[40] = records[4];
  EXPECT_EQ((std::pair<bool, int32_t>{true, 6}), SearchRecord(0, 6));
  idx.UpdateEntry(60);
  EXPECT_EQ((std::vector<int32_t>{5, 40, 5, 60, 7, 8}), LeafBlock("T.VA1", 3));
  EXPECT_EQ(Ints({2, 0, 3, 40}), ReadBytes(dir / "T.VA2"));
}

// ---------------------------------------------------------------------------
// Search ends and navigation.

TEST_F(IndexFixture, EmptyIndexGivesNoRecordEverywhere) {
  OpenTable();
  idx.SelectIndex(0);
  EXPECT_EQ(-1, idx.MoveFirst());
  EXPECT_EQ(1, idx.GetSlot());
  EXPECT_EQ(-1, idx.MoveLast());
  EXPECT_EQ(1, idx.GetSlot());
  EXPECT_EQ(-1, idx.CurrentEntry());
  EXPECT_EQ(-1, idx.CurrentOrNext());
  EXPECT_EQ(-1, idx.PriorOrNone());
  EXPECT_EQ(-1, idx.SettleAfterSearch());
  EXPECT_EQ(1, idx.GetSlot());
  idx.RebuildCounts();
  EXPECT_EQ((std::vector<int32_t>{0}), idx.GetBlockCounts());
  EXPECT_EQ(0, idx.TotalCount());
}

class ThreeBlocks : public IndexFixture {
 protected:
  // Blocks of 4, 5 and 6 entries in directory order; records 0..14 with Id 10 * r.
  void SetUp() override {
    table = MakeEmptyTable(dir, "T", 1);
    WriteBytes(dir / "T.VA1",
               LeafFile({{0, -1}, {0, -1}, {6, 9, 10, 11, 12, 13, 14}, {4, 0, 1, 2, 3}, {5, 4, 5, 6, 7, 8}}));
    WriteBytes(dir / "T.VA2", Ints({3, 0, 4, 4, 2, 9}));
    idx.OpenIndexes(table, 1);
    for (int32_t r = 0; r < 15; ++r) records.push_back(Record{0, 10 * r});
    idx.SelectIndex(0);
    idx.RebuildCounts();
  }
};

TEST_F(ThreeBlocks, OrdinalPositionAndTotalCountComeFromTheBlockCounts) {
  EXPECT_EQ((std::vector<int32_t>{4, 5, 6}), idx.GetBlockCounts());
  EXPECT_EQ(15, idx.TotalCount());
  EXPECT_EQ((std::pair<bool, int32_t>{true, 11}), SearchRecord(0, 11));
  EXPECT_EQ(2, idx.GetDirectory().GetPosition());
  EXPECT_EQ(3, idx.GetSlot());
  EXPECT_EQ(12, idx.OrdinalPosition());
}

TEST_F(ThreeBlocks, RebuildCountsKeepsTheCursorWhereItWas) {
  SearchRecord(0, 6);
  idx.RebuildCounts();
  EXPECT_EQ(1, idx.GetDirectory().GetPosition());
  EXPECT_EQ(6, idx.CurrentEntry());
  EXPECT_EQ(7, idx.OrdinalPosition());
}

TEST_F(ThreeBlocks, KeysBeyondEitherEnd) {
  EXPECT_EQ((std::pair<bool, int32_t>{false, -1}), Search(0, Record{0, 1000}));
  EXPECT_EQ(2, idx.GetDirectory().GetPosition());
  EXPECT_EQ(7, idx.GetSlot());
  EXPECT_EQ(-1, idx.CurrentOrNext());
  EXPECT_EQ(7, idx.GetSlot());
  EXPECT_EQ(-1, idx.CurrentEntry());
  Search(0, Record{0, 1000});
  EXPECT_EQ(14, idx.SettleAfterSearch());
  EXPECT_EQ(6, idx.GetSlot());
  EXPECT_EQ((std::pair<bool, int32_t>{false, 0}), Search(0, Record{0, -5}));
  EXPECT_EQ(0, idx.GetDirectory().GetPosition());
  EXPECT_EQ(1, idx.GetSlot());
}

TEST_F(ThreeBlocks, AKeyBetweenBlocksEndsAfterTheBlockAndSettlesOnTheNext) {
  EXPECT_EQ((std::pair<bool, int32_t>{false, -1}), Search(0, Record{0, 35}));
  EXPECT_EQ(0, idx.GetDirectory().GetPosition());
  EXPECT_EQ(5, idx.GetSlot());
  EXPECT_EQ(4, idx.SettleAfterSearch());
  EXPECT_EQ(1, idx.GetDirectory().GetPosition());
  EXPECT_EQ(1, idx.GetSlot());
  Search(0, Record{0, 35});
  EXPECT_EQ(4, idx.CurrentOrNext());
  Search(0, Record{0, 35});
  EXPECT_EQ(3, idx.PriorOrNone());
  EXPECT_EQ(4, idx.GetSlot());
}

TEST_F(ThreeBlocks, WalkingForwardAndBackwardCrossesBlocks) {
  std::vector<int32_t> forward{idx.MoveFirst()};
  while (!idx.AtLastEntry()) {
    idx.MoveNext();
    forward.push_back(idx.CurrentEntry());
  }
  EXPECT_EQ((std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}), forward);
  idx.MoveNext();
  EXPECT_EQ(14, idx.CurrentEntry()) << "the last entry stays";
  std::vector<int32_t> backward{idx.MoveLast()};
  while (!idx.AtFirstEntry()) {
    idx.MovePrior();
    backward.push_back(idx.CurrentEntry());
  }
  std::reverse(backward.begin(), backward.end());
  EXPECT_EQ(forward, backward);
  idx.MovePrior();
  EXPECT_EQ(0, idx.CurrentEntry()) << "the first entry stays";
  EXPECT_EQ(-1, idx.PriorOrNone());
  EXPECT_EQ(1, idx.GetSlot());
  idx.MoveLast();
  std::vector<int32_t> prior;
  for (int32_t r = idx.CurrentEntry(); r >= 0; r = idx.PriorOrNone()) prior.push_back(r);
  EXPECT_EQ(15u, prior.size());
  EXPECT_EQ(0, prior.back());
}

TEST_F(ThreeBlocks, SaveAndRestoreWithoutTheSlot) {
  SearchRecord(0, 7);
  idx.SaveCursor(false);
  idx.MoveFirst();
  EXPECT_EQ(-1, idx.RestoreCursor());
  EXPECT_EQ(1, idx.GetSlot());
  EXPECT_EQ(1, idx.GetDirectory().GetPosition());
  EXPECT_EQ(4, idx.CurrentEntry());
}

// ---------------------------------------------------------------------------
// Damaged files and misuse.

class Damaged : public IndexFixture {
 protected:
  void Make(const std::vector<std::vector<int32_t>> &leaf, const std::vector<int32_t> &directory) {
    table = MakeEmptyTable(dir, "T", 1);
    WriteBytes(dir / "T.VA1", LeafFile(leaf));
    WriteBytes(dir / "T.VA2", Ints(directory));
    idx.OpenIndexes(table, 1);
    for (int32_t r = 0; r < 20; ++r) records.push_back(Record{0, r});
    idx.SelectIndex(0);
  }
};

TEST_F(Damaged, DirectoryFirstRecordDifferentFromTheBlocksFirstSlot) {
  Make({{0, -1}, {0, -1}, {2, 0, 1}, {2, 2, 3}}, {2, 0, 3, 9});
  EXPECT_EQ(0, idx.MoveFirst());
  TakeEngineError();
  EXPECT_ENGINE_ERROR(idx.MoveLast(), kReadError);
  EXPECT_EQ(kReadError, TakeEngineError());
  EXPECT_ENGINE_ERROR(idx.RebuildCounts(), kReadError);
}

TEST_F(Damaged, EmptyBlockInANonEmptyIndex) {
  Make({{0, -1}, {0, -1}, {2, 0, 1}, {0, -1}}, {2, 0, 3, -1});
  EXPECT_ENGINE_ERROR(idx.MoveLast(), kReadError);
  EXPECT_ENGINE_ERROR(idx.RebuildCounts(), kReadError);
  // A block without a first record is refused by the search too.
  EXPECT_ENGINE_ERROR(Search(0, Record{0, 5}), kReadError);
}

TEST_F(Damaged, RebuildCountsRestoresTheCursorAfterAFailure) {
  Make({{0, -1}, {0, -1}, {2, 0, 1}, {2, 2, 3}, {9, 4}}, {2, 0, 3, 2, 4, 4});
  SearchRecord(0, 3);
  EXPECT_ENGINE_ERROR(idx.RebuildCounts(), kReadError);
  EXPECT_EQ(1, idx.GetDirectory().GetPosition());
  EXPECT_EQ(3, idx.CurrentEntry());
}

TEST_F(Damaged, BlockNumbersOutsideTheLeafFile) {
  Make({{0, -1}, {0, -1}, {2, 0, 1}, {2, 2, 3}}, {2, 0, 7, 2});
  EXPECT_ENGINE_ERROR(idx.MoveLast(), kReadError);
  // Four blocks but two entries.
  EXPECT_ENGINE_ERROR(idx.RebuildCounts(), kReadError);
  WriteBytes(dir / "T.VA2", Ints({2, 0, 1, 2}));
  idx.SelectIndex(0);
  EXPECT_ENGINE_ERROR(idx.MoveLast(), kReadError);
}

TEST_F(Damaged, OrphanLeafBlockMakesTheCountsDisagree) {
  Make({{0, -1}, {0, -1}, {2, 0, 1}, {2, 2, 3}}, {2, 0});
  EXPECT_EQ(0, idx.MoveFirst());
  EXPECT_ENGINE_ERROR(idx.RebuildCounts(), kReadError);
}

TEST_F(Damaged, MaintenanceFailuresAreReportedWithTheLastBlockNumber) {
  Make({{0, -1}, {0, -1}, {2, 0, 1}, {2, 2, 3}, {1, 5}}, {2, 0, 3, 2, 4, 4});
  SearchRecord(0, 2);
  // The leaf block behind the cursor changes on disk: its first record no longer matches.
  WriteBytes(dir / "T.VA1", LeafFile({{0, -1}, {0, -1}, {2, 0, 1}, {2, 6, 3}, {1, 5}}));
  TakeEngineError();
  EXPECT_ENGINE_ERROR(idx.DeleteEntry(true),
                      "Error on index record deletion. Velmora may be corrupted - suggest rebuild.(4)");
  EXPECT_EQ("Error on index record deletion. Velmora may be corrupted - suggest rebuild.(4)", TakeEngineError());
  EXPECT_ENGINE_ERROR(idx.UpdateEntry(7), "Error on index1 record update. Velmora may be corrupted - suggest rebuild.");
  EngineTestPeer::SetSlot(idx, 9);
  EXPECT_ENGINE_ERROR(idx.InsertEntry(7),
                      "Error on index1 record insertion. Velmora may be corrupted - suggest rebuild (4)");
  EXPECT_EQ(LeafFile({{0, -1}, {0, -1}, {2, 0, 1}, {2, 6, 3}, {1, 5}}), ReadBytes(dir / "T.VA1"));
  EXPECT_EQ(Ints({2, 0, 3, 2, 4, 4}), ReadBytes(dir / "T.VA2"));
}

// A maintenance step reports any failure as index damage; the failure itself
// (here the device filling up) stays reachable as the nested cause.
TEST_F(IndexFixture, MaintenanceFailuresKeepTheirCauseNested) {
  velmora::testing::FaultPlatform faults;  // the files are opened through it from here on
  OpenTable();
  idx.SelectIndex(0);
  idx.RebuildCounts();
  AddAndInsert(0);
  const Bytes before = ReadBytes(dir / "T.VA1");
  faults.DiskFullAfter(0, ".va1");
  auto expectCause = [&](const char *what, const std::function<void()> &step) {
    try {
      step();
      ADD_FAILURE() << what << " succeeded on a full device";
    } catch (const EVelmoraDBError &e) {
      EXPECT_STREQ(what, e.what());
      EXPECT_EQ(what, TakeEngineError());
      try {
        std::rethrow_if_nested(e);
        ADD_FAILURE() << what << ": no nested cause";
      } catch (const EInOutError &cause) {
        EXPECT_STREQ("Disk full", cause.what());
        EXPECT_EQ(28, cause.Code());
      }
    }
  };
  records.push_back(Record{1, 1});
  SearchRecord(0, 1);
  idx.SaveCursor(true);
  expectCause("Error on index1 record insertion. Velmora may be corrupted - suggest rebuild (2)",
              [&] { idx.InsertEntry(1); });
  SearchRecord(0, 0);
  expectCause("Error on index1 record update. Velmora may be corrupted - suggest rebuild.",
              [&] { idx.UpdateEntry(0); });
  idx.SaveCursor(true);
  expectCause("Error on index record deletion. Velmora may be corrupted - suggest rebuild.(2)",
              [&] { idx.DeleteEntry(true); });
  faults.Reset();
  EXPECT_EQ(before, ReadBytes(dir / "T.VA1"));
  idx.CloseIndexes();
}

TEST_F(Damaged, CursorOutsideTheBlockIsRefusedForRemovalAndReplacement) {
  Make({{0, -1}, {0, -1}, {2, 0, 1}}, {2, 0});
  idx.MoveFirst();
  EngineTestPeer::SetSlot(idx, 3);
  EXPECT_ENGINE_ERROR(idx.DeleteEntry(false),
                      "Error on index record deletion. Velmora may be corrupted - suggest rebuild.(2)");
  EXPECT_ENGINE_ERROR(idx.UpdateEntry(4), "Error on index1 record update. Velmora may be corrupted - suggest rebuild.");
  EXPECT_EQ(LeafFile({{0, -1}, {0, -1}, {2, 0, 1}}), ReadBytes(dir / "T.VA1"));
  EXPECT_EQ(-1, idx.CurrentEntry());
}

TEST_F(IndexFixture, OpensTheLowerCaseFilesTheSchemaWriterCreates) {
  WriteBytes(dir / "t.va1", LeafFile({{0, -1}, {0, -1}, {1, 0}}));
  WriteBytes(dir / "t.va2", Ints({2, 0}));
  idx.OpenIndexes(dir / "t.vri", 1);
  records.push_back(Record{0, 0});
  idx.SelectIndex(0);
  EXPECT_EQ(0, idx.MoveFirst());
}

TEST_F(IndexFixture, SelectingAnIndexThatIsNotOpenIsRefused) {
  OpenTable(2);
  EXPECT_ENGINE_ERROR(idx.SelectIndex(2), "Index number 2 is not an open index.");
  EXPECT_ENGINE_ERROR(idx.SelectIndex(-1), "Index number -1 is not an open index.");
  EXPECT_EQ(0, idx.GetCurIndex());
  idx.SelectIndex(1);
  EXPECT_EQ(1, idx.GetCurIndex());
  EXPECT_EQ(1, idx.GetDirectory().GetCurFileNo());
}

TEST_F(IndexFixture, EmptyingResetsEveryIndexFile) {
  OpenTable(2);
  for (int32_t i = 0; i < 2; ++i) {
    idx.SelectIndex(i);
    for (int32_t k = 0; k < 12; ++k) {
      if (i == 0) records.push_back(Record{k, k});
      SearchRecord(i, k);
      idx.InsertEntry(k);
    }
  }
  idx.EmptyIndexes();
  EXPECT_EQ(-1, idx.GetSlot());
  for (const char *name : {"T.VA1", "T.VB1"}) {
    Bytes leaf = ReadBytes(dir / name);
    ASSERT_EQ(96u, leaf.size()) << name;
    EXPECT_EQ(Ints({0, -1}), Bytes(leaf.begin() + 64, leaf.begin() + 72)) << name;
  }
  EXPECT_EQ(EmptyDirectory(), ReadBytes(dir / "T.VA2"));
  EXPECT_EQ(EmptyDirectory(), ReadBytes(dir / "T.VB2"));
  idx.SelectIndex(1);
  EXPECT_EQ(-1, idx.MoveFirst());
}

// ---------------------------------------------------------------------------
// Randomized run against a sorted model, two indexes, as the engine drives them.

class RandomRun : public IndexFixture {
 protected:
  std::vector<int32_t> Expected(int indexNo) const {
    std::vector<int32_t> order(records.size());
    for (size_t r = 0; r < order.size(); ++r) order[r] = static_cast<int32_t>(r);
    std::sort(order.begin(), order.end(), [&](int32_t a, int32_t b) { return Compare(indexNo, records[a], b) < 0; });
    return order;
  }

  // Reads index i's files independently of the index object: checks that every
  // directory entry names a distinct live block with 1..7 entries whose first
  // record is the entry's, that the leaf file has entries + 2 blocks, and
  // returns the record numbers in directory order with the block counts.
  ::testing::AssertionResult WalkFiles(int i, std::vector<int32_t> &order, std::vector<int32_t> &counts) const {
    std::string letter(1, static_cast<char>('A' + i));
    std::vector<int32_t> leaf = FileWords("T.V" + letter + "1");
    std::vector<int32_t> directory = FileWords("T.V" + letter + "2");
    size_t blocks = leaf.size() / 8;
    size_t entries = directory.size() / 2;
    order.clear();
    counts.clear();
    if (records.empty()) {
      if (directory != std::vector<int32_t>{2, -1} || blocks != 3 || leaf[16] != 0)
        return ::testing::AssertionFailure() << "not the empty index";
      counts.push_back(0);
      return ::testing::AssertionSuccess();
    }
    if (blocks != entries + 2) return ::testing::AssertionFailure() << blocks << " blocks, " << entries << " entries";
    std::vector<bool> seen(blocks, false);
    for (size_t e = 0; e < entries; ++e) {
      int32_t b = directory[2 * e];
      if (b < 2 || static_cast<size_t>(b) >= blocks || seen[b])
        return ::testing::AssertionFailure() << "entry " << e << " names block " << b;
      seen[b] = true;
      int32_t count = leaf[8 * b];
      if (count < 1 || count > 7) return ::testing::AssertionFailure() << "block " << b << " count " << count;
      if (leaf[8 * b + 1] != directory[2 * e + 1])
        return ::testing::AssertionFailure() << "entry " << e << " first record " << directory[2 * e + 1]
                                             << " but block " << b << " starts with " << leaf[8 * b + 1];
      counts.push_back(count);
      for (int32_t s = 1; s <= count; ++s) order.push_back(leaf[8 * b + s]);
    }
    return ::testing::AssertionSuccess();
  }

  void Check(int step) {
    for (int i = 0; i < 2; ++i) {
      std::vector<int32_t> order, counts;
      ASSERT_TRUE(WalkFiles(i, order, counts)) << "step " << step << " index " << i;
      if (!records.empty()) {
        ASSERT_EQ(Expected(i), order) << "step " << step << " index " << i;
      }
      if (i == idx.GetCurIndex()) {
        ASSERT_EQ(counts, idx.GetBlockCounts()) << "step " << step;
        ASSERT_EQ(static_cast<int32_t>(records.size()), idx.TotalCount()) << "step " << step;
      }
    }
  }

  // The engine's insertion: saved cursor on the current record, each index
  // searched and given the new record, then back to the saved cursor.
  void Insert(int32_t key, int32_t current) {
    int32_t r = static_cast<int32_t>(records.size());
    records.push_back(Record{key, nextId});
    nextId += 7;
    int32_t active = idx.GetCurIndex();
    if (current >= 0) SearchRecord(active, current);
    idx.SaveCursor(current >= 0);
    for (int i = 0; i < 2; ++i) {
      idx.SelectIndex(i);
      auto found = SearchRecord(i, r);
      ASSERT_FALSE(found.first);
      if (i == idx.GetSavedIndex()) idx.SaveCursor(true);
      idx.InsertEntry(r);
    }
    ASSERT_EQ(r, idx.RestoreCursor());
    ASSERT_EQ(active, idx.GetCurIndex());
  }

  // The engine's removal of record r with the cursor on it, the last record
  // then renumbered to r; the saved cursor ends on the record that followed.
  void Remove(int32_t r) {
    int32_t active = idx.GetCurIndex();
    std::vector<int32_t> order = Expected(active);
    auto at = std::find(order.begin(), order.end(), r);
    int32_t follower = at + 1 != order.end() ? *(at + 1) : (at != order.begin() ? *(at - 1) : -1);
    int32_t last = static_cast<int32_t>(records.size()) - 1;
    if (follower == last) follower = r;
    ASSERT_EQ((std::pair<bool, int32_t>{true, r}), SearchRecord(active, r));
    idx.SaveCursor(true);
    if (records.size() == 1) {
      idx.EmptyIndexes();
      idx.SelectIndex(active);
      records.clear();
      idx.RebuildCounts();
      return;
    }
    for (int i = 0; i < 2; ++i) {
      idx.SelectIndex(i);
      ASSERT_EQ((std::pair<bool, int32_t>{true, r}), SearchRecord(i, r));
      idx.DeleteEntry(true);
    }
    if (r != last) {
      for (int i = 0; i < 2; ++i) {
        idx.SelectIndex(i);
        ASSERT_EQ((std::pair<bool, int32_t>{true, last}), SearchRecord(i, last));
        idx.UpdateEntry(r);
      }
      records[r] = records[last];
    }
    records.pop_back();
    ASSERT_EQ(follower, idx.RestoreCursor());
  }

  int32_t nextId = 1;
};

TEST_F(RandomRun, ThousandsOfInsertionsAndRemovalsKeepTheOrder) {
  OpenTable(2);
  idx.SelectIndex(0);
  idx.RebuildCounts();
  std::mt19937 rng(20261208);
  for (int step = 0; step < 4000; ++step) {
    int32_t n = static_cast<int32_t>(records.size());
    // Grow to a few hundred records, then hover there with as many removals as insertions.
    bool insert = n == 0 || (step < 1500 ? rng() % 4 != 0 : rng() % 2 == 0);
    if (insert) {
      int32_t current = n > 0 && rng() % 3 != 0 ? static_cast<int32_t>(rng() % n) : -1;
      ASSERT_NO_FATAL_FAILURE(Insert(static_cast<int32_t>(rng() % 40), current)) << "step " << step;
    } else {
      ASSERT_NO_FATAL_FAILURE(Remove(static_cast<int32_t>(rng() % n))) << "step " << step;
    }
    ASSERT_NO_FATAL_FAILURE(Check(step));
    if (!records.empty()) {
      // The ordinal of a searched record is its rank in the model.
      int32_t r = static_cast<int32_t>(rng() % records.size());
      std::vector<int32_t> order = Expected(idx.GetCurIndex());
      ASSERT_EQ((std::pair<bool, int32_t>{true, r}), SearchRecord(idx.GetCurIndex(), r));
      int32_t rank = static_cast<int32_t>(std::find(order.begin(), order.end(), r) - order.begin()) + 1;
      ASSERT_EQ(rank, idx.OrdinalPosition()) << "step " << step;
    }
    if (step % 250 == 249) {
      // The engine makes another index current now and then.
      idx.SelectIndex(1 - idx.GetCurIndex());
      idx.MoveLast();
      idx.MoveFirst();
      idx.RebuildCounts();
      ASSERT_NO_FATAL_FAILURE(Check(step));
    }
  }
  // A final walk through the cursor in both directions.
  for (int i = 0; i < 2; ++i) {
    idx.SelectIndex(i);
    std::vector<int32_t> forward{idx.MoveFirst()};
    while (!idx.AtLastEntry()) {
      idx.MoveNext();
      forward.push_back(idx.CurrentEntry());
    }
    EXPECT_EQ(Expected(i), forward);
  }
  EXPECT_GT(records.size(), 100u);
}

}  // namespace
