// Posting, editing and deleting records through the exports, with the files on
// disk checked after each step.
#include <gtest/gtest.h>

#include "abi/IndexFiles.h"
#include "abi/TableClient.h"
#include "support/FileBytes.h"

using namespace client;
using velmora::testing::ReadBytes;

namespace {

class Posting : public ::testing::Test {
 protected:
  Posting()
      : t({{"ID", 'I'}, {"NAME", 'S', 10}, {"QTY", 'I'}}, {{"PK", {0}}, {"BYNAME", {1}}, {"BYQTY", {2}}}),
        a(t.api()),
        h(t.handle()) {}

  std::vector<std::vector<uint8_t>> AllFiles() {
    std::vector<std::vector<uint8_t>> files{ReadBytes(t.FilePath(".vrd"))};
    for (const char *ext : {".va1", ".va2", ".vb1", ".vb2", ".vc1", ".vc2"})
      files.push_back(ReadBytes(t.FilePath(ext)));
    return files;
  }

  std::string CurrentId() { return t.Get(t.Current(), 0).value_or("<null>"); }

  void PostTen() {
    for (int i = 0; i < 10; ++i)
      t.Post({std::to_string(i), std::string(1, static_cast<char>('a' + i)), std::to_string(100 - i)});
  }

  TableClient t;
  LibraryApi &a;
  int32_t h;
};

}  // namespace

TEST_F(Posting, FirstRecordIntoAnEmptyTable) {
  t.Post({"5", "five", "50"});
  EXPECT_EQ("5", CurrentId());
  EXPECT_EQ(1, a.DLL_RangeCount(h));
  EXPECT_EQ(0, a.DLL_BOF(h));
  EXPECT_EQ(0, a.DLL_EOF(h));
  EXPECT_EQ(0, a.DLL_GetCurrentBookMarkData(h));
  EXPECT_EQ(t.Make({"5", "five", "50"}), ReadBytes(t.FilePath(".vrd")));
  // Leaf block 2 holds record 0; the directory names it.
  std::vector<int32_t> leaf = t.FileInts(".va1");
  ASSERT_EQ(24u, leaf.size());
  EXPECT_EQ(1, leaf[16]);
  EXPECT_EQ(0, leaf[17]);
  EXPECT_EQ((std::vector<int32_t>{2, 0}), t.FileInts(".va2"));
}

TEST_F(Posting, KeyViolationChangesNothingAndReloadsTheBuffer) {
  t.Post({"1", "one", "10"});
  t.Post({"2", "two", "20"});
  auto before = AllFiles();
  t.Put(t.Make({"1", "other", "99"}));
  EXPECT_VELMORA_ERROR(a.DLL_PostNewRecord(h), EVelmoraDBError, "Insertion Error. Key violation in Velmora.");
  EXPECT_EQ(before, AllFiles());
  EXPECT_EQ(2, a.DLL_TotalRecords(h));
  EXPECT_EQ("2", CurrentId()) << "the buffer shows the current record again";
  uint8_t text[256];
  a.DLL_InternalStatus(text, h, 1);
  EXPECT_EQ("Insertion Error. Key violation in Velmora.", FromShortBuffer(text));
}

TEST_F(Posting, RecordOutsideTheRangeLeavesTheCursorOnTheRange) {
  t.Post({"1", "B", "1"});
  t.Post({"2", "C", "2"});
  a.DLL_ChangeIndex(h, 1);
  KeyTexts low{"B"}, high{"C"};
  a.DLL_ApplyRange(h, low.data(), low.high(), high.data(), high.high());
  EXPECT_EQ(2, a.DLL_RangeCount(h));
  t.Post({"3", "A", "3"});
  EXPECT_EQ("1", CurrentId());
  EXPECT_EQ(2, a.DLL_RangeCount(h));
  EXPECT_EQ(1, a.DLL_CurrentRecordPosition(h));
  t.Post({"4", "D", "4"});
  EXPECT_EQ("2", CurrentId()) << "after the range: its last record";
  t.Post({"5", "BB", "5"});
  EXPECT_EQ("5", CurrentId()) << "inside the range: the new record";
  EXPECT_EQ(3, a.DLL_RangeCount(h));
  EXPECT_EQ(2, a.DLL_CurrentRecordPosition(h));
}

TEST_F(Posting, EditingANonKeyFieldTouchesNoIndex) {
  TableClient t2({{"ID", 'I'}, {"NOTE", 'S', 8}}, {{"PK", {0}}});
  for (int i = 0; i < 9; ++i) t2.Post({std::to_string(i), "x"});
  auto &api = t2.api();
  KeyTexts key{"4"};
  ASSERT_EQ(1, api.DLL_FindKeyRecord(t2.handle(), key.data(), key.high()));
  auto leaf = ReadBytes(t2.FilePath(".va1"));
  auto dir = ReadBytes(t2.FilePath(".va2"));
  api.DLL_EditRecord(t2.handle());
  t2.Put(t2.Make({"4", "changed"}));
  api.DLL_PostEditedRecord(t2.handle());
  EXPECT_EQ(leaf, ReadBytes(t2.FilePath(".va1")));
  EXPECT_EQ(dir, ReadBytes(t2.FilePath(".va2")));
  EXPECT_EQ("changed", *t2.Get(t2.Current(), 1));
  EXPECT_EQ(5, api.DLL_CurrentRecordPosition(t2.handle()));
}

TEST_F(Posting, EditIntoAnotherRecordsKeyIsRefused) {
  PostTen();
  KeyTexts key{"3"};
  ASSERT_EQ(1, a.DLL_FindKeyRecord(h, key.data(), key.high()));
  auto before = AllFiles();
  a.DLL_EditRecord(h);
  t.Put(t.Make({"7", "zz", "1"}));
  EXPECT_VELMORA_ERROR(a.DLL_PostEditedRecord(h), EVelmoraDBError,
                       "Error. Edit changes will create a key violation in Velmora.");
  EXPECT_EQ(before, AllFiles());
  EXPECT_EQ("3", CurrentId());
}

TEST_F(Posting, EditingTheOnlyRecordKeepsItsRange) {
  t.Post({"1", "one", "1"});
  a.DLL_EditRecord(h);
  t.Put(t.Make({"2", "two", "2"}));
  a.DLL_PostEditedRecord(h);
  EXPECT_EQ(1, a.DLL_RangeCount(h));
  EXPECT_EQ("2", CurrentId());
  EXPECT_EQ(1, a.DLL_TotalRecords(h));
}

TEST_F(Posting, DeletingMovesTheLastRecordAndItsBookmarks) {
  PostTen();
  KeyTexts nine{"9"}, three{"3"};
  ASSERT_EQ(1, a.DLL_FindKeyRecord(h, nine.data(), nine.high()));
  int32_t slotNine = a.DLL_AddBookmark(h, a.DLL_GetCurrentBookMarkData(h));
  ASSERT_EQ(1, a.DLL_FindKeyRecord(h, three.data(), three.high()));
  ASSERT_EQ(3, a.DLL_GetCurrentBookMarkData(h));
  int32_t slotThree = a.DLL_AddBookmark(h, 3);
  a.DLL_DeleteRecord(h);
  EXPECT_EQ(9, a.DLL_TotalRecords(h));
  EXPECT_EQ("4", CurrentId()) << "the cursor moves to the record that followed";
  EXPECT_EQ(3, a.DLL_CheckBookmarkValid(h, slotNine));
  EXPECT_EQ(-1, a.DLL_CheckBookmarkValid(h, slotThree));
  EXPECT_EQ(0, a.DLL_GoToBookmark(h, slotThree));
  EXPECT_EQ(1, a.DLL_GoToBookmark(h, slotNine));
  EXPECT_EQ("9", CurrentId());
  // The data file's record 3 is now the former record 9.
  auto data = ReadBytes(t.FilePath(".vrd"));
  ASSERT_EQ(static_cast<size_t>(9 * t.recordSize()), data.size());
  std::vector<uint8_t> record3(data.begin() + 3 * t.recordSize(), data.begin() + 4 * t.recordSize());
  EXPECT_EQ("9", *t.Get(record3, 0));
  for (const char *ext : {"a", "b", "c"})
    EXPECT_EQ("", CheckIndexStructure(ReadIndexFiles(t.FilePath(std::string(".v") + ext + "1"),
                                                     t.FilePath(std::string(".v") + ext + "2")),
                                      9));
}

TEST_F(Posting, DeletingTheLastRemainingRecordEmptiesEverything) {
  t.Post({"1", "one", "1"});
  a.DLL_DeleteRecord(h);
  EXPECT_EQ(1, a.DLL_BOF(h));
  EXPECT_EQ(1, a.DLL_EOF(h));
  EXPECT_EQ(-1, a.DLL_GetCurrentBookMarkData(h));
  EXPECT_EQ(0u, ReadBytes(t.FilePath(".vrd")).size());
  EXPECT_EQ((std::vector<int32_t>{2, -1}), t.FileInts(".vb2"));
  EXPECT_EQ(96u, ReadBytes(t.FilePath(".vb1")).size());
  EXPECT_VELMORA_ERROR(a.DLL_DeleteRecord(h), EVelmoraDBError, "Unable to delete. Range is empty.");
  EXPECT_VELMORA_ERROR(a.DLL_PostEditedRecord(h), EVelmoraDBError, "Edit error. Velmora range is empty.");
}

TEST_F(Posting, DeletingAfterTheBufferChangedIsRefused) {
  PostTen();
  t.Put(t.Make({"55", "changed", "1"}));
  EXPECT_VELMORA_ERROR(a.DLL_DeleteRecord(h), EVelmoraDBError,
                       "Error on record deletion (1). Velmora may be corrupted - suggest rebuild.");
  EXPECT_EQ(10, a.DLL_TotalRecords(h));
}

TEST_F(Posting, EmptyTableReturnsToIndexZero) {
  PostTen();
  a.DLL_ChangeIndex(h, 2);
  a.DLL_EmptyTable(h);
  uint8_t name[256];
  a.DLL_CurrentIndexName(name, h);
  EXPECT_EQ("PK", FromShortBuffer(name));
  EXPECT_EQ(0, a.DLL_TotalRecords(h));
  EXPECT_TRUE(a.DLL_RangeEmpty(h));
  t.Post({"1", "again", "1"});
  EXPECT_EQ(1, a.DLL_RangeCount(h));
}

TEST_F(Posting, SecondaryIndexKeepsEqualKeysInPrimaryOrder) {
  t.Post({"3", "same", "1"});
  t.Post({"1", "same", "1"});
  t.Post({"2", "same", "1"});
  a.DLL_ChangeIndex(h, 1);
  EXPECT_EQ((std::vector<std::string>{"1", "2", "3"}), t.Walk(0));
}

TEST(PostingLimit, ThirtyThousandRecordsAndNoMore) {
  TableClient t({{"ID", 'I'}}, {{"PK", {0}}});
  auto &a = t.api();
  for (int i = 0; i < 30000; ++i) t.Post({std::to_string(i)});
  EXPECT_EQ(30000, a.DLL_TotalRecords(t.handle()));
  EXPECT_VELMORA_ERROR(t.Post({"30000"}), EVelmoraDBError, "Unable to insert. Velmora is full - 30000 records !");
  EXPECT_EQ(30000, a.DLL_TotalRecords(t.handle()));
}

TEST(Bookmarks, SlotsAreReusedAndTrailingFreeSlotsDropped) {
  TableClient t({{"ID", 'I'}}, {{"PK", {0}}});
  auto &a = t.api();
  int32_t h = t.handle();
  EXPECT_EQ(-1, a.DLL_GetCurrentBookMarkData(h));
  EXPECT_EQ(0, a.DLL_AddBookmark(h, -1));
  EXPECT_EQ(1, a.DLL_AddBookmark(h, 5));
  EXPECT_EQ(2, a.DLL_AddBookmark(h, 6));
  a.DLL_DeleteBookmark(h, 1);
  EXPECT_EQ(1, a.DLL_AddBookmark(h, 7));
  a.DLL_DeleteBookmark(h, 1);
  a.DLL_DeleteBookmark(h, 2);
  EXPECT_EQ(1, a.DLL_AddBookmark(h, 8));
  EXPECT_VELMORA_ERROR(a.DLL_DeleteBookmark(h, 9), EListError, "List index out of bounds (9)");
  EXPECT_EQ(-1, a.DLL_CheckBookmarkValid(h, 0)) << "a bookmark of no record is never valid";
  EXPECT_EQ(-1, a.DLL_CheckBookmarkValid(h, 1)) << "record 8 does not exist";
  EXPECT_EQ(0, a.DLL_GoToBookmark(h, 40));
}

TEST(Bookmarks, GoingToARecordOutsideTheRangeFails) {
  TableClient t({{"ID", 'I'}}, {{"PK", {0}}});
  auto &a = t.api();
  int32_t h = t.handle();
  for (int i = 0; i < 5; ++i) t.Post({std::to_string(i)});
  int32_t slot = a.DLL_AddBookmark(h, 0);
  KeyTexts low{"2"}, high{"3"};
  a.DLL_ApplyRange(h, low.data(), low.high(), high.data(), high.high());
  EXPECT_EQ(0, a.DLL_GoToBookmark(h, slot));
  EXPECT_EQ("2", *t.Get(t.Current(), 0));
  a.DLL_CancelRange(h);
  a.DLL_Last(h);
  EXPECT_EQ(1, a.DLL_GoToBookmark(h, slot));
  EXPECT_EQ("0", *t.Get(t.Current(), 0));
}
