// The table engine under injected faults: a failing rename or open during a
// rebuild, a full disk while posting.  Nothing may be lost and the table must
// stay usable.
#include <gtest/gtest.h>

#include <cstring>
#include <type_traits>

#include <velmora/velmora.hpp>

#include "EngineTestPeer.h"
#include "FileOps/MiscFileOps.h"
#include "Ind1/Index.h"
#include "VRcomm/DefLists.h"
#include "VRcomm/EngineError.h"
#include "Velmoradb/FilterList.h"
#include "Velmoradb/VelmoraDB.h"
#include "support/ExpectError.h"
#include "support/FaultPlatform.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

class EngineFaults : public ::testing::Test {
 protected:
  EngineFaults() {
    TFieldDefList fields;
    fields.SetField(true, 0, "ID", 'I', 0, 0, 0, "", "", "");
    TIndexDefList indexes;
    indexes.SetIndex(true, 0, {0}, "PK");
    TMiscFileOps().WriteSchema(dir / "items.vri", fields, indexes);
    EXPECT_GT(table.OpenTable(dir / "items.vri", 34), 0);
    for (int32_t id : {30, 10, 20}) Post(id);
  }
  ~EngineFaults() override {
    if (table.IsOpen()) table.CloseTable();
  }

  void Post(int32_t id) {
    uint8_t *record = table.CurrentBuffer();
    table.FillRecord(record, 0);
    record[0] = 1;
    std::memcpy(record + 4, &id, 4);
    table.PostNewRecord();
  }
  std::vector<int32_t> Ids() {
    std::vector<int32_t> ids;
    table.First();
    while (!table.IsAtEOF() && table.GetCurrentRec() >= 0) {
      int32_t id;
      std::memcpy(&id, table.CurrentBuffer() + 4, 4);
      ids.push_back(id);
      table.Next();
    }
    return ids;
  }

  testing::TempDir dir;
  TVRVelmoraDB table;
};

TEST_F(EngineFaults, RebuildThatCannotMoveTheDataFileKeepsTheTableWorking) {
  testing::FaultPlatform faults;
  faults.FailFileOps(".vrd");
  int32_t kept = -1, before = -1;
  EXPECT_ENGINE_ERROR(table.RebuildTable(kept, before), "Unable to create rebuild file. Rebuild failed.");
  faults.Reset();
  EXPECT_EQ(3, table.RecordCount()) << "the data file is open again";
  Post(40);
  EXPECT_EQ((std::vector<int32_t>{10, 20, 30, 40}), Ids());
}

TEST_F(EngineFaults, RebuildWhoseRebuildFileCannotBeOpenedPutsTheDataBack) {
  testing::FaultPlatform faults;
  faults.FailOpens(".VXX", 5);
  int32_t kept = -1, before = -1;
  EXPECT_THROW(table.RebuildTable(kept, before), EInOutError);
  faults.Reset();
  EXPECT_EQ(3, table.RecordCount());
  EXPECT_EQ((std::vector<int32_t>{10, 20, 30}), Ids());
  table.RebuildTable(kept, before);
  EXPECT_EQ(3, kept);
  EXPECT_EQ(3, before);
}

TEST_F(EngineFaults, DiskFullWhilePostingReachesTheCallerAndKeepsTheCursor) {
  table.CloseTable();
  testing::FaultPlatform faults;  // the files are opened through it from here on
  ASSERT_GT(table.OpenTable(dir / "items.vri", 34), 0);
  faults.DiskFullAfter(0, ".vrd");
  uint8_t *record = table.CurrentBuffer();
  int32_t id = 50;
  record[0] = 1;
  std::memcpy(record + 4, &id, 4);
  EXPECT_IO_ERROR(table.PostNewRecord(), "Disk full", 28);
  int32_t shown;
  std::memcpy(&shown, table.CurrentBuffer() + 4, 4);
  EXPECT_EQ(10, shown) << "the record buffer shows the current record again";
  faults.Reset();
  EXPECT_EQ(3, table.RecordCount());
  // The index entry written before the data file failed was taken out again.
  EXPECT_EQ((std::vector<int32_t>{10, 20, 30}), Ids());
  Post(50);
  EXPECT_EQ((std::vector<int32_t>{10, 20, 30, 50}), Ids());
}

TEST_F(EngineFaults, RecoveryThatFailsTooLeavesTheFirstFailureAsTheLastError) {
  table.First();
  TIndex &index = EngineTestPeer::IndexOf(table);
  index.SaveCursor(true);
  EXPECT_THROW(RaiseEngineError("Error on index record deletion. Velmora may be corrupted - suggest rebuild.(4)"),
               EVelmoraDBError);
  // The saved cursor names no open index: putting it back fails as well.
  TIndex::Place saved = index.SavedPlace();
  saved.index = 99;
  index.SetSavedPlace(saved);
  EngineTestPeer::RestoreCursorAfterFailure(table);
  EXPECT_EQ("Error on index record deletion. Velmora may be corrupted - suggest rebuild.(4)", table.TakeErrorText());
}

TEST(FilterProcedures, AreCalledThroughTheirOwnOneByteType) {
  // Calling a procedure through another function type is undefined behaviour
  // that sanitizers catch at the first filtered move.
  static_assert(std::is_same_v<EngineTestPeer::FirstProcType, TFilterProc>);
  static_assert(std::is_same_v<EngineTestPeer::SecondProcType, TFilterProc>);
  TFilterList list;
  TFilterProc proc = [](intptr_t user, const void *record) -> uint8_t {
    return static_cast<uint8_t>(user + *static_cast<const uint8_t *>(record));
  };
  list.SetProcs(proc, 0x80, proc, 0x100 - 3);
  const uint8_t three = 3, four = 4;
  EXPECT_TRUE(list.AskFirst(&three));
  EXPECT_FALSE(list.AskSecond(&three));  // 0x100 in a byte is 0: the record fails
  EXPECT_TRUE(list.AskSecond(&four));
}

}  // namespace
}  // namespace velmora
