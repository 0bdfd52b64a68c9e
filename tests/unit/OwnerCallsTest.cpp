// What a posting operation or a read costs in calls to the operating system,
// by open mode, and that the cheaper paths still show every opener the table
// as it is: a record edited in place is one write of the data file (after
// the change counter is raised, where another opener may be looking: by a
// store into the side file's mapped head once it has been mapped), an owner
// reads without any call, and one that denies others reading as well posts
// without locking.
#include <gtest/gtest.h>

#include <velmora/velmora.h>

#include "support/CountingPlatform.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"
#include "unit/SharedTableSupport.h"

namespace velmora::testing {
namespace {

uint64_t Counter(const Bytes &side) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | side.at(static_cast<size_t>(i));
  return v;
}

class OwnerCalls : public ::testing::Test {
 protected:
  void SetUp() override { rows_ = CreateFilledTable(schema_, 40, 7); }

  TempDir dir_;
  std::string schema_ = dir_ / "t.vri";
  std::string data_ = dir_ / "t.vrd";
  std::string side_ = dir_ / "t.VRJ";
  std::vector<Row> rows_;
};

TEST_F(OwnerCalls, AnEditInPlaceIsOneWriteOfTheDataFileAfterTheCounter) {
  struct Case {
    int32_t mode;
    int64_t writes;      // the record's page
    int64_t reads;       // the counter, where another may have changed the table
    int64_t otherCalls;  // locks
    uint64_t counterStep;
  };
  for (const Case &c : {Case{18, 1, 0, 0, 0}, Case{34, 1, 0, 2, 1}, Case{66, 1, 1, 3, 1}}) {
    SCOPED_TRACE("mode " + std::to_string(c.mode));
    CountingPlatform platform;  // counts the files opened from now on
    Client client;
    ASSERT_GT(client.Open(schema_, c.mode), 0);
    // The first edit writes the counter and maps the side file's head.
    Row warm = rows_[16];
    warm.note = "f" + std::to_string(c.mode);
    const CallCounts beforeFirst = platform.counts();
    client.Edit(warm);
    rows_[16] = warm;
    const CallCounts firstCalls = platform.counts() - beforeFirst;
    EXPECT_EQ(c.counterStep, static_cast<uint64_t>(firstCalls.map)) << "the head is mapped once, where others look";
    EXPECT_EQ(c.writes + static_cast<int64_t>(c.counterStep), firstCalls.write);
    Row row = rows_[17];
    ASSERT_TRUE(client.Find(row.id));
    const Bytes before = ReadBytes(data_);
    const uint64_t counter = Counter(ReadBytes(side_));
    row.note = "m" + std::to_string(c.mode);  // the note holds a few characters
    DLL_EditRecord(client.handle);
    std::vector<uint8_t> record = client.Encode(row);
    DLL_MoveToDB(client.handle, record.data());
    const CallCounts start = platform.counts();
    DLL_PostEditedRecord(client.handle);
    const CallCounts calls = platform.counts() - start;
    EXPECT_EQ(c.writes, calls.write);
    EXPECT_EQ(c.reads, calls.read);
    EXPECT_EQ(0, calls.truncate);
    EXPECT_EQ(c.otherCalls, calls.OtherCalls());
    // The side file holds no live record, and its counter is raised where
    // others may look.
    const Bytes side = ReadBytes(side_);
    ASSERT_GE(side.size(), 12u);
    EXPECT_EQ(Bytes(4, 0), Bytes(side.begin() + 8, side.begin() + 12));
    EXPECT_EQ(counter + c.counterStep, Counter(side));
    // The data file changed within one record and nowhere else.
    const Bytes after = ReadBytes(data_);
    ASSERT_EQ(before.size(), after.size());
    size_t first = after.size(), last = 0;
    for (size_t i = 0; i < after.size(); ++i) {
      if (before[i] == after[i]) continue;
      first = std::min(first, i);
      last = i;
    }
    ASSERT_LT(first, after.size());
    EXPECT_LT(last - first, static_cast<size_t>(DLL_RecordSize(client.handle)));
    rows_[17] = row;
    EXPECT_TRUE(client.Walk(0) == rows_);
    client.Close();
    // A new opener finds the edit in the file.
    Client reopened;
    ASSERT_GT(reopened.Open(schema_, 64), 0);
    EXPECT_TRUE(reopened.Walk(0) == rows_);
    EXPECT_EQ("", Soundness(reopened));
  }
}

TEST_F(OwnerCalls, AReaderBesideTheOwnerSeesEachEditInPlaceAtOnce) {
  Client owner, reader;
  ASSERT_GT(owner.Open(schema_, 34), 0);
  ASSERT_GT(reader.Open(schema_, 64), 0);
  ASSERT_TRUE(reader.Walk(0) == rows_);  // the reader keeps what it read
  for (int round = 0; round < 3; ++round) {
    Row row = rows_[static_cast<size_t>(5 + round * 11)];
    row.note = "r" + std::to_string(round);
    owner.Edit(row);
    ASSERT_TRUE(reader.Find(row.id));
    EXPECT_TRUE(reader.Current() == row);
  }
}

TEST_F(OwnerCalls, AnOwnerReadsWithoutCallsAndSeesItsOwnChanges) {
  for (int32_t mode : {18, 34}) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    CountingPlatform platform;
    Client owner;
    ASSERT_GT(owner.Open(schema_, mode), 0);
    // Each index's files are read once, when first used.
    ASSERT_TRUE(owner.Walk(0) == rows_);
    ASSERT_EQ(rows_.size(), owner.Walk(1).size());
    ASSERT_EQ(rows_.size(), owner.Walk(2).size());
    const CallCounts start = platform.counts();
    EXPECT_TRUE(owner.Walk(0) == rows_);
    EXPECT_EQ(rows_.size(), owner.Walk(2).size());
    EXPECT_TRUE(owner.Find(rows_[3].id));
    EXPECT_EQ(0, (platform.counts() - start).Calls());
    // Files of another table opened and closed between its calls leave the
    // owner's view as it was; its changes show in its next reads.
    TempDir other;
    CreateFilledTable(other / "o.vri", 5, 2);
    Row added{9000 + mode, "added", "C", 1, "x"};
    owner.Insert(added);
    Row edited = rows_[9];
    edited.note = "chg";
    owner.Edit(edited);
    owner.Delete(rows_[1].id);
    std::vector<Row> expected = rows_;
    expected[9] = edited;
    expected.erase(expected.begin() + 1);
    expected.push_back(added);
    EXPECT_TRUE(owner.Walk(0) == expected);
    EXPECT_EQ("", Soundness(owner));
    owner.Close();
    Client reopened;
    ASSERT_GT(reopened.Open(schema_, 64), 0);
    EXPECT_TRUE(reopened.Walk(0) == expected);
    reopened.Close();
    rows_ = expected;
  }
}

// Ordinal positions come from the block counts an index change reads; an
// owner that changes back to an index whose files have not changed since
// takes its counts as they were, and reads them again once they have.
TEST_F(OwnerCalls, PositionsAfterChangingBackToAnIndexFollowItsChanges) {
  Client owner;
  ASSERT_GT(owner.Open(schema_, 34), 0);
  auto recordAt = [](Client &client, int32_t position) {
    DLL_MoveTo(client.handle, position);
    return client.Current().id;
  };
  auto expectPositions = [&](const char *when) {
    SCOPED_TRACE(when);
    // A fresh opener reads every count from the files.
    Client reader;
    ASSERT_GT(reader.Open(schema_, 64), 0);
    for (int32_t index : {1, 2, 1, 0}) {
      SCOPED_TRACE("index " + std::to_string(index));
      const std::vector<Row> order = reader.Walk(index);
      DLL_ChangeIndex(owner.handle, index);
      ASSERT_EQ(static_cast<int32_t>(order.size()), DLL_RangeCount(owner.handle));
      for (int32_t p = 1; p <= static_cast<int32_t>(order.size()); p += 3)
        ASSERT_EQ(order[static_cast<size_t>(p - 1)].id, recordAt(owner, p)) << "position " << p;
      DLL_Last(owner.handle);
      EXPECT_EQ(static_cast<int32_t>(order.size()), DLL_CurrentRecordPosition(owner.handle));
    }
    reader.Close();
  };
  expectPositions("as filled");
  // Names that sort first split the blocks at the front of index 1; the
  // deletions empty blocks of every index.
  DLL_ChangeIndex(owner.handle, 0);
  for (int32_t i = 0; i < 12; ++i) owner.Insert(Row{500 + i, "A" + std::to_string(i), "B", i, ""});
  for (int32_t id = 2; id <= 30; id += 2) owner.Delete(id);
  expectPositions("after insertions and deletions in index 0");
  DLL_ChangeIndex(owner.handle, 2);
  Row renamed = rows_[30];
  renamed.name = "AAA";
  owner.Edit(renamed);
  expectPositions("after a key edit in index 2");
  owner.Close();
}

TEST_F(OwnerCalls, NobodyOpensATableBesideOneThatDeniesBoth) {
  Client sole;
  ASSERT_GT(sole.Open(schema_, 18), 0);
  for (int32_t mode : {64, 32, 66, 18}) {
    Client other;
    EXPECT_LE(other.Open(schema_, mode), 0) << "mode " << mode;
  }
}

}  // namespace
}  // namespace velmora::testing
